// The real program's command line: every rejection shows the help text on
// standard error with status 1 and prints nothing; the bracket rule.
#include "run_program.h"
#include "temp_tree.h"
#include "test_child.h"

#include <fstream>
#include <gtest/gtest.h>
#include <vector>

using suite_testing::run;

namespace {

const char *const help = "-C   select by command name (brevic ps only accepts one)\n"
                         "-p   select by process ID (brevic ps only accepts one)\n"
                         "-A   all processes (same as ax)\n"
                         "-e   all processes (same as ax)\n"
                         "a    all processes w/ tty, including other users\n"
                         "x    processes w/o controlling ttys\n"
                         "-f   full format\n"
                         "-j,j job control format\n"
                         "v    virtual memory format\n"
                         "-l,l long format\n"
                         "u    user-oriented format\n"
                         "-o   user-defined format (limited support, only \"ps -o pid=\")\n"
                         "h    no header\n"
                         "c    true command name\n"
                         "-w,w wide output\n";

long kernel_pid_ceiling() {
    long pid_max = 32768;
    std::ifstream("/proc/sys/kernel/pid_max") >> pid_max;
    return std::max(32767L, std::min(pid_max - 1, 4194303L));
}

} // namespace

TEST(BrevicCommandLine, RejectionsShowTheHelpText) {
    const std::string above = std::to_string(kernel_pid_ceiling() + 1);
    const std::vector<std::vector<std::string>> cases = {
        // unrecognised letters, empty argument, a lone dash
        {"-a"},
        {"-h"},
        {"-x"},
        {"-w"},
        {"w"},
        {"f"},
        {"e"},
        {"-aux"},
        {"k"},
        {"-"},
        {""},
        {"-e-"},
        {"a1"},
        {"-u"},
        // a second format
        {"-f", "-l"},
        {"jl"},
        {"-o", "pid=", "u"},
        {"-j", "j"},
        {"-o", "pid=", "-f"},
        {"-ff"},
        {"-o", "pid=", "-o", "pid="},
        // a second -C or process number
        {"-C", "a", "-C", "b"},
        {"-p", "1", "-p", "2"},
        {"1", "2"},
        {"-p", "1", "p", "2"},
        // missing or empty values
        {"-C"},
        {"-C", ""},
        {"-o"},
        {"-o", ""},
        {"-p"},
        {"-p", ""},
        {"p"},
        {"p", ""},
        // -o other than pid=
        {"-o", "pid"},
        {"-o", "pid=x"},
        {"-o", "comm="},
        {"-opid"},
        // bad process numbers
        {"-p", "12k"},
        {"-p", "0"},
        {"0"},
        {"-p", "-1"},
        {"-p", "abc"},
        {"-p", "0x"},
        {"-p", "08"},
        {"-p", "1.5"},
        {"-p", "5 "},
        {"-p", above},
        {above},
        {"-p", "99999999999999999999999"},
        // two kinds of selection
        {"-p", "1", "a"},
        {"-C", "sh", "x"},
        {"-e", "-C", "sh"},
        {"1", "-e"},
        {"-C", "sh", "5"},
        // counted twice
        {"-e", "a"},
        {"-A", "x"},
        {"xx"},
        {"-o", "pid=", "h"},
        {"-A", "-e"},
        {"cc"},
        {"hh"},
        {"a", "a"},
        {"-ee"}};
    for (auto args : cases) {
        std::string shown;
        for (const auto &a : args)
            shown += "'" + a + "' ";
        args.insert(args.begin(), BREVIC_PATH);
        const auto result = run(args);
        EXPECT_EQ(result.status, 1) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_EQ(result.err, help) << shown;
    }
}

TEST(BrevicCommandLine, CeilingAndLimitsAreAccepted) {
    const std::string ceiling = std::to_string(kernel_pid_ceiling());
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"-p", "32767"}, {"-p", ceiling}, {"-p", "0x10"}, {"-p", "010"}}) {
        const auto result = run({BREVIC_PATH, args[0], args[1]});
        EXPECT_EQ(result.err, "") << args[1];
        EXPECT_EQ(result.out.substr(0, 26), "  PID TTY         TIME CMD") << args[1];
    }
}

TEST(BrevicCommandLine, BracketRule) {
    test_child child({.name = "bracket-probe"});
    ASSERT_GT(child.pid(), 0);
    const std::string pid = child.pid_text();
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"-p", pid}, false},
        {{pid}, true},
        {{"p", pid}, true},
        {{"-f", "-p", pid}, true},
        {{"-j", "-p", pid}, false},
        {{"j", "-p", pid}, true},
        {{pid, "c"}, false},
        {{"-f", "c", "-p", pid}, false},
        {{"-C", "bracket-probe"}, false},
        {{"-C", "bracket-probe", "l"}, true}};
    for (auto [args, bracketed] : cases) {
        args.insert(args.begin(), BREVIC_PATH);
        const auto result = run(args);
        EXPECT_EQ(result.status, 0);
        const std::string tail = bracketed ? " [bracket-probe]\n" : " bracket-probe\n";
        EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail) << args[1];
    }
}

TEST(BrevicCommandLine, WriteFailureIsReported) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full here";
    const auto result = run({"/bin/sh", "-c", std::string(BREVIC_PATH) + " -e > /dev/full"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "brevic: standard output: No space left on device\n");
}

TEST(BrevicCommandLine, ProcThatCannotBeOpenedIsNamedWithTheReason) {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizer runtime reads /proc itself";
#endif
#endif
    suite_testing::TempTree tree;
    const std::string locked = tree.dir("locked", 0);
    // A private mount namespace hides /proc behind a locked folder for an
    // unprivileged run of the program.
    const std::string script = "mount --bind " + locked + " /proc || exit 99; exec setpriv " +
                               "--reuid=65534 --regid=65534 --clear-groups " + BREVIC_PATH + " -e";
    const auto result = run({"/usr/bin/unshare", "-m", "/bin/sh", "-c", script});
    if (result.status == 99 || result.err.rfind("unshare:", 0) == 0 || result.status > 1)
        GTEST_SKIP() << "no private mount namespace here: " << result.err;
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "brevic: /proc: Permission denied\n");
}
