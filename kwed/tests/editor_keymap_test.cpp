// kwed end to end with its default key map, the keys small editors share:
// none of their moving keys changes the text, the keys of commands kwed
// lacks say so and change nothing, ^Q and ^C no longer quit or take the
// scrap, and the commands that the map needs (the region written out,
// file names completed, Alt by Escape at any pace, regular expressions,
// line numbers, visible whitespace, position and counts) do their work.
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

using kwed_testing::DefaultMap;
using kwed_testing::TmuxSession;

std::string header(const TmuxSession &s) {
    std::string screen = s.screen();
    return screen.substr(0, screen.find('\n'));
}

// Row n of the screen without the blanks that end it.
std::string row(const TmuxSession &s, int n) {
    std::string r = s.row(n);
    r.erase(r.find_last_not_of(' ') + 1);
    return r;
}

bool modified(const TmuxSession &s) {
    return header(s).find("[modified]") != std::string::npos;
}

std::string numbered(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

// Each key moves or asks, as small editors have it, and none of them
// changes the text, quits or types a control byte.
TEST_F(DefaultMap, MovingAndAskingKeysNeverChangeTheText) {
    tree.file("f.txt", numbered(100));
    struct {
        std::vector<std::string> keys;
        const char *shows;
    } cases[] = {
        {{"C-v"}, "line 22, col 1"},
        {{"C-v", "C-y"}, "line 1, col 1"},
        {{"C-n", "C-n"}, "line 3, col 1"},
        {{"C-n", "C-p"}, "line 1, col 1"},
        {{"C-f", "C-f"}, "line 1, col 3"},
        {{"C-f", "C-b"}, "line 1, col 1"},
        {{"M-/"}, "line 101, col 1"},
        {{"M-/", "M-\\"}, "line 1, col 1"},
        {{"C-_"}, "Go to line: "},
        {{"M-g"}, "Go to line: "},
        {{"C-q"}, "Find [backward]: "},
        {{"C-c"}, "line 1/101 (0%), col 1/7"},
        {{"C-j"}, "That key is not bound."},
        {{"C-t"}, "That key is not bound."},
        {{"C-]"}, "That key is not bound."},
        {{"M-<"}, "That key is not bound."},
        {{"C-g"}, "kwed keys"},
        {{"F1"}, "kwed keys"},
    };
    auto s = start("f.txt");
    for (const auto &c : cases) {
        s->keys(c.keys);
        EXPECT_TRUE(s->wait_text(c.shows)) << c.keys[0] << "\n" << s->screen();
        EXPECT_FALSE(modified(*s)) << c.keys[0];
        s->keys({"C-c"}); // closes a question; elsewhere only tells the place
        s->keys({"M-\\"});
        EXPECT_TRUE(s->wait_text("line 1, col 1")) << c.keys[0] << "\n" << s->screen();
    }
    s->keys({"C-x"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), numbered(100));
}

// ^Q on a changed text asks for a text to find backward: what is typed
// next goes to that question, never to a quit question.
TEST_F(DefaultMap, CtrlQFindsBackwardAndQuitIsCtrlXAlone) {
    tree.file("f.txt", "none here\nsecond\n");
    auto s = start("f.txt");
    s->keys({"C-n"});
    s->type("x");
    s->keys({"C-q"});
    s->type("none");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 1, col 1")) << s->screen();
    EXPECT_TRUE(modified(*s));
    s->keys({"C-x"});
    EXPECT_TRUE(s->wait_text("Save changes? (y/n; ^C: go back)")) << s->screen();
    s->type("Y");
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "none here\nxsecond\n");
}

// ^C tells the place and leaves the scrap alone: a cut line comes back
// with ^U. Alt-6 copies (and moves on), Alt-T cuts to the end of the
// text, and the lines before the cut still show.
TEST_F(DefaultMap, ScrapKeysCutCopyPasteAndTheCursorPlace) {
    tree.file("f.txt", numbered(60));
    auto s = start("f.txt");
    s->keys({"C-n", "C-k", "Up", "C-c", "Down", "C-u"});
    EXPECT_TRUE(s->wait_text("line 1/60 (1%), col 1/7 (14%), char 1/")) << s->screen();
    EXPECT_TRUE(s->wait_for([&](const std::string &) {
        return row(*s, 2) == "line 2" && row(*s, 3) == "line 3";
    })) << s->screen();
    s->keys({"M-6", "M-6", "M-\\", "C-u"});
    EXPECT_TRUE(s->wait_text("line 3, col 1")) << s->screen();
    EXPECT_EQ(row(*s, 1), "line 3");
    EXPECT_EQ(row(*s, 2), "line 4");
    // The cursor on the first row shown: what is cut takes every row.
    s->keys({"M-\\", "C-v", "M-t"});
    EXPECT_TRUE(s->wait_text("41 lines in the scrap.")) << s->screen();
    EXPECT_TRUE(s->wait_for([&](const std::string &) { return row(*s, 1).starts_with("line "); }))
        << s->screen();
    s->keys({"C-x", "n"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// With the mark set, ^O writes the region to the file named and editing
// goes on in the original, which ^S then saves. The region never replaces
// a file unasked, the one being edited least of all.
TEST_F(DefaultMap, WriteOutWithTheMarkWritesTheRegionAndKeepsTheOriginal) {
    tree.file("f.txt", "one\ntwo\nthree\n");
    auto s = start("f.txt");
    s->keys({"C-^", "Down", "Down", "C-o"});
    EXPECT_TRUE(s->wait_text("Write the region to: ")) << s->screen();
    s->type("f.txt");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("That file exists already; replace it?")) << s->screen();
    s->keys({"n"});
    EXPECT_TRUE(s->wait_text("Not saved.")) << s->screen();
    EXPECT_EQ(tree.read("f.txt"), "one\ntwo\nthree\n");
    s->keys({"C-o"});
    EXPECT_TRUE(s->wait_text("Write the region to: ")) << s->screen();
    s->type("part.txt");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Wrote part.txt, 8 bytes.")) << s->screen();
    EXPECT_EQ(tree.read("part.txt"), "one\ntwo\n");
    EXPECT_NE(header(*s).find("f.txt"), std::string::npos) << header(*s);
    s->type("x");
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt, 15 bytes.")) << s->screen();
    EXPECT_EQ(tree.read("f.txt"), "one\ntwo\nxthree\n");
    EXPECT_EQ(tree.read("part.txt"), "one\ntwo\n");
    s->keys({"C-x"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// Tab completes a file name: a unique one whole, several as far as they
// agree, and a second Tab lists them. No TAB ever goes into the name.
TEST_F(DefaultMap, TabCompletesFileNames) {
    tree.file("fstab.txt", "table\n");
    tree.dir("dir");
    tree.file("dir/alpha.txt", "a\n");
    tree.file("dir/alpine.txt", "b\n");
    auto s = start("");
    s->keys({"C-r"});
    s->type("fst");
    s->keys({"Tab"});
    EXPECT_TRUE(s->wait_text("Insert file: fstab.txt")) << s->screen();
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Inserted fstab.txt, 6 bytes.")) << s->screen();
    s->keys({"C-r"});
    s->type("di");
    s->keys({"Tab", "Tab"});
    EXPECT_TRUE(s->wait_text("Insert file: dir/alp")) << s->screen();
    s->keys({"Tab"});
    EXPECT_TRUE(s->wait_text("alpha.txt  alpine.txt")) << s->screen();
    s->type("h");
    s->keys({"Tab", "Enter"});
    EXPECT_TRUE(s->wait_text("Inserted dir/alpha.txt, 2 bytes.")) << s->screen();
    s->keys({"C-o"});
    s->type("new");
    s->keys({"Tab", "Enter"});
    EXPECT_TRUE(s->wait_text("Wrote new, 8 bytes.")) << s->screen();
    EXPECT_EQ(tree.read("new"), "table\na\n");
    s->keys({"C-x"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// Escape and then a key, however long after, is Alt with that key: in the
// text (Alt-G asks for a line) and in a question (Alt-C, Alt-R).
TEST_F(DefaultMap, EscapeThenAKeyAtAnyPaceIsAlt) {
    tree.file("f.txt", "Abc\nabc\n");
    auto s = start("f.txt");
    s->keys({"Escape"});
    usleep(400000);
    s->type("g");
    EXPECT_TRUE(s->wait_text("Go to line: ")) << s->screen();
    s->type("2");
    s->keys({"Enter", "C-w"});
    for (const char *option : {"c", "r"}) {
        s->keys({"Escape"});
        usleep(400000);
        s->type(option);
    }
    EXPECT_TRUE(s->wait_text("Find [case-insensitive, regular expression]: ")) << s->screen();
    s->type("^a.C$");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 1, col 1")) << s->screen();
    EXPECT_FALSE(modified(*s));
    s->keys({"C-x"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// Regular expressions in replace take the groups of each match, and y,
// Y, a and A answer alike.
TEST_F(DefaultMap, RegularExpressionsReplaceWithGroupsAndAnswersTakeEitherCase) {
    tree.file("f.txt", "UUID=1 / ext4\nUUID=2 /home xfs\nUUID=3 /tmp tmpfs\nUUID=4 /srv ext4\n");
    auto s = start("f.txt");
    s->keys({"C-\\", "M-r"});
    EXPECT_TRUE(s->wait_text("Replace [regular expression]: ")) << s->screen();
    s->type("^UUID=([0-9]) (/[a-z]*)");
    s->keys({"Enter"});
    s->type("\\2 is \\1");
    s->keys({"Enter"});
    for (const char *answer : {"Y", "n", "A"}) {
        EXPECT_TRUE(s->wait_text("Replace this one?")) << answer << "\n" << s->screen();
        s->type(answer);
    }
    EXPECT_TRUE(s->wait_text("Replaced 3 occurrences.")) << s->screen();
    s->keys({"C-w"});
    s->type("(");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Not a regular expression: (")) << s->screen();
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt")) << s->screen();
    EXPECT_EQ(tree.read("f.txt"),
              "/ is 1 ext4\nUUID=2 /home xfs\n/tmp is 3 tmpfs\n/srv is 4 ext4\n");
    s->keys({"C-x"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// Alt-N numbers the lines, Alt-P shows tabs and blanks, Alt-3 comments
// the line or the region (and back), Alt-D counts.
TEST_F(DefaultMap, DisplayTogglesCommentAndCount) {
    tree.file("f.txt", "a\tb c\nsecond line\nthird\n");
    auto s = start("f.txt");
    s->keys({"M-n"});
    EXPECT_TRUE(s->wait_for([&](const std::string &) { return row(*s, 2) == "2 second line"; }))
        << s->screen();
    s->keys({"M-p"});
    EXPECT_TRUE(s->wait_text("1 a»      b·c")) << s->screen();
    s->keys({"M-n", "M-p", "M-d"});
    EXPECT_TRUE(s->wait_text("6 words, 3 lines, 24 characters")) << s->screen();
    s->keys({"M-3", "C-^", "Down", "M-3"});
    EXPECT_TRUE(s->wait_for([&](const std::string &) {
        return row(*s, 1) == "#a      b c" && row(*s, 2) == "#second line" && row(*s, 3) == "third";
    })) << s->screen();
    s->keys({"M-3"});
    EXPECT_TRUE(s->wait_for([&](const std::string &) { return row(*s, 2) == "second line"; }))
        << s->screen();
    s->keys({"C-s", "C-x"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "#a\tb c\nsecond line\nthird\n");
}

// A new file gets a final newline, one without keeps to that; a second
// file name is told; +LINE,COLUMN places the cursor; the column counts
// characters, as go to line does; the quit question fits 40 columns.
TEST_F(DefaultMap, TheSmallThings) {
    tree.file("old.txt", "\tno newline");
    auto s = start("+1,3 old.txt other.txt");
    EXPECT_TRUE(s->wait_text("Only one file is edited: other.txt was not opened.")) << s->screen();
    EXPECT_TRUE(s->wait_text("line 1, col 3")) << s->screen();
    s->keys({"End"});
    EXPECT_TRUE(s->wait_text("line 1, col 12")) << s->screen();
    s->type("!");
    EXPECT_TRUE(s->resize(40, 12));
    s->keys({"C-x"});
    EXPECT_TRUE(s->wait_text("Save changes? (y/n; ^C: go back)")) << s->screen();
    s->type("y");
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("old.txt"), "\tno newline!");
    auto t = start("new.txt");
    t->type("abc");
    t->keys({"C-s"});
    EXPECT_TRUE(t->wait_text("Wrote new.txt, 4 bytes.")) << t->screen();
    t->keys({"C-x"});
    EXPECT_EQ(t->wait_exit(), 0);
    EXPECT_EQ(tree.read("new.txt"), "abc\n");
}

} // namespace
