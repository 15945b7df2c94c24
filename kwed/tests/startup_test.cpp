// kwed's command line and the endings before and at the screen, run as a
// process without a terminal.
#include "kwed.h"
#include "run_program.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
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

// How a run on a terminal ended: its status, what it drew and its errors.
struct TerminalRun {
    int status = -1;
    std::string screen;
    std::string err;
};

// Reads what the terminal shows until it holds `until` (any output when
// empty), the program ends, or ten seconds pass; false when it did not
// show it.
bool readscreen(int master, std::string *screen, const std::string &until) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        if (!until.empty() && screen->find(until) != std::string::npos)
            return true;
        pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[4096];
        ssize_t got = read(master, buf, sizeof buf);
        if (got <= 0)
            return until.empty();
        screen->append(buf, static_cast<std::size_t>(got));
    }
    return false;
}

// Runs kwed on a terminal of its own (a pseudo-terminal of 80x24), its
// standard error to a pipe. Once the screen shows `shown`, the keys are
// typed; once it shows `until`, the terminal is closed, as closing its
// window would. Without `until` the run goes on to its end.
TerminalRun onterminal(const std::vector<std::string> &args,
                       const std::vector<std::pair<std::string, std::string>> &env,
                       const std::string &keys = "", const std::string &shown = "",
                       const std::string &until = "") {
    TerminalRun r;
    int errpipe[2];
    if (pipe(errpipe) != 0)
        return r;
    int master = -1;
    winsize size = {24, 80, 0, 0};
    pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        dup2(errpipe[1], 2);
        close(errpipe[0]);
        close(errpipe[1]);
        for (const auto &[name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char *> argv = {const_cast<char *>(KWED_PATH)};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(KWED_PATH, argv.data());
        _exit(127);
    }
    close(errpipe[1]);
    if (pid > 0) {
        if (!shown.empty() && readscreen(master, &r.screen, shown) && !keys.empty()) {
            EXPECT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
        }
        readscreen(master, &r.screen, until);
        close(master);
        int status = 0;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < end)
            usleep(20000);
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    char buf[4096];
    for (ssize_t got; (got = read(errpipe[0], buf, sizeof buf)) > 0;)
        r.err.append(buf, static_cast<std::size_t>(got));
    close(errpipe[0]);
    return r;
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

// A terminal that cannot be used, or one that cannot move the cursor
// (where a full screen cannot be drawn), ends the run before anything is
// read or written.
TEST(Startup, ATerminalThatCannotBeUsedEndsWithStatus3) {
    suite_testing::TempTree tree;
    std::string file = tree.file("f.txt", "text\n");
    struct {
        const char *term;
        const char *err;
    } cases[] = {
        {"no-such-terminal-kind", "kwed: Failed to initialise the screen: the terminal type "
                                  "no-such-terminal-kind is not known here.\n"},
        {"dumb", "kwed: the terminal dumb cannot move the cursor; kwed needs one that can.\n"},
    };
    for (const auto &c : cases) {
        // ncurses keeps a block of its own when it refuses a terminal, and
        // the program ends right there: that is no leak of the editor's.
        auto r = onterminal({file}, {{"TERM", c.term}, {"ASAN_OPTIONS", "detect_leaks=0"}});
        EXPECT_EQ(r.status, 3) << c.term;
        EXPECT_EQ(r.err, c.err) << c.term;
    }
    EXPECT_EQ(tree.read("f.txt"), "text\n");
}

// Keys come from the terminal: bytes from a pipe or a file are never taken
// for keys (^S among them would save), and nothing is read or written.
TEST(Startup, StandardInputThatIsNoTerminalIsRefused) {
    suite_testing::TempTree tree;
    std::string file = tree.file("victim.txt", "original\n");
    const std::string refused =
        "kwed: standard input is not a terminal; kwed reads its keys from one.\n";
    for (const std::vector<std::string> &args : {std::vector<std::string>{file}, {"-"}, {}}) {
        RunOptions options;
        options.input = "XXjunk\x13\x11y";
        options.cwd = tree.root();
        options.env = {{"TERM", "xterm"}, {"HOME", tree.root()}};
        auto r = kwed(args, options);
        EXPECT_EQ(r.status, 3) << args.size();
        EXPECT_EQ(r.err, refused);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(tree.read("victim.txt"), "original\n");
    EXPECT_NE(access(tree.path("victim.txt.save").c_str(), F_OK), 0);
    EXPECT_NE(access(tree.path("kwed.save1").c_str(), F_OK), 0);
    EXPECT_NE(access(tree.path("kwed.save").c_str(), F_OK), 0);
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
        auto r = onterminal({"-f", rc},
                            {{"TERM", "xterm"}, {"HOME", tree.root()}, {"ETCDIR", tree.root()}});
        EXPECT_EQ(r.status, 3) << c.text;
        EXPECT_EQ(r.err, "kwed: " + rc + ": " + c.message) << c.text;
    }
    // Not found anywhere: the name and where it was looked for.
    std::vector<std::pair<std::string, std::string>> env = {
        {"TERM", "xterm"}, {"HOME", tree.root()}, {"ETCDIR", tree.root()}};
    auto r = onterminal({"-f", "missing.rc"}, env);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "kwed: cannot open the run-control file missing.rc (looked in the current "
                     "folder, $HOME and the etc folder)\n");
    // After -f the next argument is the name, whatever it begins with.
    r = onterminal({"-f", "-x", "text"}, env);
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
    auto r = onterminal({"-f", rc}, {{"TERM", "xterm"}});
    EXPECT_EQ(r.status, 3);
    // The fault on line 3 replaces the text once more, naming the line.
    EXPECT_EQ(r.err, "kwed: " + rc + ": line 3: bad key text \"^1\".\n");
    tree.file("kwed.rc", ".message " + usage_id + " Aufruf: %s [Optionen] [Datei]\nquit ^Q\n");
    // The usage text comes before the key map is read: the built-in one.
    RunOptions options;
    options.env = {{"TERM", "xterm"}};
    auto u = kwed({"-f", rc, "-q"}, options);
    EXPECT_EQ(u.status, 2);
    EXPECT_EQ(u.err, usage);
}

// When the terminal goes away, unsaved text is kept in a new file beside
// the original (never over it, nor over an earlier rescue) and the run ends
// with status 3; without changes the run just ends.
TEST(Startup, LostTerminalKeepsUnsavedTextInAFileOfItsOwn) {
    suite_testing::TempTree tree;
    std::string rc = tree.file("kwed.rc", "quit ^Q\n");
    std::string file = tree.file("notes.txt", "one\ntwo\n");
    auto typed = [&](const std::string &keys) {
        return onterminal({"-f", rc, file}, {{"TERM", "xterm"}, {"HOME", tree.root()}}, keys,
                          "notes.txt", keys.empty() ? "notes.txt" : "[modified]");
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
