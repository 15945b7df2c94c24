// kwed end to end in a real terminal: a detached tmux server runs the
// editor, the tests type with send-keys, read the screen and check the
// files on disk and the exit status.
#include "editor_core.h"
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using kwed_testing::Editor;
using kwed_testing::quote;
using kwed_testing::TmuxSession;

TEST_F(Editor, MovesInsertsAndDeletesAsciiAndUtf8ThenSaves) {
    tree.file("f.txt", "one\ntwo\nthree\n");
    auto s = start("f.txt");
    EXPECT_TRUE(s->wait_text("line 1, col 1")) << s->screen();
    EXPECT_NE(s->row(0).find("f.txt"), std::string::npos);
    s->keys({"Down", "End"});
    EXPECT_TRUE(s->wait_text("line 2, col 4")) << s->screen();
    s->type("X");
    s->keys({"Left", "Left", "BSpace"});
    s->type("ü日");
    EXPECT_TRUE(s->wait_text("tü日oX")) << s->screen();
    EXPECT_TRUE(s->wait_text("line 2, col 4")) << s->screen(); // 日 is one character
    EXPECT_NE(s->row(0).find("[modified]"), std::string::npos);
    s->keys({"DC"});
    EXPECT_TRUE(s->wait_text("tü日X")) << s->screen();
    // Escape and the next key are one key, Alt with it, whenever it comes:
    // Escape twice is bound to nothing and types nothing. Escape then f is
    // Alt-f: a word on.
    s->keys({"Escape", "Escape"});
    EXPECT_TRUE(s->wait_text("That key is not bound.")) << s->screen();
    s->keys({"Home", "M-f"});
    EXPECT_TRUE(s->wait_text("line 3, col 1")) << s->screen();
    s->keys({"Up", "Up", "Home"});
    s->type("é");
    s->keys({"C-Right"});
    EXPECT_TRUE(s->wait_text("line 2, col 1")) << s->screen();
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt, 20 bytes.")) << s->screen();
    EXPECT_EQ(s->row(0).find("[modified]"), std::string::npos);
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "éone\ntü日X\nthree\n");
}

TEST_F(Editor, CutsGatherPasteAndUndoTakesBack) {
    tree.file("f.txt", "a\nb\nc\nd\n");
    auto s = start("f.txt");
    s->keys({"C-k", "C-k"});
    EXPECT_TRUE(s->wait_text("2 lines in the scrap.")) << s->screen();
    EXPECT_EQ(s->row(1), "c");
    s->keys({"Down", "C-v"});
    EXPECT_TRUE(s->wait_for([](const std::string &x) {
        return x.find("c\na\nb\nd\n") != std::string::npos;
    })) << s->screen();
    s->keys({"C-z"});
    EXPECT_TRUE(s->wait_text("\nc\nd\n")) << s->screen();
    s->keys({"C-z", "C-z"});
    EXPECT_TRUE(s->wait_text("\na\nb\nc\nd\n")) << s->screen();
    EXPECT_TRUE(s->wait_for([](const std::string &x) { return x.find("[modified]") == x.npos; }))
        << s->screen();
    s->keys({"C-z"});
    EXPECT_TRUE(s->wait_text("Nothing to undo.")) << s->screen();
    // Copies gather too and move on: a and b copied, pasted before c.
    s->keys({"C-c", "C-c", "C-v", "C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "a\nb\na\nb\nc\nd\n");
}

TEST_F(Editor, FindsForwardAgainAndGoesToLines) {
    std::string text;
    for (int i = 1; i <= 30; ++i)
        text += (i == 7 || i == 25 ? "a needle " : "line ") + std::to_string(i) + "\n";
    tree.file("f.txt", text);
    auto s = start("f.txt");
    s->keys({"C-f"});
    EXPECT_TRUE(s->wait_text("Find: ")) << s->screen();
    s->type("needle");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 7, col 3")) << s->screen();
    s->keys({"C-n"});
    EXPECT_TRUE(s->wait_text("line 25, col 3")) << s->screen();
    s->keys({"C-n"});
    EXPECT_TRUE(s->wait_text("line 7, col 3")) << s->screen();
    EXPECT_TRUE(s->wait_text("Search went on from the top.")) << s->screen();
    s->keys({"C-f", "C-u"});
    s->type("absent");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Not found: absent")) << s->screen();
    s->keys({"C-g"});
    s->type("20");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 20, col 1")) << s->screen();
    s->keys({"C-g"});
    s->type("x1");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Not a line number: x1")) << s->screen();
    s->keys({"C-g"});
    s->type("999");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 31, col 1")) << s->screen();
    // A screen is 22 text rows: a page moves 21 lines.
    s->keys({"M-<", "PageDown"});
    EXPECT_TRUE(s->wait_text("line 22, col 1")) << s->screen();
    s->keys({"PageDown"});
    EXPECT_TRUE(s->wait_text("line 31, col 1")) << s->screen();
    s->keys({"PageUp"});
    EXPECT_TRUE(s->wait_text("line 10, col 1")) << s->screen();
    s->keys({"C-End"});
    EXPECT_TRUE(s->wait_text("line 31, col 1")) << s->screen();
    s->keys({"C-g"});
    s->type("5");
    s->keys({"Escape", "Escape"});
    EXPECT_TRUE(s->wait_for([](const std::string &x) { return x.find("Go to") == x.npos; }));
    EXPECT_TRUE(s->wait_text("line 31, col 1")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), text);
}

TEST_F(Editor, LongLinesWrapAndOddBytesShowAsThemselves) {
    std::string digits;
    for (int i = 0; i < 170; ++i)
        digits += static_cast<char>('0' + i % 10);
    std::string full(80, 'w');
    tree.file("f.txt", digits + "\n" + full + "\nbad \xE9 byte, tab\tend, ctl \x01\n");
    auto s = start("f.txt");
    EXPECT_EQ(s->row(1), digits.substr(0, 80));
    EXPECT_EQ(s->row(2), digits.substr(80, 80));
    EXPECT_EQ(s->row(3), digits.substr(160));
    EXPECT_EQ(s->row(4), full);
    EXPECT_EQ(s->row(6), "bad <E9> byte, tab      end, ctl ^A");
    s->keys({"End"});
    EXPECT_TRUE(s->wait_text("line 1, col 171")) << s->screen();
    EXPECT_TRUE(s->wait_cursor("10,3")) << s->cursor();
    // At the end of a line that fills the row, the cursor is on the next row.
    s->keys({"Down", "End"});
    EXPECT_TRUE(s->wait_text("line 2, col 81")) << s->screen();
    EXPECT_TRUE(s->wait_cursor("0,5")) << s->cursor();
    EXPECT_EQ(s->row(5), "");
    s->keys({"Down", "Home", "Right", "Right", "Right", "Right", "Delete", "Delete"});
    EXPECT_TRUE(s->wait_text("bad byte, tab")) << s->screen();
    s->keys({"C-s", "C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), digits + "\n" + full + "\nbad byte, tab\tend, ctl \x01\n");
}

// A long file name is cut so that the position shows and the next row
// stays the text's; control characters in it show as '?'.
TEST_F(Editor, NamesStayOnTheHeaderAndMessageRows) {
    std::string name = "ctl\x01" + std::string(80, 'n') + ".txt";
    tree.file(name, "first\nsecond\n");
    auto s = start(quote(name));
    std::string header = " kwed  <" + std::string(53, 'n') + ".txt line 1, col 1 ";
    EXPECT_TRUE(s->wait_for([&](const std::string &x) { return x.rfind(header, 0) == 0; }))
        << s->screen();
    EXPECT_EQ(s->row(1), "first");
    s->keys({"C-s"});
    std::string message = "Wrote ctl?" + std::string(79 - 10, 'n');
    EXPECT_TRUE(s->wait_text("\n" + message + "\n")) << s->screen();
    EXPECT_EQ(s->row(1), "first");
    EXPECT_EQ(s->row(2), "second");
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read(name), "first\nsecond\n");
}

// Quit asks whether to save first: y saves and quits (asking for a name when the
// text has none), n quits without saving, any other key goes back to the
// text and types nothing.
TEST_F(Editor, QuitAsksWhetherToSaveFirst) {
    const std::string question = "Save changes? (y/n; ^C: go back)";
    auto asked = [&](const TmuxSession &s) { return s.wait_text(question); };
    auto gone = [&](const std::string &x) { return x.find(question) == x.npos; };
    tree.file("f.txt", "keep\n");
    auto s = start("f.txt");
    s->type("zz");
    EXPECT_TRUE(s->wait_text("zzkeep")) << s->screen();
    for (const char *other : {"x", "C-c", "Escape"}) {
        s->keys({"C-q"});
        EXPECT_TRUE(asked(*s)) << s->screen();
        s->keys({other});
        if (other[0] == 'E') // Escape and the next key are one key
            s->keys({other});
        EXPECT_TRUE(s->wait_for(gone)) << other << "\n" << s->screen();
    }
    s->type("q");
    EXPECT_TRUE(s->wait_text("zzqkeep")) << s->screen();
    s->keys({"C-x"});
    EXPECT_TRUE(asked(*s)) << s->screen();
    s->keys({"y"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "zzqkeep\n");
    // The screen is handed back with the cursor at the start of its last line.
    EXPECT_TRUE(s->wait_cursor("0,23")) << s->cursor();

    auto t = start("f.txt");
    t->type("lost ");
    t->keys({"C-q"});
    EXPECT_TRUE(asked(*t)) << t->screen();
    t->keys({"n"});
    EXPECT_EQ(t->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "zzqkeep\n");

    auto u = start("");
    u->type("unnamed");
    u->keys({"C-q"});
    EXPECT_TRUE(asked(*u)) << u->screen();
    u->keys({"y"});
    EXPECT_TRUE(u->wait_text("Save as: ")) << u->screen();
    u->type("named.txt");
    u->keys({"Enter"});
    EXPECT_EQ(u->wait_exit(), 0);
    EXPECT_EQ(tree.read("named.txt"), "unnamed\n");
}

TEST_F(Editor, StartLineFromThePlusArgument) {
    tree.file("f.txt", "1\n2\n3\n4\n5");
    tree.file("-notes", "dash\n");
    struct {
        const char *args;
        const char *where;
    } cases[] = {
        {"+3 f.txt", "line 3, col 1"},  {"+99 f.txt", "line 5, col 1"},
        {"f.txt +3", "line 1, col 1"},  {"+0 f.txt", "line 1, col 1"},
        {"+-4 f.txt", "line 1, col 1"}, {"+3 +4x f.txt", "line 4, col 1"},
        {"-- -notes", "-notes"},        {"+- -notes", "-notes"},
        {"- f.txt", "line 1, col 1"},
    };
    for (const auto &c : cases) {
        auto s = start(c.args);
        EXPECT_TRUE(s->wait_text(c.where)) << c.args << "\n" << s->screen();
        s->keys({"C-q"});
        EXPECT_EQ(s->wait_exit(), 0) << c.args;
    }
}

TEST_F(Editor, NewFileAndNoFile) {
    auto s = start("new.txt", "", false);
    EXPECT_TRUE(s->wait_text("New file.")) << s->screen();
    s->keys({"C-l"});
    s->type("fresh");
    s->keys({"Enter", "C-s"});
    EXPECT_TRUE(s->wait_text("Wrote new.txt, 6 bytes.")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("new.txt"), "fresh\n");
    struct stat st;
    ASSERT_EQ(stat(tree.path("new.txt").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    // Without a file, saving asks for a name.
    auto t = start("");
    t->type("x");
    t->keys({"C-s"});
    EXPECT_TRUE(t->wait_text("Save as: ")) << t->screen();
    t->type("named.txt");
    t->keys({"Enter"});
    EXPECT_TRUE(t->wait_text("Wrote named.txt, 2 bytes.")) << t->screen();
    EXPECT_NE(t->row(0).find("named.txt"), std::string::npos);
    t->keys({"C-q"});
    EXPECT_EQ(t->wait_exit(), 0);
    EXPECT_EQ(tree.read("named.txt"), "x\n");
}

TEST_F(Editor, SaveKeepsPermissionsAndSaveAsWritesElsewhere) {
    tree.file("f.txt", "data\n", 0640);
    tree.symlink("f.txt", "link.txt");
    auto s = start("link.txt");
    s->type("more ");
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote link.txt")) << s->screen();
    s->keys({"C-o"});
    EXPECT_TRUE(s->wait_text("Save as: link.txt")) << s->screen();
    s->keys({"C-u"});
    s->type("copy.txt");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Wrote copy.txt")) << s->screen();
    // Another file of that name is replaced only after a question; the
    // file being edited itself needs none.
    tree.file("other.txt", "precious\n");
    s->type("x");
    for (const char *answer : {"n", "y"}) {
        s->keys({"C-o", "C-u"});
        s->type("other.txt");
        s->keys({"Enter"});
        EXPECT_TRUE(s->wait_text("That file exists already; replace it? (y/n)")) << s->screen();
        s->keys({answer});
        EXPECT_TRUE(s->wait_text(*answer == 'n' ? "Not saved." : "Wrote other.txt")) << s->screen();
        EXPECT_EQ(tree.read("other.txt"), *answer == 'n' ? "precious\n" : "more xdata\n");
    }
    s->type("y");
    s->keys({"C-o", "Enter"});
    EXPECT_TRUE(s->wait_text("Wrote other.txt, 12 bytes.")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "more data\n");
    EXPECT_EQ(tree.read("copy.txt"), "more data\n");
    EXPECT_EQ(tree.read("other.txt"), "more xydata\n");
    struct stat st;
    ASSERT_EQ(lstat(tree.path("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)); // the link still points to the file
    ASSERT_EQ(stat(tree.path("f.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640);
}

// The editor runs as an ordinary user, so that permissions hold for it.
TEST_F(Editor, FileThatCannotBeWrittenStaysIntact) {
    std::string wrapper;
    if (getuid() == 0 && access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "running as root without setpriv to drop the rights";
    if (getuid() == 0) {
        wrapper = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups";
        chmod(tree.root().c_str(), 0755);
    }
    uid_t uid = getuid() == 0 ? 65534 : getuid();
    gid_t gid = getuid() == 0 ? 65534 : getgid();
    // A folder where no new file can be made, and a read-only file in a
    // folder where one can.
    std::string fixed = tree.dir("fixed", 0755);
    std::string open = tree.dir("open", 0755);
    std::string f1 = tree.file("fixed/f.txt", "original\n", 0644);
    std::string f2 = tree.file("open/g.txt", "original\n", 0444);
    ASSERT_EQ(chown(f1.c_str(), uid, gid), 0);
    ASSERT_EQ(chown(open.c_str(), uid, gid), 0);
    ASSERT_EQ(chown(f2.c_str(), uid, gid), 0);
    if (getuid() != 0)
        chmod(fixed.c_str(), 0555);
    // The file in the fixed folder is written in place; the read-only one
    // is not written at all, nor is a new file in the fixed folder. The
    // header tells the two from the start.
    struct {
        const char *name;
        const char *message;
        const char *after; // null: no file
        bool readonly;
    } cases[] = {
        {"fixed/f.txt", "Wrote fixed/f.txt, 17 bytes.", "changed original\n", false},
        {"open/g.txt", "Permission denied. The file on disk is unchanged.", "original\n", true},
        {"fixed/new.txt", "Not saved, fixed/new.txt: Permission denied.", nullptr, true},
        {"open/new.txt", "Wrote open/new.txt, 9 bytes.", "changed \n", false},
    };
    for (const auto &c : cases) {
        auto s = start(c.name, "", true, wrapper);
        EXPECT_EQ(s->row(0).find("[read-only]") != std::string::npos, c.readonly)
            << c.name << ": " << s->row(0);
        s->type("changed ");
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text(c.message)) << s->screen();
        s->keys({"C-q"});
        if (c.readonly) {
            EXPECT_TRUE(s->wait_text("Save changes?")) << s->screen();
            s->keys({"n"});
        }
        EXPECT_EQ(s->wait_exit(), 0);
        if (c.after)
            EXPECT_EQ(tree.read(c.name), c.after);
        else
            EXPECT_NE(access(tree.path(c.name).c_str(), F_OK), 0) << c.name;
    }
    struct stat st;
    ASSERT_EQ(stat(f1.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, uid);
    EXPECT_EQ(st.st_mode & 07777, 0644);
    // A file that could not be read is not replaced by the empty text
    // without a question.
    std::string f3 = tree.file("open/h.txt", "unreadable\n", 0200);
    ASSERT_EQ(chown(f3.c_str(), uid, gid), 0);
    auto s = start("open/h.txt", "", false, wrapper);
    EXPECT_TRUE(s->wait_text("Cannot read open/h.txt: Permission denied.")) << s->screen();
    s->keys({"C-l", "C-s"});
    EXPECT_TRUE(s->wait_text("The file could not be read at the start; replace it? (y/n)"))
        << s->screen();
    s->keys({"n"});
    EXPECT_TRUE(s->wait_text("Not saved.")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    chmod(f3.c_str(), 0600);
    EXPECT_EQ(tree.read("open/h.txt"), "unreadable\n");
    chmod(fixed.c_str(), 0755);
}

TEST_F(Editor, SpecialRecordsOfTheKeyMap) {
    std::string keys = tree.read(SOURCE_DIR "/kwed-classic.rc");
    tree.file("etc/kwed.rc", keys + ".noheader\n.tabsize 4\n.title ignored\n");
    tree.file("f.txt", "\tx\n");
    auto s = start("f.txt");
    EXPECT_EQ(s->row(0), "    x"); // no header; tab stops every 4 columns
    s->keys({"C-p"});
    EXPECT_TRUE(s->wait_text("Literal ^P")) << s->screen();
    s->keys({"C-a"});
    EXPECT_TRUE(s->wait_text("^A  x")) << s->screen();
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "\x01\tx\n");

    // .view: keys that no command takes insert nothing; .title names it.
    tree.file("etc/kwed.rc", keys + ".view\n.title Viewer\n");
    auto v = start("f.txt");
    EXPECT_EQ(v->row(0).rfind(" Viewer  f.txt", 0), 0u) << v->screen();
    v->type("abc");
    v->keys({"End"});
    EXPECT_TRUE(v->wait_text("line 1, col 4")) << v->screen();
    EXPECT_EQ(v->row(0).find("[modified]"), std::string::npos);
    v->keys({"C-q"});
    EXPECT_EQ(v->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "\x01\tx\n");
}

TEST_F(Editor, RunControlFileFromCurrentFolderHomeAndEtc) {
    tree.file("home/kwed.rc", ".title FromHome\nquit ^Q\n");
    tree.file("etc/kwed.rc", ".title FromEtc\nquit ^Q\n");
    struct {
        const char *env;
        const char *args;
        const char *title;
    } cases[] = {
        {"", "", " FromHome"},
        {"HOME=", "", " FromEtc"},
        {"-u HOME", "", " FromEtc"},
        {"", "-f other.rc", " FromOther"},
        {"", "-fother.rc", " FromOther"},
    };
    tree.file("other.rc", ".title FromOther\nquit ^Q\n");
    for (const auto &c : cases) {
        auto s = start(c.args, c.env, false);
        EXPECT_TRUE(s->wait_text(c.title)) << c.env << " " << c.args << "\n" << s->screen();
        s->keys({"C-q"}); // the first key is carried out as typed
        EXPECT_EQ(s->wait_exit(), 0);
    }
    tree.file("kwed.rc", ".title FromHere\nquit ^Q\n");
    auto s = start("", "", false);
    EXPECT_TRUE(s->wait_text(" FromHere")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
}

TEST_F(Editor, BrokenRunControlFileEndsWithStatus3) {
    tree.file("etc/kwed.rc", "quit ^Q\n\n# a comment\nup \\\n  ^U\nfrobnicate ^X\n");
    auto s = start("", "", false);
    EXPECT_EQ(s->wait_exit(), 3);
    EXPECT_TRUE(s->wait_text("kwed: " + etc + "/kwed.rc: line 6: unknown command \"frobnicate\"."))
        << s->screen();
}

// At start-up a line of the most used keys follows the first message, and
// the first key typed is carried out at once. F1 shows the panel of every
// command until the next key, which does nothing else; in any window of at
// least 40x12 every command is on it, on more pages where one is too small
// (F1 turns them).
TEST_F(Editor, StartHintAndAHelpPanelThatFitsTheWindow) {
    tree.file("f.txt", "text\n");
    auto s = start("f.txt", "", false);
    EXPECT_TRUE(s->wait_text("Read f.txt, 5 bytes.  F1 help  ^S save  ^Q quit  ^F find"))
        << s->screen();
    s->type("ab");
    EXPECT_TRUE(s->wait_text("abtext")) << s->screen();
    EXPECT_TRUE(s->wait_for([](const std::string &x) {
        return x.find("F1 help") == x.npos && x.find("Read f.txt, 5 bytes.") != x.npos;
    })) << s->screen();
    // The panel names each command by its help text.
    std::vector<std::string> names;
    for (const kwed::command &c : kwed::commands)
        names.push_back(" " + std::string(c.help));
    EXPECT_GT(names.size(), 40u);
    auto missing = [&names](const std::string &x) {
        std::string none;
        for (const std::string &n : names)
            none += x.find(n + " ") == x.npos && x.find(n + "\n") == x.npos ? n : "";
        return none;
    };
    auto closed = [](const std::string &x) { return x.find("kwed keys") == x.npos; };
    // Each width differs from the one before, so that a header that ends
    // at the new right edge shows the editor has taken up the new size.
    const int sizes[][2] = {{80, 24}, {79, 24}, {60, 24}, {40, 24}, {80, 20}, {40, 12}, {80, 12}};
    for (const auto &size : sizes) {
        std::string what = std::to_string(size[0]) + "x" + std::to_string(size[1]);
        EXPECT_TRUE(s->resize(size[0], size[1]));
        EXPECT_TRUE(s->wait_for([&](const std::string &x) {
            std::string top = x.substr(0, x.find('\n'));
            return top.size() == static_cast<std::size_t>(size[0]) &&
                   top.ends_with("line 1, col 3 ");
        })) << what;
        // Every page, its names gathered, until the last one.
        std::string pages;
        s->keys({"F1"});
        for (int page = 1; page < 10; ++page) {
            std::string mark = "page " + std::to_string(page) + " of ";
            EXPECT_TRUE(s->wait_for([&](const std::string &x) {
                return !closed(x) && (page == 1 || x.find(mark) != x.npos);
            })) << what
                << "\n"
                << s->screen();
            std::string screen = s->screen();
            pages += screen;
            std::size_t of = screen.find(mark);
            if (of == screen.npos || screen.compare(of + mark.size(), std::to_string(page).size(),
                                                    std::to_string(page)) == 0)
                break;
            s->keys({"F1"});
        }
        EXPECT_EQ(missing(pages), "") << what << "\n" << pages;
        s->keys({"x"});
        EXPECT_TRUE(s->wait_for(closed)) << what << "\n" << s->screen();
    }
    EXPECT_TRUE(s->resize(80, 24));
    EXPECT_TRUE(s->wait_text("abtext")) << s->screen();
    EXPECT_TRUE(s->wait_text("line 1, col 3")) << s->screen();
    // A new window size while the panel shows draws it again, in pages
    // that fit; the key after that closes it and does nothing else.
    s->keys({"F1"});
    EXPECT_TRUE(s->wait_text("kwed keys (the next key")) << s->screen();
    EXPECT_TRUE(s->resize(80, 12));
    EXPECT_TRUE(s->wait_text("kwed keys, page 1 of 2")) << s->screen();
    s->keys({"x"});
    EXPECT_TRUE(s->wait_for(closed)) << s->screen();
    EXPECT_TRUE(s->resize(80, 24));
    EXPECT_TRUE(s->wait_text("line 1, col 3")) << s->screen();
    // A new window size is taken up at once: the header spans the new width.
    s->keys({"Home", "Enter"});
    EXPECT_TRUE(s->wait_text("line 2, col 1")) << s->screen();
    EXPECT_TRUE(s->resize(50, 10));
    EXPECT_TRUE(s->wait_for([](const std::string &x) {
        std::string top = x.substr(0, x.find('\n'));
        return top.size() == 50 && top.find(" [modified]") != top.npos &&
               top.substr(36) == "line 2, col 1 ";
    })) << s->screen();
    s->keys({"C-q"});
    EXPECT_TRUE(s->wait_text("Save changes?")) << s->screen();
    s->keys({"n"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// Function and special keys that no command takes, as tmux sends them, and
// a key only the terminal's description knows (rxvt's Shift-Delete, whose
// form lacks a final byte): each is one key and types nothing, and what
// follows it in the same burst of input is a key of its own.
TEST_F(Editor, EscapeSequencesAreKeysAndNeverText) {
    struct {
        const char *term;
        std::vector<std::string> keys;
        const char *literal;
    } cases[] = {
        {"", {"IC", "F2", "F10", "F5", "BTab", "S-Up", "M-x", "C-Up", "M-F3", "End"}, ""},
        {"TERM=rxvt", {}, "\x1b[3$"},
    };
    for (const auto &c : cases) {
        tree.file("f.txt", "config=1\n");
        auto s = start("f.txt", c.term);
        s->type("a");
        std::vector<std::string> keys = c.keys;
        keys.insert(keys.begin(), "Home");
        s->keys(keys);
        s->type(std::string(c.literal) + "b");
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text("Wrote f.txt, 11 bytes.")) << c.term << "\n" << s->screen();
        s->keys({"C-q"});
        EXPECT_EQ(s->wait_exit(), 0);
        EXPECT_EQ(tree.read("f.txt"), *c.literal ? "baconfig=1\n" : "aconfig=1b\n") << c.term;
    }
    // Alone, an unbound key says so.
    auto s = start("f.txt");
    s->keys({"F5"});
    EXPECT_TRUE(s->wait_text("That key is not bound.")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// The terminal hanging up (the window closed) and a termination signal
// (a shutdown) keep unsaved text in NAME.save, never over a file that is
// there, leave no other file and end with status 3. The editor runs under
// a shell that outlives the hang-up, to report the exit status, and that
// notes the editor's process id.
TEST_F(Editor, HangUpAndTerminationKeepUnsavedText) {
    tree.file("run.sh", "trap : HUP\nsh -c 'echo $$ > kwed.pid; exec \"$0\" \"$@\"' \"$@\"\n"
                        "echo $? > kwed.status\n");
    struct {
        const char *how;
        const char *kept;
        const char *message;
    } cases[] = {
        {"hang-up", "f.txt.save", nullptr},
        {"termination", "f.txt.save1",
         "kwed: told to end; the unsaved text was kept in f.txt.save1"},
        {"termination in a question", "f.txt.save2",
         "kwed: told to end; the unsaved text was kept in f.txt.save2"},
    };
    // A file that a group may read: the kept text is its user's alone.
    tree.file("f.txt", "text\n", 0664);
    for (const auto &c : cases) {
        std::string how = c.how;
        std::remove(tree.path("kwed.status").c_str());
        std::remove(tree.path("kwed.pid").c_str());
        auto s = start("f.txt", "", true, "sh run.sh");
        s->type(how + " ");
        EXPECT_TRUE(s->wait_text(how + " text")) << s->screen();
        if (how == "termination in a question") {
            s->keys({"C-q"});
            EXPECT_TRUE(s->wait_text("Save changes?")) << s->screen();
        }
        if (how == "hang-up") {
            s->hangup();
        } else {
            pid_t pid = std::stoi(tree.read("kwed.pid"));
            ASSERT_EQ(kill(pid, SIGTERM), 0);
            EXPECT_TRUE(s->wait_text(c.message)) << s->screen();
        }
        std::string status;
        for (int i = 0; i < 300 && status.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (access(tree.path("kwed.status").c_str(), R_OK) == 0)
                status = tree.read("kwed.status");
        }
        EXPECT_EQ(status, "3\n") << how;
        EXPECT_EQ(tree.read(c.kept), how + " text\n") << how;
        struct stat st = {};
        EXPECT_EQ(stat(tree.path(c.kept).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << how;
        EXPECT_EQ(tree.read("f.txt"), "text\n");
    }
    EXPECT_EQ(tree.read("f.txt.save"), "hang-up text\n");
    std::string names;
    DIR *dir = opendir(tree.root().c_str());
    ASSERT_NE(dir, nullptr);
    while (dirent *e = readdir(dir))
        if (std::string(e->d_name).rfind("f.txt", 0) == 0)
            names += std::string(e->d_name) + " ";
    closedir(dir);
    EXPECT_EQ(names.size(), std::string("f.txt f.txt.save f.txt.save1 f.txt.save2 ").size())
        << names;
}

// Saving checks that the name still leads to the file that was read, as it
// was: another program's change, or a link put in its place, is not
// written over without a question. After a yes, the next save asks nothing.
TEST_F(Editor, SavingAsksWhenTheFileChangedOnDisk) {
    struct {
        const char *what;
        std::function<void()> change;
        const char *mine; // where the saved text then is
    } cases[] = {
        {"rewritten", [&] { tree.file("f.txt", "theirs, longer\n"); }, "f.txt"},
        {"same size, new time",
         [&] {
             tree.file("f.txt", "MINE\n");
             tree.set_mtime("f.txt", 1000000000);
         },
         "f.txt"},
        {"replaced by a link",
         [&] {
             std::remove(tree.path("f.txt").c_str());
             tree.symlink("victim.txt", "f.txt");
         },
         "victim.txt"},
        {"removed", [&] { std::remove(tree.path("f.txt").c_str()); }, "f.txt"},
    };
    for (const auto &c : cases) {
        std::remove(tree.path("f.txt").c_str());
        tree.file("f.txt", "mine\n");
        tree.file("victim.txt", "victim\n");
        auto s = start("f.txt");
        s->type("new ");
        EXPECT_TRUE(s->wait_text("new mine")) << s->screen();
        c.change();
        std::string before =
            access(tree.path("f.txt").c_str(), F_OK) == 0 ? tree.read("f.txt") : "";
        for (const char *answer : {"n", "y"}) {
            s->keys({"C-s"});
            EXPECT_TRUE(
                s->wait_text("f.txt changed on disk since it was read; save over it? (y/n)"))
                << c.what << "\n"
                << s->screen();
            s->keys({answer});
            EXPECT_TRUE(s->wait_text(*answer == 'n' ? "Not saved." : "Wrote f.txt, 9 bytes."))
                << c.what << "\n"
                << s->screen();
            if (*answer == 'n') {
                EXPECT_EQ(access(tree.path("f.txt").c_str(), F_OK) == 0 ? tree.read("f.txt") : "",
                          before)
                    << c.what;
                EXPECT_EQ(tree.read("victim.txt"), "victim\n") << c.what;
            }
        }
        s->type("x");
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text("Wrote f.txt, 10 bytes.")) << c.what << "\n" << s->screen();
        s->keys({"C-q"});
        EXPECT_EQ(s->wait_exit(), 0);
        EXPECT_EQ(tree.read(c.mine), "new xmine\n") << c.what;
    }
    struct stat st;
    ASSERT_EQ(lstat(tree.path("f.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    // A link to no file put at the name of a new file once it was read, or
    // at the name Save as is given: saving asks, naming where it points; y
    // makes that file and keeps the link, any other key saves nothing.
    tree.dir("sub");
    struct {
        const char *args;
        const char *link;
        std::vector<std::string> save;
        const char *answer;
    } links[] = {
        {"link.txt", "link.txt", {"C-s"}, "y"},
        {"new.txt", "new.txt", {"C-s"}, "n"},
        {"f.txt", "other.txt", {"C-o", "other.txt", "Enter"}, "n"},
    };
    for (const auto &l : links) {
        std::remove(tree.path("sub/target.txt").c_str());
        auto s = start(l.args);
        s->type("made");
        EXPECT_TRUE(s->wait_text("[modified]")) << s->screen();
        tree.symlink("sub/target.txt", l.link);
        s->keys(l.save);
        EXPECT_TRUE(s->wait_text(std::string(l.link) +
                                 " is a link to sub/target.txt, which does not exist; create it?"))
            << s->screen();
        s->keys({l.answer});
        bool made = *l.answer == 'y';
        EXPECT_TRUE(s->wait_text(made ? "Wrote link.txt, 5 bytes." : "Not saved.")) << s->screen();
        s->keys({"C-q", "n"});
        EXPECT_EQ(s->wait_exit(), 0);
        std::string target = tree.path("sub/target.txt");
        EXPECT_EQ(access(target.c_str(), F_OK) == 0 ? tree.read(target) : "", made ? "made\n" : "")
            << l.link;
        ASSERT_EQ(lstat(tree.path(l.link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
}

// Where a new file renamed over the old one would not be the same file
// (more names, a mount point, a file of the kernel, an owner the saver
// cannot give back, no room for a second copy), the text is written into
// the file itself. The namespace cases run the editor under unshare, with
// a script that sets up the mount and copies out what is there afterwards.
TEST_F(Editor, SavesInPlaceWhereANewFileWouldNotBeTheSame) {
    if (getuid() != 0)
        GTEST_SKIP() << "mounts, namespaces and other users need root";
    chmod(tree.root().c_str(), 0755);
    std::string text40k;
    while (text40k.size() < 40000)
        text40k += "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+-*/=\n";
    text40k.resize(39999);
    text40k += "\n";
    std::string tmpfs = "mkdir -p t && mount -t tmpfs -o size=64k tmpfs t || exit 9\n"
                        "head -c 24576 /dev/zero > t/filler && cp big.txt t/f.txt\n"
                        "\"$@\"; s=$?; cp t/f.txt after.txt; ls -A t > listing; exit $s\n";
    // The same with a second name for the file, which is read afterwards.
    std::string linked = "mkdir -p t && mount -t tmpfs -o size=64k tmpfs t || exit 9\n"
                         "head -c 24576 /dev/zero > t/filler && cp big.txt t/f.txt &&"
                         " ln t/f.txt t/g.txt\n"
                         "\"$@\"; s=$?; cp t/g.txt after.txt; ls -A t > listing; exit $s\n";
    struct {
        const char *what;
        const char *file;
        std::string content;
        const char *wrapper;
        std::string script;
        const char *message;
        const char *after; // the file the saved text is seen in afterwards
        std::string expect;
    } cases[] = {
        {"hard links", "f.txt", "old\n", "", "", "Wrote f.txt, 8 bytes.", "g.txt", "new old\n"},
        {"bind mount", "b.txt", "old\n", "unshare -m sh ns.sh",
         "mount --bind a.txt b.txt || exit 9\n\"$@\"\n", "Wrote b.txt, 8 bytes.", "a.txt",
         "new old\n"},
        {"kernel file", "/proc/sys/kernel/domainname", "", "unshare -u sh ns.sh",
         "echo olddomain > /proc/sys/kernel/domainname || exit 9\n"
         "\"$@\"; s=$?; cat /proc/sys/kernel/domainname > after.txt; exit $s\n",
         "Wrote /proc/sys/kernel/domainname, 14 bytes.", "after.txt", "new olddomain\n"},
        {"full disk", "t/f.txt", text40k, "unshare -m sh ns.sh", tmpfs,
         "Wrote t/f.txt, 40004 bytes.", "after.txt", "new " + text40k},
        {"full disk, no room", "t/f.txt", text40k + std::string(960, '.'), "unshare -m sh ns.sh",
         tmpfs, "Not saved, t/f.txt: No space left on device. The file on disk is unchanged.",
         "after.txt", text40k + std::string(960, '.')},
        // Written in place only once the text is known to fit: no name
        // loses the old text.
        {"hard links, full disk", "t/f.txt", text40k + std::string(960, '.'), "unshare -m sh ns.sh",
         linked, "Not saved, t/f.txt: No space left on device. The file on disk is unchanged.",
         "after.txt", text40k + std::string(960, '.')},
        {"group-shared", "shared/f.txt", "old\n",
         "/usr/bin/setpriv --reuid=65534 --regid=65534 --groups=4242", "",
         "Wrote shared/f.txt, 8 bytes.", "shared/f.txt", "new old\n"},
    };
    for (const auto &c : cases) {
        std::string what = c.what;
        tree.file("a.txt", "old\n");
        tree.file("b.txt", "under the mount\n");
        tree.file("big.txt", c.content);
        tree.file("ns.sh", c.script);
        std::remove(tree.path("g.txt").c_str());
        if (what == "hard links") {
            tree.file("f.txt", c.content);
            tree.hardlink("f.txt", "g.txt");
        }
        if (what == "group-shared") {
            // Another member of the group owns the file and its folder.
            std::string dir = tree.dir("shared", 02775);
            std::string f = tree.file("shared/f.txt", c.content, 0664);
            ASSERT_EQ(chown(dir.c_str(), 65533, 4242), 0);
            ASSERT_EQ(chown(f.c_str(), 65533, 4242), 0);
            chmod(dir.c_str(), 02775);
        }
        struct stat before = {};
        stat(tree.path(c.file).c_str(), &before);
        auto s = start(c.file, "", true, c.wrapper);
        s->type("new ");
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text(c.message)) << what << "\n" << s->screen();
        s->keys({"C-q"});
        if (c.message[0] == 'N') {
            EXPECT_TRUE(s->wait_text("Save changes?")) << s->screen();
            s->keys({"n"});
        }
        EXPECT_EQ(s->wait_exit(), 0) << what;
        EXPECT_EQ(tree.read(c.after), c.expect) << what;
        struct stat st = {};
        if (what == "hard links" || what == "group-shared") {
            ASSERT_EQ(stat(tree.path(c.file).c_str(), &st), 0);
            EXPECT_EQ(st.st_ino, before.st_ino) << what;
            EXPECT_EQ(st.st_uid, before.st_uid) << what;
            EXPECT_EQ(st.st_gid, before.st_gid) << what;
            EXPECT_EQ(st.st_mode, before.st_mode) << what;
            EXPECT_EQ(tree.read(c.file), c.expect) << what;
        }
        if (what == "bind mount") {
            EXPECT_EQ(tree.read("b.txt"), "under the mount\n");
        }
        if (what.find("full disk") != std::string::npos) {
            EXPECT_EQ(tree.read("listing"), what == "hard links, full disk"
                                                ? "f.txt\nfiller\ng.txt\n"
                                                : "f.txt\nfiller\n")
                << what;
        }
    }
}

} // namespace
