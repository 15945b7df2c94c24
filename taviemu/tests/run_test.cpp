// End-to-end runs of taviemu on 16-bit programs written in nasm (built into
// PROGRAM_DIR by tavi_add_program).
#include "peer_program.h"
#include "program_runs.h"
#include "temp_tree.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

using suite_testing::run;
using suite_testing::RunOptions;
using suite_testing::TempTree;
using taviemu_testing::only_env;
using taviemu_testing::program;

namespace {

std::string image_of(const std::string &name) {
    TempTree reader;
    return reader.read(program(name));
}

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s += static_cast<char>(b);
    return s;
}

// True when this kernel carries out vm86 calls itself (a 32-bit kernel with
// the call): a null record then faults instead of answering ENOSYS.
bool kernel_runs_vm86() {
#ifdef SYS_vm86old
    return syscall(SYS_vm86old, nullptr) == -1 && errno != ENOSYS;
#else
    return false;
#endif
}

} // namespace

// --- Start-up and loading ---

TEST(Start, NoArgumentsPrintsTheUsage) {
    auto r = run({TAVIEMU_PATH});
    EXPECT_EQ(r.err, "taviemu cmd args.....\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
}

TEST(Start, FileChecksReportThePath) {
    TempTree tree;
    std::string plain = tree.file("plain", image_of("echo"), 0644);
    auto r = run({TAVIEMU_PATH, plain});
    EXPECT_EQ(r.err, plain + ": Permission denied\n");
    EXPECT_EQ(r.status, 1);
    r = run({TAVIEMU_PATH, tree.path("missing")});
    EXPECT_EQ(r.err, tree.path("missing") + ": No such file or directory\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Start, BadHeadersAreNotTaviBinaries) {
    TempTree tree;
    std::string good = image_of("echo");
    std::vector<std::string> bad = {good.substr(0, 31), ""};
    for (int at : {4, 5, 6, 7}) {
        std::string b = good;
        b[at] = at == 4 ? 33 : 1;
        bad.push_back(b);
    }
    std::string magic = good;
    magic[2] = 0x30;
    bad.push_back(magic);
    bad.push_back(good.substr(0, good.size() - 1)); // data shorter than the header says
    std::string text = good;
    text[9] = 1; // text 256 bytes larger than the file
    bad.push_back(text);
    text[10] = 1; // and too large for its segment as well
    bad.push_back(text);
    for (size_t i = 0; i < bad.size(); ++i) {
        auto r = run({TAVIEMU_PATH, tree.file("bad" + std::to_string(i), bad[i], 0755)});
        EXPECT_EQ(r.err, "Not a tavi binary.\n") << "case " << i;
        EXPECT_EQ(r.out, "") << "case " << i;
        EXPECT_EQ(r.status, 1) << "case " << i;
    }
}

TEST(Start, RefusesWhatDoesNotFit) {
    TempTree tree;
    std::string big = image_of("echo");
    big[10] = 1;                         // text size + 0x10000
    big += std::string(0x10000, '\x90'); // all of it in the file
    auto r = run({TAVIEMU_PATH, tree.file("big", big, 0755)});
    EXPECT_EQ(r.err, "Tavi binary too large for its segments.\n");
    EXPECT_EQ(r.status, 1);
    r = run({TAVIEMU_PATH, program("echo"), std::string(70000, 'a')});
    EXPECT_EQ(r.err, "Arguments and environment too large for tavi memory.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
}

TEST(Start, StackBlockAndRegistersCombined) {
    // The path is seven bytes long, as "/x/prog" is: the block is 20 bytes.
    TempTree tree;
    tree.file("xx/prog", image_of("regs"), 0755);
    ASSERT_NE(image_of("regs")[20], 0); // an entry field that must be ignored
    RunOptions options = only_env({});
    options.cwd = tree.root();
    auto r = run({TAVIEMU_PATH, "xx/prog", "a"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.signal, 0);
    std::string line = "cs=1000 ds=1000 es=1000 ss=1000 sp=ffec\n";
    EXPECT_EQ(r.out.substr(0, line.size()), line);
    EXPECT_EQ(r.out.substr(line.size()),
              bytes({2, 0, 0xF6, 0xFF, 0xFE, 0xFF, 0, 0, 0, 0}) + std::string("xx/prog\0a\0", 10));
}

TEST(Start, StackBlockSeparateWithOddSp) {
    TempTree tree;
    tree.file("xx/prog", image_of("regs-separate"), 0755);
    RunOptions options = only_env({{"A", "12"}});
    options.cwd = tree.root();
    auto r = run({TAVIEMU_PATH, "xx/prog"}, options);
    EXPECT_EQ(r.status, 0);
    // 8 + 5 bytes of strings, one word each, three zero-or-count words: 23.
    std::string line = "cs=1000 ds=2000 es=2000 ss=2000 sp=ffe9\n";
    EXPECT_EQ(r.out.substr(0, line.size()), line);
    EXPECT_EQ(r.out.substr(line.size()), bytes({1, 0, 0xF3, 0xFF, 0, 0, 0xFB, 0xFF, 0, 0}) +
                                             std::string("xx/prog\0A=12\0", 13));
}

TEST(Start, AreaAlreadyInUse) {
    // The runner never replaces a mapping of its own: it stops instead.
    RunOptions options;
    options.env = {{"LD_PRELOAD", OCCUPY_AREA_PATH}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
    auto r = run({TAVIEMU_PATH, program("echo")}, options);
    EXPECT_EQ(r.err, "Tavi memory is at an illegal address\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 255);
}

TEST(Start, DataFollowsTheTextDirectly) {
    auto r = run({TAVIEMU_PATH, program("data123")});
    EXPECT_EQ(r.out, "0123\ndata after the text\n");
    EXPECT_EQ(r.status, 0);
}

// The area is the program's alone: it finds zeros past its image, at
// start-up and after an execve from a program that filled every free byte
// of its own.
TEST(Start, AreaPastTheImageIsZero) {
    auto r = run({TAVIEMU_PATH, program("clean")});
    EXPECT_EQ(r.out, "clean\n");
    EXPECT_EQ(r.status, 0);
    r = run({TAVIEMU_PATH, program("exec"), program("clean")});
    EXPECT_EQ(r.out, "clean\n");
    EXPECT_EQ(r.status, 0);
}

// Start-up takes memory as the program uses it: the area and the code
// cache are not filled beforehand, so a program that exits at once leaves
// the runner with few pages touched (it was over 800 when the cache was).
TEST(Start, ProgramThatExitsAtOnceTouchesFewPages) {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizers' runtime takes memory of its own";
#endif
#endif
    std::string status_program = program("status");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(TAVIEMU_PATH, TAVIEMU_PATH, status_program.c_str(), "0", nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
    EXPECT_EQ(status, 0);
    EXPECT_LT(usage.ru_minflt, 400);
}

// --- The run loop ---

TEST(RunLoop, UnservedInterruptEndsWithSigill) {
    auto r = run({TAVIEMU_PATH, program("int21")});
    EXPECT_EQ(r.out, "before\n");
    EXPECT_EQ(r.signal, SIGILL);
}

TEST(RunLoop, PortInstructionIsUnknown) {
    auto r = run({TAVIEMU_PATH, program("outport")});
    EXPECT_EQ(r.err, "VM86_UNKNOWN returned\n");
    EXPECT_EQ(r.status, 1);
}

// An exception has no instruction end to go on from: SIGILL, and when that
// does not end the runner, one line and status 1 instead of the same
// exception again for ever.
TEST(RunLoop, ExceptionEndsTheRunEvenWithSigillIgnored) {
    // The kernel's own path answers these with its trap signals (SIGFPE for
    // a divide error); the kernel stage checks that path.
    if (kernel_runs_vm86())
        GTEST_SKIP() << "the kernel carries out the vm86 call itself";
    for (auto [kind, place] : std::vector<std::pair<std::string, std::string>>{
             {"0", "0 at 1000:0020"}, {"6", "6 at 1000:0030"}, {"13", "13 at 1000:0040"}}) {
        auto r = run({TAVIEMU_PATH, program("exception"), kind});
        EXPECT_EQ(r.out, "before\n") << kind;
        EXPECT_EQ(r.signal, SIGILL) << kind;
        RunOptions ignored;
        ignored.timeout_seconds = 10;
        r = run({"/bin/sh", "-c", "trap '' ILL; exec \"$0\" \"$@\"", TAVIEMU_PATH,
                 program("exception"), kind},
                ignored);
        EXPECT_FALSE(r.timed_out) << kind;
        EXPECT_EQ(r.out, "before\n") << kind;
        EXPECT_EQ(r.err, "VM86 failed: exception " + place + "\n") << kind;
        EXPECT_EQ(r.status, 1) << kind;
    }
}

TEST(RunLoop, TrapFlagEndsTheRunnerWithSigtrap) {
    // The trap comes after the first instruction that is not a system call,
    // however SIGTRAP is disposed of.
    for (std::string disposition : {"", "trap '' TRAP; "}) {
        auto r = run(
            {"/bin/sh", "-c", disposition + "exec \"$0\" \"$@\"", TAVIEMU_PATH, program("trap")});
        EXPECT_EQ(r.out, "a") << disposition;
        EXPECT_EQ(r.signal, SIGTRAP) << disposition;
    }
}

TEST(RunLoop, AccessOutsideTheAreaEndsTheRunner) {
    // The same report whether the engine or the kernel ran the program.
    auto r = run({TAVIEMU_PATH, program("fault")});
    EXPECT_EQ(r.err, "VM86 failed: memory access outside the tavi area at 0x50010 (1000:0005)\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.signal, 0);
}

TEST(RunLoop, ResultInAxAndRegistersKept) {
    auto r = run({TAVIEMU_PATH, program("regcheck")});
    EXPECT_EQ(r.out, "seven!\nok\n");
    EXPECT_EQ(r.status, 0);
}

// --- The translators at work ---

TEST(RunLoop, CodeReadIntoMemoryRunsAsItNowStands) {
    // Each piece: mov al, c / ret, padded with nops; the same buffer every time.
    std::string input;
    for (char c : std::string("ABCA")) {
        std::string piece = bytes({0xB0, c, 0xC3});
        piece.resize(16, static_cast<char>(0x90));
        input += piece;
    }
    auto r = run({TAVIEMU_PATH, program("readcode")}, input);
    EXPECT_EQ(r.out, "ABCA");
    EXPECT_EQ(r.status, 0);
}

TEST(Translators, EchoOfArgumentsAndEnvironment) {
    for (std::string name : {"echo", "echo-separate"}) {
        auto r = run({TAVIEMU_PATH, program(name), "one", "two words", ""},
                     only_env({{"HOME", "/home/x"}, {"TERM", "dumb"}}));
        EXPECT_EQ(r.out, program(name) + "\none\ntwo words\n\nHOME=/home/x\nTERM=dumb\n");
        EXPECT_EQ(r.status, 0);
    }
}

TEST(Translators, CatOfStandardInput) {
    std::string input;
    for (int i = 0; i < 3000; ++i)
        input += "line " + std::to_string(i) + "\n";
    auto r = run({TAVIEMU_PATH, program("cat")}, input);
    EXPECT_EQ(r.out, input);
    EXPECT_EQ(r.status, 0);
    r = run({TAVIEMU_PATH, program("cat")}, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Translators, CopyOfAFile) {
    TempTree tree;
    std::string content;
    for (int i = 0; i < 5000; ++i)
        content += static_cast<char>(i * 7);
    tree.file("from", content);
    auto r = run({TAVIEMU_PATH, program("copy"), tree.path("from"), tree.path("to")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(tree.read("to"), content);
    struct stat st;
    ASSERT_EQ(stat(tree.path("to").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~0u);
    r = run({TAVIEMU_PATH, program("copy"), tree.path("none"), tree.path("to2")});
    EXPECT_EQ(r.status, 2);
}

TEST(Translators, ExitStatuses) {
    for (auto [arg, status] : std::vector<std::pair<std::string, int>>{
             {"0", 0}, {"1", 1}, {"42", 42}, {"255", 255}, {"300", 44}}) {
        auto r = run({TAVIEMU_PATH, program("status"), arg});
        EXPECT_EQ(r.status, status) << arg;
    }
}

TEST(Translators, BrkGrowthAndRefusal) {
    for (std::string name : {"brk", "brk-separate"}) {
        auto r = run({TAVIEMU_PATH, program(name)});
        EXPECT_EQ(r.out, "0000\n0000\nfff4\nfff4\nfff4\n0000\n") << name;
        EXPECT_EQ(r.status, 0);
    }
}

TEST(Translators, BrkIsTheLayoutsWhateverDsHolds) {
    auto r = run({TAVIEMU_PATH, program("brkds")});
    EXPECT_EQ(r.out, "0000\ntext intact\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Translators, ForkAndWaitpid) {
    auto r = run({TAVIEMU_PATH, program("fork")});
    EXPECT_EQ(r.out, "child\nparent: waited for the child, status 0700\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Translators, ExecveOfAnotherProgram) {
    auto r = run({TAVIEMU_PATH, program("exec"), program("echo"), "after", "exec"},
                 only_env({{"V", "1"}}));
    EXPECT_EQ(r.out, program("echo") + "\nafter\nexec\nV=1\n");
    EXPECT_EQ(r.status, 0);
    // A program that is no tavi executable goes to the host's execve; what
    // that refuses comes back to the program, which goes on.
    TempTree tree;
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status;
    };
    const Case cases[] = {
        {{program("status"), "9"}, "", 9},
        {{tree.file("script", "#!/bin/sh\necho \"script $1\"\nexit 6\n", 0755), "arg"},
         "script arg\n",
         6},
        {{"/nonexistent/prog"}, "execve: fffe\n", 3},                                 // ENOENT
        {{tree.file("garbage", "\x7f\x01\x02garbage\n", 0755)}, "execve: fff8\n", 3}, // ENOEXEC
        {{tree.file("text", "no execute bit\n", 0644)}, "execve: fff3\n", 3},         // EACCES
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv = {TAVIEMU_PATH, program("exec")};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        r = run(argv);
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_EQ(r.status, c.status) << c.args[0];
    }
}

// What an execve passes on: a tavi program starts without the descriptors
// marked close-on-exec and with its caught signals back at their default,
// the ignored ones still ignored; a host program gets the block's
// arguments and environment and none of the runner's descriptors.
TEST(Translators, ExecPassesOnWhatExecveKeeps) {
    auto r = run({TAVIEMU_PATH, program("exec"), program("probe"), "fds"});
    EXPECT_EQ(r.out, "8 closed\n9 open\noutlived SIGUSR2\n");
    EXPECT_EQ(r.signal, SIGUSR1);
    // The shell's builtins alone: a small system has no grep or ls. Of the
    // ignored signals (its caller may have ignored others), SIGUSR2 (12) and
    // SIGUSR1 (10) are looked at.
    r = run({TAVIEMU_PATH, program("exec"), "/bin/sh", "-c",
             "echo \"$0 $1 $K\"; "
             "while read -r name value; do [ \"$name\" = SigIgn: ] && ignored=0x$value; "
             "done < /proc/$$/status; "
             "echo \"USR2 $((ignored >> 11 & 1)) USR1 $((ignored >> 9 & 1))\"; "
             "for fd in 3 4 5 6 7 8 9 10; do [ -e /proc/$$/fd/$fd ] && echo \"fd $fd\"; done; :",
             "zero", "one"},
            only_env({{"K", "V"}}));
    // Of the descriptors past 2, only the program's 9.
    EXPECT_EQ(r.out, "zero one V\nUSR2 1 USR1 0\nfd 9\n");
    EXPECT_EQ(r.status, 0);
}

const std::string kProcessNumbersOut =
    "numbers agree\nkill 0000\nwait 000f\nkill fffd\nwait fff6\n"; // -ESRCH, -ECHILD

TEST(Translators, ProcessNumbersOfForkKillAndWaitpid) {
    RunOptions options;
    options.timeout_seconds = 10;
    auto r = run({TAVIEMU_PATH, program("procnum")}, options);
    EXPECT_EQ(r.out, kProcessNumbersOut);
    EXPECT_EQ(r.status, 0);
}

// Process IDs above 32767 and 65535: in a PID namespace whose next IDs are
// set, the runner itself (exec'd by the shell) or its child gets one.
TEST(Translators, ProcessNumbersStaySmallWhereIdsAreLarge) {
    if (geteuid() != 0 || access("/usr/bin/unshare", X_OK) != 0)
        GTEST_SKIP() << "needs root and unshare";
    RunOptions options;
    options.timeout_seconds = 10;
    for (std::string last : {"65535", "39999"}) {
        auto in_namespace = [&](const std::string &command, const std::string &name,
                                const std::string &arg) {
            std::string script = "echo 4194304 > /proc/sys/kernel/pid_max 2>/dev/null; echo " +
                                 last + " > /proc/sys/kernel/ns_last_pid && " + command +
                                 " \"$0\" \"$1\" \"$2\"";
            return run({"/usr/bin/unshare", "--pid", "--fork", "--kill-child", "--mount-proc",
                        "/bin/sh", "-c", script, TAVIEMU_PATH, program(name), arg},
                       options);
        };
        auto r = in_namespace("exec", "procnum", "");
        EXPECT_EQ(r.out, kProcessNumbersOut) << last;
        EXPECT_EQ(r.status, 0) << last;
        r = in_namespace("exec", "fork", "");
        EXPECT_EQ(r.out, "child\nparent: waited for the child, status 0700\n") << last;
        EXPECT_EQ(r.status, 0) << last;
        TempTree tree;
        r = in_namespace("", "minix", tree.file("f", "0123456789\n")); // the runner is a child
        EXPECT_EQ(r.out.substr(r.out.find("pid")), "pid ok\n") << last;
        EXPECT_EQ(r.status, 5) << last;
    }
}

TEST(Translators, BadPointersGiveEfault) {
    auto r = run({TAVIEMU_PATH, program("efault")}, "input");
    EXPECT_EQ(r.out, "fff2\nfff2\nfff2\nfff2\nfff2\nfff2\nffda\nffe7\n");
    EXPECT_EQ(r.status, 0);
}

// A handler the program registers is entered as the tavi system enters
// one, right after the call that was running, a blocking call answering
// -EINTR first; a loop without system calls gets its signal too; SIG_IGN
// drops a signal and SIG_DFL lets it end the program.
TEST(Signals, HandlersEnteredAsTheSystemEntersThem) {
    RunOptions options;
    options.timeout_seconds = 20;
    auto r = run({TAVIEMU_PATH, program("signal")}, options);
    EXPECT_EQ(r.out, "first signal() 0000\n"
                     "second signal() gives the handler ok\n"
                     "signal number 000a\n"
                     "resumes after the call ok\n"
                     "handler's AX 0000\n"
                     "AX after the handler ok\n"
                     "registers kept ok\n"
                     "flags kept ok\n"
                     "stack back ok\n"
                     "interrupted read fffc\n"
                     "handler's AX during read fffc\n"
                     "loop interrupted\n"
                     "pause fffc\n"
                     "ignored\n"
                     "previous disposition 0001\n");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, SIGUSR2);
}

TEST(Translators, MinixMessages) {
    TempTree tree;
    tree.file("f", "0123456789\n");
    auto r = run({TAVIEMU_PATH, program("minix"), tree.path("f")});
    EXPECT_EQ(r.out, "hello from minix\n0123456789\n0002\n234\n0000\n00000200\npid ok\n");
    EXPECT_EQ(r.status, 5);
}

// The two systems share the executable's magic: whichever system's program
// replaces itself by whichever other's, the interrupts the new one makes
// say what it is. A Minix program's exec of a host program goes to the
// host's execve, and what fails comes back to it as a Minix error.
TEST(Translators, ExecAcrossTheTwoSystems) {
    const std::string mchild = std::string(MINIX_PROGRAM_DIR) + "/mchild";
    auto options = only_env({{"V", "1"}});
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status;
    };
    const Case cases[] = {
        {{program("exec"), mchild, "echo", "from", "tavi"}, "from tavi\n", 0},
        {{program("minix_exec"), program("echo"), "after"}, program("echo") + "\nafter\nV=1\n", 0},
        {{program("minix_exec"), mchild, "exit", "7"}, "", 7},
        {{program("minix_exec"), "/bin/sh", "-c", "echo $0 $V", "sh"}, "sh 1\n", 0},
        {{program("minix_exec"), "/nonexistent/prog"}, "exec: fffe\n", 3}, // ENOENT
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv = {TAVIEMU_PATH};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = run(argv, options);
        EXPECT_EQ(r.out, c.out) << c.args[1];
        EXPECT_EQ(r.status, c.status) << c.args[1];
    }
}

// --- Identity ---

TEST(Identity, OnlyARegularFileRuns) {
    // As execve has it: a FIFO (which would block the open) or a directory
    // is not executable, at start-up or for the program's execve.
    TempTree tree;
    std::string fifo = tree.fifo("fifo", 0755);
    std::string dir = tree.dir("dir", 0755);
    RunOptions options;
    options.timeout_seconds = 10;
    for (const std::string &path : {fifo, dir}) {
        auto r = run({TAVIEMU_PATH, path}, options);
        EXPECT_EQ(r.err, path + ": Permission denied\n");
        EXPECT_EQ(r.status, 1);
        r = run({TAVIEMU_PATH, program("exec"), path}, options);
        EXPECT_EQ(r.out, "execve: fff3\n"); // -EACCES
        EXPECT_EQ(r.status, 3);
    }
}

TEST(Identity, SetUserIdRunsWithTheOwnersEffectiveId) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    TempTree tree;
    chmod(tree.root().c_str(), 0755);
    std::string suid = tree.file("suid", image_of("uid"), 0755);
    std::string sgid = tree.file("sgid", image_of("uid"), 0755);
    std::string plain = tree.file("plain", image_of("uid"), 0755);
    ASSERT_EQ(chown(suid.c_str(), 100, 100), 0);
    ASSERT_EQ(chmod(suid.c_str(), 04755), 0);
    ASSERT_EQ(chown(sgid.c_str(), 100, 100), 0);
    ASSERT_EQ(chmod(sgid.c_str(), 02755), 0);
    ASSERT_EQ(chown(plain.c_str(), 100, 100), 0);
    EXPECT_EQ(run({TAVIEMU_PATH, suid}).out, "uid=0 euid=100 gid=0 egid=0\n");
    EXPECT_EQ(run({TAVIEMU_PATH, sgid}).out, "uid=0 euid=0 gid=0 egid=100\n");
    EXPECT_EQ(run({TAVIEMU_PATH, plain}).out, "uid=0 euid=0 gid=0 egid=0\n");
    // execve takes on the new program's identity as start-up does.
    EXPECT_EQ(run({TAVIEMU_PATH, program("exec"), suid}).out, "uid=0 euid=100 gid=0 egid=0\n");
    // Without the privilege the caller's identity stays.
    if (access("/usr/bin/setpriv", X_OK) == 0) {
        auto r = run({"/usr/bin/setpriv", "--reuid=200", "--regid=200", "--clear-groups",
                      TAVIEMU_PATH, suid});
        EXPECT_EQ(r.out, "uid=200 euid=200 gid=200 egid=200\n") << r.err;
    }
}

namespace {

// A copy of the runner installed set-user-ID root in `tree`, as a system
// installs it to run set-ID programs.
std::string setuid_runner(TempTree &tree) {
    std::string runner = tree.file("bin/taviemu", tree.read(TAVIEMU_PATH), 0755);
    chmod(tree.root().c_str(), 0755);
    chmod(tree.path("bin").c_str(), 0755);
    EXPECT_EQ(chown(runner.c_str(), 0, 0), 0);
    EXPECT_EQ(chmod(runner.c_str(), 04755), 0);
    return runner;
}

// Runs `argv` as user and group 200 with no supplementary groups.
suite_testing::RunResult run_as_200(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=200", "--regid=200", "--clear-groups"});
    return run(argv);
}

bool can_switch_users() {
    return geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0 &&
           access("/usr/bin/unshare", X_OK) == 0;
}

} // namespace

TEST(Identity, SetIdBitsCountForNothingOnANosuidMount) {
    if (!can_switch_users())
        GTEST_SKIP() << "needs root, setpriv and unshare";
    TempTree tree;
    std::string mount = tree.dir("nosuid", 0755);
    std::string script = "mount -t tmpfs -o nosuid none \"$1\" && cp \"$2\" \"$1/p\" && "
                         "chown 100:100 \"$1/p\" && chmod 6755 \"$1/p\" && exec \"$0\" \"$1/p\"";
    auto r = run({"/usr/bin/unshare", "--mount", "/bin/sh", "-c", script, TAVIEMU_PATH, mount,
                  program("uid")});
    EXPECT_EQ(r.out, "uid=0 euid=0 gid=0 egid=0\n") << r.err;
    EXPECT_EQ(r.status, 0);
}

TEST(Identity, RefusedWhenItCannotBeTakenOn) {
    // In a user namespace that maps root alone, the owner of a set-user-ID
    // file has no ID the runner could take on: it would run as root.
    if (!can_switch_users())
        GTEST_SKIP() << "needs root, setpriv and unshare";
    TempTree tree;
    chmod(tree.root().c_str(), 0755);
    std::string suid = tree.file("suid", image_of("uid"), 0755);
    ASSERT_EQ(chown(suid.c_str(), 100, 100), 0);
    ASSERT_EQ(chmod(suid.c_str(), 04755), 0);
    auto r = run({"/usr/bin/unshare", "--user", "--map-root-user", TAVIEMU_PATH, suid});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "taviemu: cannot take on the program's identity: Invalid argument\n");
    EXPECT_EQ(r.status, 1);
    // An execve gets the refusal back, with the program intact.
    r = run({"/usr/bin/unshare", "--user", "--map-root-user", TAVIEMU_PATH, program("exec"), suid});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "execve: ffea\n"); // -EINVAL
    EXPECT_EQ(r.status, 3);
}

TEST(Identity, SetUserIdRunnerChecksTheFileItRuns) {
    // A symbolic link swapped between a program the caller may run and a
    // set-user-ID one he may not: the runner never runs the second.
    if (!can_switch_users())
        GTEST_SKIP() << "needs root, setpriv and unshare";
    TempTree tree;
    std::string runner = setuid_runner(tree);
    std::string plain = tree.file("plain", image_of("uid"), 0755);
    std::string secret = tree.file("secret", image_of("uid"), 0755);
    ASSERT_EQ(chown(secret.c_str(), 100, 100), 0);
    ASSERT_EQ(chmod(secret.c_str(), 04700), 0); // its owner's alone
    EXPECT_EQ(run_as_200({runner, plain}).out, "uid=200 euid=200 gid=200 egid=200\n");
    auto r = run_as_200({runner, secret});
    EXPECT_EQ(r.err, secret + ": Permission denied\n");
    EXPECT_EQ(r.status, 1);

    std::string link = tree.symlink(plain, "link");
    std::atomic<bool> done{false};
    std::thread swapper([&] {
        for (bool to_secret = true; !done; to_secret = !to_secret) {
            std::string next = tree.path("next");
            unlink(next.c_str());
            if (symlink((to_secret ? secret : plain).c_str(), next.c_str()) == 0)
                rename(next.c_str(), link.c_str());
        }
    });
    // About one run in thirty lost the race before the check moved to the
    // open file; a slow (sanitizer) build makes fewer runs in its time.
    int as_owner = 0, runs = 0;
    auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    for (; runs < 400 && std::chrono::steady_clock::now() < stop; ++runs)
        as_owner += run_as_200({runner, link}).out.find("euid=100") != std::string::npos;
    done = true;
    swapper.join();
    EXPECT_EQ(as_owner, 0) << "of " << runs << " runs";
}

namespace {

// Swaps `link` between symbolic links to each of `targets` in turn, as user
// and group 200, until killed; the swapping process.
pid_t swap_as_200(const std::string &link, const std::vector<std::string> &targets) {
    pid_t swapper = fork();
    if (swapper != 0)
        return swapper;
    if (setgroups(0, nullptr) != 0 || setgid(200) != 0 || setuid(200) != 0)
        _exit(1);
    std::string next = link + ".next";
    for (size_t i = 0;; ++i) {
        unlink(next.c_str());
        if (symlink(targets[i % targets.size()].c_str(), next.c_str()) == 0)
            rename(next.c_str(), link.c_str());
    }
}

// The opens inotify reported on the files `watch` watches.
int opens_seen(int watch) {
    alignas(struct inotify_event) char events[4096];
    int opens = 0;
    ssize_t got;
    while ((got = read(watch, events, sizeof events)) > 0) {
        for (char *at = events; at < events + got;) {
            auto *event = reinterpret_cast<struct inotify_event *>(at);
            opens += (event->mask & IN_OPEN) != 0;
            at += sizeof *event + event->len;
        }
    }
    return opens;
}

} // namespace

// Installed set-user-ID root, the runner looks the program's name up and
// opens it as the caller. A user who keeps swapping the name of his own
// program with links to a set-user-ID-root program and to a root-only file,
// both in a folder closed to him, never gets either run as root, nor even
// opened.
TEST(Identity, SetUserIdRunnerOpensAsTheCaller) {
    if (!can_switch_users())
        GTEST_SKIP() << "needs root, setpriv and unshare";
    TempTree tree;
    std::string runner = setuid_runner(tree);
    tree.dir("closed", 0700);
    std::string suid = tree.file("closed/suid", image_of("uid"), 0755);
    ASSERT_EQ(chmod(suid.c_str(), 04755), 0);
    std::string secret = tree.file("closed/secret", image_of("uid"), 0700);
    std::string home = tree.dir("home", 0755);
    std::string own = tree.file("home/own", image_of("uid"), 0755);
    std::string link = tree.symlink(own, "home/link");
    for (const std::string &path : {home, own})
        ASSERT_EQ(chown(path.c_str(), 200, 200), 0);
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, suid.c_str(), IN_OPEN), 0);
    ASSERT_GE(inotify_add_watch(watch, secret.c_str(), IN_OPEN), 0);

    pid_t swapper = swap_as_200(link, {own, suid, own, secret});
    int as_root = 0, as_caller = 0, runs = 0;
    auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    for (; runs < 400 && (runs < 20 || std::chrono::steady_clock::now() < stop); ++runs) {
        auto r = run_as_200({runner, link});
        as_root += r.out.find("euid=0 ") != std::string::npos;
        as_caller += r.out == "uid=200 euid=200 gid=200 egid=200\n";
    }
    kill(swapper, SIGKILL);
    waitpid(swapper, nullptr, 0);
    EXPECT_EQ(as_root, 0) << "of " << runs << " runs";
    EXPECT_EQ(opens_seen(watch), 0) << "of " << runs << " runs";
    EXPECT_GT(as_caller, 0) << "of " << runs << " runs"; // the swap did let some through
    close(watch);
}

// A runner installed set-user-ID root gave its privilege up for a plain
// program; when that program execs a set-user-ID program whose identity it
// can no longer take, the execve is refused and the program goes on, rather
// than the new program running with the caller's IDs. A runner never
// installed set-ID runs it with the caller's identity, as at start-up.
TEST(Identity, ExecOfAnIdentityTheRunnerCannotTakeIsRefused) {
    if (!can_switch_users())
        GTEST_SKIP() << "needs root, setpriv and unshare";
    TempTree tree;
    std::string runner = setuid_runner(tree);
    std::string exec = tree.file("exec", image_of("exec"), 0755);
    std::string suid = tree.file("suid", image_of("uid"), 0755);
    ASSERT_EQ(chown(suid.c_str(), 100, 100), 0);
    ASSERT_EQ(chmod(suid.c_str(), 04755), 0);
    auto r = run_as_200({runner, exec, suid});
    EXPECT_EQ(r.out, "execve: ffff\n"); // -EPERM
    EXPECT_EQ(r.status, 3);
    r = run_as_200({TAVIEMU_PATH, exec, suid});
    EXPECT_EQ(r.out, "uid=200 euid=200 gid=200 egid=200\n");
    EXPECT_EQ(r.status, 0);
}

namespace {

// Gives `file` the file capabilities `caps` in setcap's notation; false when
// the file system refuses them.
bool set_file_capabilities(const std::string &file, const std::string &caps) {
    return run({"/usr/sbin/setcap", caps, file}).status == 0;
}

} // namespace

// A runner installed with file capabilities, as distributions install one
// instead of set-user-ID root, is as privileged as their names say: for a
// set-ID program whose identity it cannot take it refuses, at start-up and
// at an execve, rather than run the program with the caller's IDs and its
// own capabilities; for any other program it gives them all up, so the
// program can neither become root nor read root's file.
TEST(Identity, RunnerWithFileCapabilitiesIsPrivileged) {
    if (!can_switch_users())
        GTEST_SKIP() << "needs root, setpriv and unshare";
    SUITE_REQUIRE_PROGRAMS("/usr/sbin/setcap");
    TempTree tree;
    std::string runner = tree.file("bin/taviemu", tree.read(TAVIEMU_PATH), 0755);
    chmod(tree.root().c_str(), 0755);
    chmod(tree.path("bin").c_str(), 0755);
    if (!set_file_capabilities(runner, "cap_setuid+ep"))
        GTEST_SKIP() << "file capabilities cannot be set here";
    // A host program given one shows that the kernel grants them here; else
    // the programs below could not gain them anyway.
    std::string cat = tree.file("bin/cat", tree.read("/bin/cat"), 0755);
    ASSERT_TRUE(set_file_capabilities(cat, "cap_setuid+ep"));
    if (run_as_200({cat, "/proc/self/status"}).out.find("CapEff:\t0000000000000080") ==
        std::string::npos)
        GTEST_SKIP() << "the kernel grants no file capabilities here";

    std::string secret = tree.file("secret", "root's", 0600);
    std::string plain = tree.file("plain", image_of("setuid"), 0755);
    std::string sgid = tree.file("sgid", image_of("setuid"), 0755);
    ASSERT_EQ(chown(sgid.c_str(), 0, 100), 0);
    ASSERT_EQ(chmod(sgid.c_str(), 02755), 0);
    std::string suid = tree.file("suid", image_of("uid"), 0755);
    ASSERT_EQ(chown(suid.c_str(), 100, 100), 0);
    ASSERT_EQ(chmod(suid.c_str(), 04755), 0);
    std::string exec = tree.file("exec", image_of("exec"), 0755);
    const std::string refused = "taviemu: cannot take on the program's identity: "
                                "Operation not permitted\n";
    struct Case {
        const char *caps;
        std::vector<std::string> args;
        std::string out, err;
        int status;
    } cases[] = {
        {"cap_setuid,cap_setgid+ep", {plain, secret}, "ffff fff3\n", "", 0},
        // The group of the set-group-ID program is one the runner cannot take.
        {"cap_setuid+ep", {sgid, secret}, "", refused, 1},
        {"cap_dac_override+ep", {sgid, secret}, "", refused, 1},
        {"cap_setuid,cap_setgid+ep", {exec, suid}, "execve: ffff\n", "", 3}, // -EPERM
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(set_file_capabilities(runner, c.caps));
        std::vector<std::string> argv{runner};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = run_as_200(argv);
        EXPECT_EQ(r.out, c.out) << c.caps << " " << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.caps << " " << c.args[0];
        EXPECT_EQ(r.status, c.status) << c.caps << " " << c.args[0];
    }
}
