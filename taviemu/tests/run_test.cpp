// End-to-end runs of taviemu on 16-bit programs written in nasm (built into
// PROGRAM_DIR by tavi_add_program).
#include "program_runs.h"
#include "temp_tree.h"

#include <csignal>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
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
    r = run({TAVIEMU_PATH, program("exec"), program("status"), "9"});
    EXPECT_EQ(r.status, 9);
    r = run({TAVIEMU_PATH, program("exec"), "/nonexistent/prog"});
    EXPECT_EQ(r.out, "execve: fffe\n"); // -ENOENT
    EXPECT_EQ(r.status, 3);
    TempTree tree;
    r = run({TAVIEMU_PATH, program("exec"), tree.file("script", "#!/bin/sh\n", 0755)});
    EXPECT_EQ(r.out, "execve: fff8\n"); // -ENOEXEC
    EXPECT_EQ(r.status, 3);
}

TEST(Translators, BadPointersGiveEfault) {
    auto r = run({TAVIEMU_PATH, program("efault")}, "input");
    EXPECT_EQ(r.out, "fff2\nfff2\nfff2\nfff2\nfff2\nfff2\nffda\nffe7\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Translators, MinixMessages) {
    TempTree tree;
    tree.file("f", "0123456789\n");
    auto r = run({TAVIEMU_PATH, program("minix"), tree.path("f")});
    EXPECT_EQ(r.out, "hello from minix\n0123456789\n0002\n234\n0000\n00000200\npid ok\n");
    EXPECT_EQ(r.status, 5);
}

// --- Identity ---

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
