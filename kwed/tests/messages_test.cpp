// Message ids, the message line and the fatal ending.
#include "kwed.h"

#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Every test starts with an empty replacement table and leaves one.
class Messages : public ::testing::Test {
  protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        for (char *&entry : kwed::message)
            entry = nullptr;
    }
    static void replace(std::size_t n, const char *text) {
        kwed::message[n] = const_cast<char *>(text);
    }
};

TEST_F(Messages, BuiltInTextFollowsTheNumberAndOneSeparator) {
    EXPECT_STREQ(kwed::getmsg("5:File saved."), "File saved.");
    EXPECT_STREQ(kwed::getmsg("5 File saved."), "File saved.");
    EXPECT_STREQ(kwed::getmsg("5::two"), ":two");
    EXPECT_STREQ(kwed::getmsg("  12|x"), "x");
    EXPECT_STREQ(kwed::getmsg("-3:negative"), "negative");
    EXPECT_STREQ(kwed::getmsg("0x1F:hex"), "hex");
    EXPECT_STREQ(kwed::getmsg("abc"), "bc"); // no number: number 0
    EXPECT_STREQ(kwed::getmsg("7"), "");     // no separator, no text
    EXPECT_STREQ(kwed::getmsg("7:"), "");
    EXPECT_STREQ(kwed::getmsg(""), "");
    EXPECT_STREQ(kwed::getmsg(nullptr), "");
}

TEST_F(Messages, ReplacementEntryWinsByNumber) {
    EXPECT_STREQ(kwed::getmsg("5:File saved."), "File saved.");
    replace(5, "Gespeichert.");
    EXPECT_STREQ(kwed::getmsg("5:File saved."), "Gespeichert.");
    EXPECT_STREQ(kwed::getmsg("0x5:File saved."), "Gespeichert.");
    EXPECT_STREQ(kwed::getmsg("05:File saved."), "Gespeichert.");
    EXPECT_STREQ(kwed::getmsg("+5:File saved."), "Gespeichert.");
    EXPECT_STREQ(kwed::getmsg("6:Other."), "Other.");
    replace(8, "octal eight");
    EXPECT_STREQ(kwed::getmsg("010:ten?"), "octal eight");
    replace(0, "zero");
    EXPECT_STREQ(kwed::getmsg("abc"), "zero");
    EXPECT_STREQ(kwed::getmsg("-0:minus zero"), "zero");
    EXPECT_STREQ(kwed::getmsg("-5:negative"), "negative");
}

TEST_F(Messages, NumbersBeyondTheTableGiveTheBuiltInText) {
    std::string at_end = std::to_string(kwed::message_size) + ":past the table";
    EXPECT_STREQ(kwed::getmsg(at_end.c_str()), "past the table");
    EXPECT_STREQ(kwed::getmsg("99999999999999999999999:huge"), "huge");
    EXPECT_STREQ(kwed::getmsg("-99999999999999999999999:huge"), "huge");
    std::string last = std::to_string(kwed::message_size - 1) + ":last";
    replace(kwed::message_size - 1, "replaced last");
    EXPECT_STREQ(kwed::getmsg(last.c_str()), "replaced last");
}

TEST_F(Messages, ReplacementMustTakeTheSameArguments) {
    const char *id = "30:Line %d of %s.";
    replace(30, "Zeile %d von %s.");
    EXPECT_STREQ(kwed::getmsg(id), "Zeile %d von %s.");
    replace(30, "%-4d%%, %.20s");
    EXPECT_STREQ(kwed::getmsg(id), "%-4d%%, %.20s");
    for (const char *bad :
         {"%s %s", "%d", "%d %s %s", "%d %n", "%2$s %1$d", "%ld %s", "%d %s %", "%*d %s"}) {
        replace(30, bad);
        EXPECT_STREQ(kwed::getmsg(id), "Line %d of %s.") << bad;
    }
    replace(31, "No arguments %m here.");
    EXPECT_STREQ(kwed::getmsg("31:None."), "No arguments %m here.");
    replace(31, "100%% done");
    EXPECT_STREQ(kwed::getmsg("31:None."), "100%% done");
    replace(32, "%*s|");
    EXPECT_STREQ(kwed::getmsg("32:%*s."), "%*s|");
}

TEST_F(Messages, MsgFormatsIntoTheMessageLine) {
    kwed::msgflag = 0;
    kwed::msg("30:Line %d of %s.", 12, "notes.txt");
    EXPECT_STREQ(kwed::msgline, "Line 12 of notes.txt.");
    EXPECT_EQ(kwed::msgflag, 1);
    replace(30, "%s: %d");
    kwed::msg("30:Line %d of %s.", 3, "x"); // the replacement does not fit
    EXPECT_STREQ(kwed::msgline, "Line 3 of x.");
    replace(30, "Zeile %d von %s");
    kwed::msg("30:Line %d of %s.", 3, "x");
    EXPECT_STREQ(kwed::msgline, "Zeile 3 von x");
}

TEST_F(Messages, MsgCutsLongTextsToFit) {
    std::string longer(kwed::msgline_size * 2, 'x');
    kwed::msg("31:%s", longer.c_str());
    EXPECT_EQ(std::strlen(kwed::msgline), kwed::msgline_size - 1);

    // A cut never leaves half a UTF-8 character behind: with r bytes of
    // room after the a's, only whole three-byte euro signs stay.
    for (std::size_t r = 0; r < 7; ++r) {
        std::string text(kwed::msgline_size - 1 - r, 'a');
        for (int i = 0; i < 4; ++i)
            text += "\xe2\x82\xac";
        kwed::msg("31:%s", text.c_str());
        EXPECT_EQ(std::strlen(kwed::msgline), kwed::msgline_size - 1 - r + r / 3 * 3) << r;
    }
}

// How a child that called fatal ended: status and what it wrote.
struct Ending {
    int status = -1;
    std::string out;
    std::string err;
};

std::string drain(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        s.append(buf, static_cast<std::size_t>(n));
    return s;
}

template <class F> Ending run_child(F body) {
    int out[2];
    int err[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        body();
        _exit(99); // fatal returned
    }
    close(out[1]);
    close(err[1]);
    Ending e;
    e.out = drain(out[0]);
    e.err = drain(err[0]);
    close(out[0]);
    close(err[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    e.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return e;
}

TEST_F(Messages, FatalStatusByIdPointer) {
    kwed::prog_name = "kwed";
    Ending e = run_child([] { kwed::fatal(kwed::f_ok); });
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.err, "kwed: Terminated successfully.\n");
    EXPECT_EQ(e.out, "");

    e = run_child([] { kwed::fatal(kwed::f_error); });
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.err, "kwed: Unspecified error.\n");

    e = run_child([] { kwed::fatal(kwed::f_usage, "ignored", 42); });
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.err, "usage: kwed [-f rcfile | -frcfile] [+line] [--] [file]\n");

    e = run_child([] { kwed::fatal(kwed::f_initscr); });
    EXPECT_EQ(e.status, 3);
    EXPECT_EQ(e.err, "kwed: Failed to initialise the screen.\n");

    e = run_child([] { kwed::fatal(kwed::f_config, nullptr); });
    EXPECT_EQ(e.status, 3);
    EXPECT_EQ(e.err, "kwed: Problem with the run-control file.\n");

    e = run_child([] { kwed::fatal(kwed::f_alloc); });
    EXPECT_EQ(e.status, 3);
}

TEST_F(Messages, FatalFormatsOtherIdsWithTheProgramName) {
    kwed::prog_name = "ed2";
    Ending e = run_child([] { kwed::fatal("40:%s, line %d: unknown command.\n", "kwed.rc", 7); });
    EXPECT_EQ(e.status, 3);
    EXPECT_EQ(e.err, "ed2: kwed.rc, line 7: unknown command.\n");
    // No newline is added to a text without one.
    e = run_child([] { kwed::fatal("41:bare"); });
    EXPECT_EQ(e.err, "ed2: bare");
    kwed::prog_name = "kwed";
}

TEST_F(Messages, FatalKnowsTheIdsByPointerNotByText) {
    static std::string same_text;
    same_text = kwed::f_usage;
    Ending e = run_child([] { kwed::fatal(same_text.c_str(), "x"); });
    EXPECT_EQ(e.status, 3);
    EXPECT_EQ(e.err, "kwed: usage: x [-f rcfile | -frcfile] [+line] [--] [file]\n");

    // A replacement text keeps the id's status.
    replace(1, "Bye.\n");
    e = run_child([] { kwed::fatal(kwed::f_ok); });
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.err, "kwed: Bye.\n");
    replace(3, "Aufruf: %s [datei]\n");
    e = run_child([] { kwed::fatal(kwed::f_usage); });
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.err, "Aufruf: kwed [datei]\n");
}

// With curses running on a terminal, fatal first hands the screen back:
// the message comes after the terminal has left the full-screen mode,
// on a line of its own.
TEST_F(Messages, FatalClosesTheScreenFirst) {
    int master = -1;
    int slave = -1;
    struct winsize ws {};
    ws.ws_row = 24;
    ws.ws_col = 80;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &ws), 0);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        close(master);
        dup2(slave, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        if (newterm("xterm", stdout, stdin) == nullptr)
            _exit(98);
        mvaddstr(2, 5, "screen text");
        refresh();
        kwed::fatal(kwed::f_initscr);
    }
    close(slave);
    std::string tty;
    char buf[4096];
    for (;;) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0)
            break;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0)
            break; // EIO once the child has gone
        tty.append(buf, static_cast<std::size_t>(n));
    }
    close(master);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), 3);

    const std::string smcup = "\x1b[?1049h";
    const std::string rmcup = "\x1b[?1049l";
    const std::string text = "kwed: Failed to initialise the screen.\r\n";
    std::size_t at_text = tty.find(text);
    ASSERT_NE(at_text, std::string::npos) << tty;
    EXPECT_EQ(at_text + text.size(), tty.size()); // the message comes last
    EXPECT_LT(tty.find(smcup), tty.find("screen text"));
    std::size_t at_rmcup = tty.rfind(rmcup);
    ASSERT_NE(at_rmcup, std::string::npos);
    EXPECT_LT(at_rmcup, at_text);
    EXPECT_EQ(tty.substr(at_text - 2, 2), "\r\n"); // the newline to standard output
    // Before leaving, the cursor went to the start of the last line.
    std::string before = tty.substr(0, at_rmcup);
    EXPECT_NE(before.find("\x1b[24;1H"), std::string::npos) << before;
}

TEST_F(Messages, FatalBeforeCursesWritesOnlyTheMessage) {
    ASSERT_EQ(curscr, nullptr);
    Ending e = run_child([] { kwed::fatal(kwed::f_error); });
    EXPECT_EQ(e.out, "");
    EXPECT_EQ(e.err, "kwed: Unspecified error.\n");
}

} // namespace
