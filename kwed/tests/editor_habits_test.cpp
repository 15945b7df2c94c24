// kwed end to end, as a user of small editors works: prompts that edit
// their answer and never pass a key to the text, paging that shows every
// row, the first keys such editors share, suspending, going to a line and column, and the small
// things a user expects.
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using kwed_testing::Editor;
using kwed_testing::quote;
using kwed_testing::TmuxSession;

bool unmodified(const std::string &screen) {
    return screen.substr(0, screen.find('\n')).find("[modified]") == std::string::npos;
}

// Row n of the screen without the blanks that end it.
std::string trimmedrow(const TmuxSession &s, int n) {
    std::string row = s.row(n);
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}

// In every prompt the keys of other commands do nothing but say so, the
// cursor keys edit the answer, and the answer shown first is replaced by
// the first character typed; no key reaches the text.
TEST_F(Editor, PromptsEditTheirAnswerAndNoKeyReachesTheText) {
    tree.file("f.txt", "one two\nbarx three\n");
    auto s = start("f.txt");
    const std::vector<std::string> others = {"Left", "Right", "Up",    "Down", "Home", "End",
                                             "DC",   "PPage", "NPage", "F1",   "C-s",  "C-z"};
    for (const char *open : {"C-f", "C-o", "C-g", "C-r", "C-\\"}) {
        s->keys({open, "C-u"});
        s->type("bax");
        s->keys(others);
        EXPECT_TRUE(s->wait_text("That key does nothing here")) << open << "\n" << s->screen();
        s->type("r");
        EXPECT_TRUE(s->wait_text(": baxr")) << open << "\n" << s->screen();
        s->keys({"C-c"});
        EXPECT_TRUE(s->wait_for([](const std::string &x) { return x.find("baxr") == x.npos; }))
            << open << "\n"
            << s->screen();
        EXPECT_EQ(s->row(1), "one two") << open;
        EXPECT_TRUE(unmodified(s->screen())) << open << "\n" << s->screen();
    }
    // Left and Home move in the answer; an answer shown first goes at the
    // first character typed; Up brings back earlier answers.
    s->keys({"C-f"});
    s->type("bax");
    s->keys({"Left"});
    s->type("r");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 2, col 1")) << s->screen();
    s->keys({"C-f"});
    EXPECT_TRUE(s->wait_text("Find: barx")) << s->screen();
    s->type("two");
    EXPECT_TRUE(s->wait_for([&](const std::string &) { return trimmedrow(*s, 23) == "Find: two"; }))
        << s->screen();
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 1, col 5")) << s->screen();
    s->keys({"C-f"});
    s->type("three");
    s->keys({"Home"});
    s->type(" ");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 2, col 5")) << s->screen();
    s->keys({"C-f", "Up", "Up", "Enter"});
    EXPECT_TRUE(s->wait_text("line 1, col 5")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "one two\nbarx three\n");
}

// A page is the screen's rows less one, wrapped lines counted: the last
// row of one page is the first of the next, both ways.
TEST_F(Editor, PagesMoveByRowsSoThatEveryRowIsSeen) {
    std::string text;
    for (int i = 1; i <= 100; ++i) {
        char start[8], end[8];
        std::snprintf(start, sizeof start, "L%03d", i);
        std::snprintf(end, sizeof end, "E%03d", i);
        text += start + std::string(117, '.') + end + "\n";
    }
    tree.file("f.txt", text);
    auto s = start("f.txt");
    for (const char *key : {"NPage", "NPage", "NPage", "NPage", "PPage", "PPage"}) {
        bool down = key[0] == 'N';
        std::string before = trimmedrow(*s, down ? 22 : 1);
        s->keys({key});
        EXPECT_TRUE(s->wait_for([&](const std::string &) {
            return trimmedrow(*s, down ? 1 : 22) == before;
        })) << key
            << ": " << before << "\n"
            << s->screen();
    }
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// ^W finds, ^O writes out under a name, ^R inserts a file (one undo takes
// it back), Alt-U undoes and ^X quits.
TEST_F(Editor, SharedFirstKeysFindWriteOutInsertUndoAndQuit) {
    tree.file("notes.txt", "first\nneedle here\n");
    tree.file("part.txt", "inserted\n");
    auto s = start("notes.txt");
    s->keys({"C-w"});
    EXPECT_TRUE(s->wait_text("Find: ")) << s->screen();
    s->type("needle");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 2, col 1")) << s->screen();
    s->keys({"C-r"});
    EXPECT_TRUE(s->wait_text("Insert file: ")) << s->screen();
    s->type("part.txt");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Inserted part.txt, 9 bytes.")) << s->screen();
    EXPECT_EQ(s->row(2), "inserted");
    EXPECT_EQ(s->row(3), "needle here");
    EXPECT_TRUE(s->wait_text("line 3, col 1")) << s->screen();
    s->keys({"M-u"});
    EXPECT_TRUE(s->wait_for([](const std::string &x) { return x.find("inserted") == x.npos; }))
        << s->screen();
    s->keys({"C-r"});
    s->type("part.txt");
    s->keys({"Enter", "C-o"});
    EXPECT_TRUE(s->wait_text("Save as: notes.txt")) << s->screen();
    s->type("copy.txt");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Wrote copy.txt, 27 bytes.")) << s->screen();
    s->keys({"C-x"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("copy.txt"), "first\ninserted\nneedle here\n");
    EXPECT_EQ(tree.read("notes.txt"), "first\nneedle here\n");
    EXPECT_NE(access(tree.path("notes.txtneedle").c_str(), F_OK), 0);
}

// ^C twice on a last line without a newline copies it once; ^K on the
// empty last line cuts nothing, keeps the scrap and changes nothing.
TEST_F(Editor, CopyAndCutAtTheEndOfTheText) {
    tree.file("f.txt", "top\nlast line");
    auto s = start("f.txt");
    s->keys({"C-End", "C-c", "C-c"});
    EXPECT_TRUE(s->wait_text("1 line in the scrap.")) << s->screen();
    s->keys({"C-Home", "C-v"});
    EXPECT_TRUE(s->wait_text("last linetop")) << s->screen();
    s->keys({"C-z"});
    EXPECT_TRUE(s->wait_for(unmodified)) << s->screen();
    s->keys({"C-o", "C-u"});
    s->type("empty.txt");
    s->keys({"Enter"});
    tree.file("ends.txt", "a\n");
    auto t = start("ends.txt");
    t->keys({"C-c", "C-End", "C-k", "C-k", "C-v"});
    EXPECT_TRUE(t->wait_text("a\na\n")) << t->screen();
    t->keys({"C-z"});
    EXPECT_TRUE(t->wait_for(unmodified)) << t->screen();
    t->keys({"C-q"});
    EXPECT_EQ(t->wait_exit(), 0);
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// Go to line takes a column after a comma, and counts either from the end
// when negative; a combining accent moves, and is deleted, with its letter.
TEST_F(Editor, GoesToLineAndColumnAndKeepsAccentsWithTheirLetters) {
    tree.file("f.txt", "one\ntwo\nthree\nfe\xCC\x81te\nfive\n");
    auto s = start("f.txt");
    struct {
        const char *answer;
        const char *where;
    } cases[] = {
        {"3,4", "line 3, col 4"},  {"-5", "line 2, col 1"},  {"-1", "line 6, col 1"},
        {"2,-1", "line 2, col 4"}, {"-99", "line 1, col 1"}, {"3,99", "line 3, col 6"},
        {"4,3", "line 4, col 3"},
    };
    for (const auto &c : cases) {
        s->keys({"C-g"});
        s->type(c.answer);
        s->keys({"Enter"});
        EXPECT_TRUE(s->wait_text(c.where)) << c.answer << "\n" << s->screen();
    }
    // On line 4 after "fe" and its accent: Z goes after the accent, and
    // Left passes letter and accent in one step.
    s->type("Z");
    s->keys({"Left", "Left"});
    s->type("Y");
    s->keys({"End", "BSpace", "BSpace", "BSpace", "BSpace"});
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "one\ntwo\nthree\nfY\n"
                                  "five\n");
}

// A folder that is missing is told when the file is read, and saving there
// does not speak of a file on disk; a folder given to Save as is refused
// before any question.
TEST_F(Editor, MissingFoldersAndFoldersAsNamesAreToldAtOnce) {
    tree.dir("sub");
    auto s = start("nodir/new.txt", "", false);
    EXPECT_TRUE(s->wait_text("New file; its folder nodir does not exist.")) << s->screen();
    s->type("x");
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_for([&](const std::string &) {
        return trimmedrow(*s, 23) == "Not saved, nodir/new.txt: No such file or directory.";
    })) << s->screen();
    s->keys({"C-o", "C-u"});
    s->type("sub");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("sub is a folder; nothing saved.")) << s->screen();
    s->keys({"C-q"});
    EXPECT_TRUE(s->wait_text("Save changes?")) << s->screen();
    s->keys({"n"});
    EXPECT_EQ(s->wait_exit(), 0);
}

// A stop from the shell, or the suspend key, hands the terminal back as
// it was (lines, echo); when the shell continues the editor, it takes the
// terminal again and draws the whole screen. An interactive shell runs
// the editor as a job.
TEST_F(Editor, SuspendHandsTheTerminalBackAndRedrawsOnContinue) {
    tree.file("f.txt", "text\n");
    tree.file("run.sh", "echo $$ > kwed.pid; exec \"$@\"\n");
    TmuxSession s("env PS1='$ ' bash --norc --noprofile --noediting -i", tree.root());
    ASSERT_TRUE(s.started());
    s.type("env LANG=C.UTF-8 LC_ALL=C.UTF-8 HOME=" + quote(home) + " ETCDIR=" + quote(etc) +
           " sh run.sh " + quote(KWED_PATH) + " f.txt");
    s.keys({"Enter"});
    EXPECT_TRUE(s.wait_text("F1 help")) << s.screen();
    pid_t pid = std::stoi(tree.read("kwed.pid"));
    std::string tty = s.pane_tty();
    EXPECT_NE(s.terminal_modes(tty).find("-icanon"), std::string::npos);
    for (const char *how : {"M-z", "SIGTSTP"}) {
        if (how[0] == 'M')
            s.keys({how});
        else
            ASSERT_EQ(kill(pid, SIGTSTP), 0);
        EXPECT_TRUE(s.wait_text("Stopped")) << how << "\n" << s.screen();
        std::string modes = s.terminal_modes(tty);
        EXPECT_NE(modes.find(" icanon"), std::string::npos) << how << ": " << modes;
        EXPECT_NE(modes.find(" echo "), std::string::npos) << how << ": " << modes;
        s.type("clear; fg");
        s.keys({"Enter"});
        EXPECT_TRUE(s.wait_text("Back in kwed.")) << how << "\n" << s.screen();
        EXPECT_TRUE(s.wait_for([&](const std::string &) { return trimmedrow(s, 1) == "text"; }))
            << how << "\n"
            << s.screen();
        EXPECT_NE(s.row(0).find("line 1, col 1"), std::string::npos) << s.screen();
        EXPECT_NE(s.terminal_modes(tty).find("-icanon"), std::string::npos);
    }
    s.type("z");
    EXPECT_TRUE(s.wait_text("ztext")) << s.screen();
    s.keys({"C-s", "C-q"});
    EXPECT_TRUE(s.wait_text("$ ")) << s.screen();
    EXPECT_EQ(tree.read("f.txt"), "ztext\n");
}

// Where neither the file's folder nor the home folder takes the rescued
// text, the current folder does, or else /tmp; as the owner's file alone.
TEST_F(Editor, RescueTriesTheCurrentFolderAndTmp) {
    if (getuid() == 0 && access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "running as root without setpriv to drop the rights";
    std::string wrapper =
        getuid() == 0 ? "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    chmod(tree.root().c_str(), 0755);
    std::string ro = tree.dir("ro", 0755);
    tree.file("ro/f.txt", "text\n", 0644);
    std::string here = tree.dir("here", 0777);
    tree.file("run.sh", "cd here && sh -c 'echo $$ > ../pid; exec \"$0\" \"$@\"' \"$@\"\n");
    if (getuid() != 0)
        chmod(ro.c_str(), 0555);
    for (bool writable : {true, false}) {
        chmod(here.c_str(), writable ? 0777 : 0555);
        auto s = start("../ro/f.txt", "HOME=/", true, "sh run.sh " + wrapper);
        s->type("rescued ");
        EXPECT_TRUE(s->wait_text("rescued text")) << s->screen();
        ASSERT_EQ(kill(std::stoi(tree.read("pid")), SIGTERM), 0);
        const std::string told = "told to end; the unsaved text was kept in ";
        EXPECT_TRUE(s->wait_text(told)) << s->screen();
        std::string screen = s->screen();
        std::size_t at = screen.find(told) + told.size();
        std::string kept = screen.substr(at, screen.find('\n', at) - at);
        EXPECT_EQ(kept.rfind(writable ? "f.txt.save" : "/tmp/f.txt.save", 0), 0u) << kept;
        if (writable)
            kept = tree.path("here/" + kept);
        EXPECT_EQ(tree.read(kept), "rescued text\n") << kept;
        struct stat st = {};
        EXPECT_EQ(stat(kept.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        std::remove(kept.c_str());
    }
    chmod(ro.c_str(), 0755);
    chmod(here.c_str(), 0755);
    EXPECT_EQ(tree.read("ro/f.txt"), "text\n");
}

} // namespace
