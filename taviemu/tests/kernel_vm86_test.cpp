// A 32-bit taviemu asks the kernel's vm86 call first. A 64-bit kernel
// answers ENOSYS, and a kernel that withholds the call from the runner
// answers EPERM: the runner must then run the program on its engine, with
// the same results as a 64-bit runner, and not ask the kernel again. strace
// watches the calls.
#include "program_runs.h"
#include "temp_tree.h"

#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/utsname.h>
#include <utility>
#include <vector>

using suite_testing::run;
using suite_testing::TempTree;
using taviemu_testing::only_env;
using taviemu_testing::program;

namespace {

struct Case {
    std::vector<std::string> args; // the program and its arguments
    std::string out;               // what a 64-bit runner writes
    int status = 0;                // -1 when ended by a signal
    int signal = 0;
};

// The lines of strace's record that name a vm86 call.
std::vector<std::string> vm86_calls(const std::string &trace) {
    std::vector<std::string> calls;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);)
        if (line.find("vm86") != std::string::npos)
            calls.push_back(line);
    return calls;
}

bool kernel_is_64_bit() {
    struct utsname name;
    return uname(&name) == 0 && std::strcmp(name.machine, "x86_64") == 0;
}

// Runs taviemu (behind `wrapper` when one is given) under strace; the
// program's results and the vm86 calls strace saw.
std::pair<suite_testing::RunResult, std::vector<std::string>>
traced_run(const std::vector<std::string> &args, const std::string &wrapper = "") {
    TempTree tree;
    std::vector<std::string> argv = {
        STRACE_PATH, "-f", "-qq", "-e", "trace=vm86old,vm86", "-o", tree.path("trace")};
    if (!wrapper.empty())
        argv.push_back(wrapper);
    argv.push_back(TAVIEMU_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = run(argv, only_env({{"HOME", "/home/x"}, {"TERM", "dumb"}}));
    return {r, vm86_calls(tree.read("trace"))};
}

} // namespace

TEST(KernelVm86, TriedOnceThenTheEngineRunsTheProgram) {
    if (!kernel_is_64_bit())
        GTEST_SKIP() << "a 32-bit kernel may carry out the vm86 call itself";
    const std::vector<Case> cases = {
        {{program("echo"), "one", "two words", ""},
         program("echo") + "\none\ntwo words\n\nHOME=/home/x\nTERM=dumb\n"},
        {{program("regcheck")}, "seven!\nok\n"},
        {{program("status"), "42"}, "", 42},
        {{program("fork")}, "child\nparent: waited for the child, status 0700\n"},
        {{program("exec"), program("status"), "9"}, "", 9},
        {{program("int21")}, "before\n", -1, SIGILL},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[0]);
        auto [r, calls] = traced_run(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.signal, c.signal);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_NE(calls[0].find("vm86old("), std::string::npos) << calls[0];
        EXPECT_NE(calls[0].find("= -1 ENOSYS"), std::string::npos) << calls[0];
    }
}

TEST(KernelVm86, RefusedToTheRunnerTheEngineRunsTheProgram) {
    auto [r, calls] = traced_run({program("echo"), "refused"}, DENY_VM86_PATH);
    EXPECT_EQ(r.out, program("echo") + "\nrefused\nHOME=/home/x\nTERM=dumb\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].find("vm86old("), std::string::npos) << calls[0];
    EXPECT_NE(calls[0].find("= -1 EPERM"), std::string::npos) << calls[0];
}
