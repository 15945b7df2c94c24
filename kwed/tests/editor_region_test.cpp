// kwed end to end: redo, the mark and the region, cutting to the end of
// the line, and what the message line says about the scrap.
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kwed_testing::Editor;
using kwed_testing::TmuxSession;

// Waits until row 1 (the first text row) reads text, and [modified]
// shows on the header or not.
bool firstrow(const TmuxSession &s, const std::string &text, bool changed) {
    return s.wait_for([&](const std::string &screen) {
        std::size_t eol = screen.find('\n');
        std::string row = screen.substr(eol + 1, screen.find('\n', eol + 1) - eol - 1);
        row.erase(row.find_last_not_of(' ') + 1);
        return row == text && (screen.find("[modified]") < eol) == changed;
    });
}

// The screen as text with the underlined stretches in { and }: the
// escape sequences of the styled capture read for underline on and off.
std::string underlined(const std::string &styled) {
    std::string out;
    bool on = false;
    for (std::size_t i = 0; i < styled.size(); ++i) {
        if (styled.compare(i, 2, "\x1b[") != 0) {
            out += styled[i];
            continue;
        }
        std::size_t end = styled.find('m', i);
        bool was = on;
        std::string params = styled.substr(i + 2, end - i - 2) + ";";
        for (std::size_t p = 0, q; (q = params.find(';', p)) != std::string::npos; p = q + 1) {
            std::string n = params.substr(p, q - p);
            on = n == "4" ? true : n == "0" || n == "" || n == "24" ? false : on;
        }
        if (on != was)
            out += on ? '{' : '}';
        i = end;
    }
    return out;
}

TEST_F(Editor, RedoTakesBackUndoAndKnowsTheSavedState) {
    tree.file("f.txt", "one\n");
    auto s = start("f.txt");
    s->type("ab");
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt, 6 bytes.")) << s->screen();
    s->type("c");
    EXPECT_TRUE(firstrow(*s, "abcone", true)) << s->screen();
    struct step {
        std::string key;
        std::string row;
        bool changed;
        std::string message;
    };
    const std::vector<step> steps = {
        {"C-z", "abone", false, "Undone."},
        {"C-z", "one", true, "Undone."},
        {"C-y", "abone", false, "line 1, col 3"},
        {"M-e", "abcone", true, "line 1, col 4"},
        {"C-y", "abcone", true, "Nothing to redo."},
        {"C-z", "abone", false, "Undone."},
        {"C-z", "one", true, "Undone."},
    };
    for (const step &t : steps) {
        s->keys({t.key});
        EXPECT_TRUE(firstrow(*s, t.row, t.changed)) << t.key << " to " << t.row << s->screen();
        EXPECT_TRUE(s->wait_text(t.message)) << s->screen();
    }
    // A new change after undo: nothing left to redo.
    s->type("x");
    s->keys({"C-y"});
    EXPECT_TRUE(s->wait_text("Nothing to redo.")) << s->screen();
    EXPECT_TRUE(firstrow(*s, "xone", true)) << s->screen();
    // A run typed on one line is one undo step, whatever its characters.
    s->keys({"End"});
    s->type("aé日x");
    EXPECT_TRUE(firstrow(*s, "xoneaé日x", true)) << s->screen();
    s->keys({"C-z"});
    EXPECT_TRUE(firstrow(*s, "xone", true)) << s->screen();
    s->keys({"C-y", "C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt, 12 bytes.")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "xoneaé日x\n");
}

// The mark is set, the cursor moved, the region cut or copied and pasted
// at the end of the text; the saved bytes show exactly what the scrap held
// (and the newline that saving puts back at the end, since the file ended
// in one).
TEST_F(Editor, RegionCutAndCopyTakeExactlyTheMarkedText) {
    const std::string text = "héllo wörld\nsecond 日本 line\nthird\n";
    struct example {
        std::vector<std::string> before, mark, after;
        std::string op;
        std::string shown; // the region as the screen underlines it
        std::string message;
        std::string saved;
    };
    const std::vector<example> examples = {
        {{"Right", "Right"},
         {"C-^"},
         {"Down"},
         "C-k",
         "\nhé{llo wörld\nse}cond",
         "12 characters in the scrap.",
         "hécond 日本 line\nthird\nllo wörld\nse\n"},
        {{"Down", "End"},
         {"M-a"},
         std::vector<std::string>(7, "Left"),
         "C-c",
         "\nsecond {日本 line\n}third",
         "7 characters in the scrap.",
         text + "日本 line\n"},
        {{},
         {"C-^"},
         {"Down", "Down"},
         "C-k",
         "\n{héllo wörld\nsecond 日本 line\n}third",
         "2 lines in the scrap.",
         "third\nhéllo wörld\nsecond 日本 line\n"},
        {{"Right", "Right"},
         {"M-a"},
         {"Left"},
         "C-k",
         "\nh{é}llo",
         "1 character in the scrap.",
         "hllo wörld\nsecond 日本 line\nthird\né\n"},
    };
    for (const example &e : examples) {
        tree.file("f.txt", text);
        auto s = start("f.txt");
        s->keys(e.before);
        s->keys(e.mark);
        EXPECT_TRUE(s->wait_text("Mark set.")) << s->screen();
        s->keys(e.after);
        EXPECT_TRUE(s->wait_for([&](const std::string &) {
            return underlined(s->styled()).find(e.shown) != std::string::npos;
        })) << e.message
            << "\n"
            << underlined(s->styled());
        s->keys({e.op});
        EXPECT_TRUE(s->wait_text(e.message)) << s->screen();
        // The mark is gone: the cut or copy took it, and nothing is underlined.
        EXPECT_EQ(underlined(s->styled()).find('{'), std::string::npos) << s->styled();
        s->keys({"C-End", "C-v", "C-s"});
        EXPECT_TRUE(s->wait_text("Wrote f.txt")) << s->screen();
        s->keys({"C-q"});
        EXPECT_EQ(s->wait_exit(), 0);
        EXPECT_EQ(tree.read("f.txt"), e.saved) << e.message;
    }
}

// Pressed again, the mark key clears the mark; ^K then cuts the line.
TEST_F(Editor, MarkKeyAgainClearsTheMark) {
    tree.file("f.txt", "héllo\nsecond\n");
    auto s = start("f.txt");
    s->keys({"Right", "C-^", "Right"});
    EXPECT_TRUE(s->wait_text("Mark set.")) << s->screen();
    s->keys({"M-a"});
    EXPECT_TRUE(s->wait_text("Mark cleared.")) << s->screen();
    s->keys({"C-k"});
    EXPECT_TRUE(s->wait_text("1 line in the scrap.")) << s->screen();
    EXPECT_TRUE(firstrow(*s, "second", true)) << s->screen();
    s->keys({"C-s", "C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "second\n");
}

// Cuts to the end of the line gather with cuts of lines right before and
// after them; at the end of a line the newline goes, joining the lines.
TEST_F(Editor, CutToTheEndOfTheLineGathersWithCuts) {
    tree.file("f.txt", "alpha beta\ngamma\ndelta\nend\n");
    auto s = start("f.txt");
    struct step {
        std::vector<std::string> keys;
        std::string message;
        std::string row; // the first text row after the keys, less trailing blanks
    };
    const std::vector<step> steps = {
        {{"Down", "C-k"}, "1 line in the scrap.", "alpha beta"},
        {{"M-t"}, "11 characters in the scrap.", "alpha beta"},
        {{"M-t"}, "2 lines in the scrap.", "alpha beta"},
        {{"M-<", "M-f", "M-t"}, "4 characters in the scrap.", "alpha"},
        {{"M-t"}, "5 characters in the scrap.", "alpha end"},
        {{"C-z"}, "Undone.", "alpha"},
        {{"C-y"}, "Redone.", "alpha end"},
    };
    for (const step &t : steps) {
        s->keys(t.keys);
        EXPECT_TRUE(s->wait_text(t.message)) << s->screen();
        EXPECT_TRUE(firstrow(*s, t.row, true)) << s->screen();
    }
    s->keys({"C-End", "C-v", "C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "alpha end\nbeta\n");
}

} // namespace
