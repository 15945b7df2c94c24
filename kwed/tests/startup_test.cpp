// kwed's command line and the endings before and at the screen, run as a
// process without a terminal.
#include "kwed.h"
#include "run_program.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

using suite_testing::run;
using suite_testing::RunOptions;

const std::string usage = "usage: kwed [-f rcfile | -frcfile] [+line] [--] [file]\n";

suite_testing::RunResult kwed(std::vector<std::string> args, RunOptions options = {}) {
    args.insert(args.begin(), KWED_PATH);
    options.no_stdin = true;
    options.timeout_seconds = 30;
    return run(args, options);
}

TEST(Startup, UsageFailuresEndBeforeTheScreen) {
    for (const auto &args : std::vector<std::vector<std::string>>{{"-f"},
                                                                  {"-q", "text"},
                                                                  {"-x"},
                                                                  {"+3", "-fa.rc", "-z", "file"},
                                                                  {"-fa.rc", "--x", "file"}}) {
        auto r = kwed(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.err, usage) << args[0];
        EXPECT_EQ(r.out, "") << args[0]; // curses never started
    }
}

TEST(Startup, ProgramNameIsThePartAfterTheLastSlashOrBackslash) {
    struct {
        const char *argv0;
        const char *name;
    } cases[] = {{"/usr/local/bin/kwed", "kwed"},
                 {"bin\\kwed", "kwed"},
                 {"a/b\\c/ed", "ed"},
                 {"plain", "plain"},
                 {"dir/", ""}};
    for (const auto &c : cases) {
        RunOptions options;
        options.argv0 = c.argv0;
        auto r = kwed({"-q"}, options);
        EXPECT_EQ(r.status, 2) << c.argv0;
        EXPECT_EQ(r.err,
                  "usage: " + std::string(c.name) + " [-f rcfile | -frcfile] [+line] [--] [file]\n")
            << c.argv0;
    }
}

TEST(Startup, ATerminalThatCannotBeUsedEndsWithStatus3) {
    RunOptions options;
    // ncurses keeps a block of its own when it refuses a terminal, and the
    // program ends right there: that is no leak of the editor's.
    options.env = {{"TERM", "no-such-terminal-kind"}, {"ASAN_OPTIONS", "detect_leaks=0"}};
    auto r = kwed({"file"}, options);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "kwed: Failed to initialise the screen.\n");
}

TEST(Startup, AFileNameLongerThanAnyPathIsRefused) {
    auto r = kwed({std::string(5000, 'n')});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err.rfind("kwed: file name too long: nnnn", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
}

// The key map is read after the screen has started; without a terminal
// the screen goes to the pipe, and the message to standard error.
TEST(Startup, RunControlFileFaultsNameTheFileAndLine) {
    suite_testing::TempTree tree;
    struct {
        const char *text;
        const char *message;
    } cases[] = {
        {"quit ^Q\nfrobnicate ^X\n", "line 2: unknown command \"frobnicate\".\n"},
        {"# c\n\nquit \\\n  ^Q\nleft ^1\n", "line 5: bad key text \"^1\".\n"},
        {"quit\n", "line 1: no key given for \"quit\".\n"},
        {"quit ^Q\n.bogus\n", "line 2: unknown directive \".bogus\".\n"},
        {".tabsize 0\n", "line 1: bad number \"0\".\n"},
        {"up $(kcuu1\n", "line 1: bad key text \"$(kcuu1\".\n"},
        {".message 20 %d files\n",
         "line 1: message 20 must use the % conversions of its built-in text.\n"},
        {"quit ^Q\nleft $(nosuchcap)", "line 2: bad key text \"$(nosuchcap)\".\n"},
    };
    for (const auto &c : cases) {
        std::string rc = tree.file("bad.rc", c.text);
        RunOptions options;
        options.env = {{"TERM", "xterm"}, {"HOME", tree.root()}, {"ETCDIR", tree.root()}};
        auto r = kwed({"-f", rc}, options);
        EXPECT_EQ(r.status, 3) << c.text;
        EXPECT_EQ(r.err, "kwed: " + rc + ": " + c.message) << c.text;
    }
    // Not found anywhere: the name and where it was looked for.
    RunOptions options;
    options.env = {{"TERM", "xterm"}, {"HOME", tree.root()}, {"ETCDIR", tree.root()}};
    auto r = kwed({"-f", "missing.rc"}, options);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "kwed: cannot open the run-control file missing.rc (looked in the current "
                     "folder, $HOME and the etc folder)\n");
    // After -f the next argument is the name, whatever it begins with.
    r = kwed({"-f", "-x", "text"}, options);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "kwed: cannot open the run-control file -x (looked in the current "
                     "folder, $HOME and the etc folder)\n");
}

// A replaced message text from the key map is what fatal then prints.
TEST(Startup, MessagesReplacedByTheRunControlFile) {
    suite_testing::TempTree tree;
    std::string config = std::to_string(std::strtol(kwed::f_config, nullptr, 0));
    std::string usage_id = std::to_string(std::strtol(kwed::f_usage, nullptr, 0));
    std::string rc = tree.file("kwed.rc", ".message " + config +
                                              " Die Steuerdatei taugt nicht.\nquit ^Q\nleft ^1\n");
    RunOptions options;
    options.env = {{"TERM", "xterm"}};
    auto r = kwed({"-f", rc}, options);
    EXPECT_EQ(r.status, 3);
    // The fault on line 3 replaces the text once more, naming the line.
    EXPECT_EQ(r.err, "kwed: " + rc + ": line 3: bad key text \"^1\".\n");
    tree.file("kwed.rc", ".message " + usage_id + " Aufruf: %s [Optionen] [Datei]\nquit ^Q\n");
    // The usage text comes before the key map is read: the built-in one.
    auto u = kwed({"-f", rc, "-q"}, options);
    EXPECT_EQ(u.status, 2);
    EXPECT_EQ(u.err, usage);
}

// When the terminal's input ends, unsaved text is kept in a new file beside
// the original (never over it, nor over an earlier rescue) and the run ends
// with status 3; without changes the run just ends.
TEST(Startup, LostTerminalKeepsUnsavedTextInAFileOfItsOwn) {
    suite_testing::TempTree tree;
    std::string rc = tree.file("kwed.rc", "quit ^Q\n");
    std::string file = tree.file("notes.txt", "one\ntwo\n");
    RunOptions options;
    options.env = {{"TERM", "xterm"}, {"HOME", tree.root()}};
    options.timeout_seconds = 30;
    // The first key (^L here) only closes the help panel of the start.
    std::string input;
    auto typed = [&](std::string_view keys) {
        input = "\f" + std::string(keys);
        options.input = input;
        return run({KWED_PATH, "-f", rc, file}, options);
    };

    auto r = typed("abc");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err,
              "kwed: the terminal went away; the unsaved text was kept in " + file + ".save\n");
    EXPECT_EQ(tree.read("notes.txt.save"), "abcone\ntwo\n");
    EXPECT_EQ(tree.read("notes.txt"), "one\ntwo\n");

    r = typed("xyz");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(tree.read("notes.txt.save"), "abcone\ntwo\n");
    EXPECT_EQ(tree.read("notes.txt.save1"), "xyzone\ntwo\n");

    // Nothing changed: a normal end, and no further file.
    r = typed("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(access(tree.path("notes.txt.save2").c_str(), F_OK), 0);
}

} // namespace
