// The translators called directly, with the program's registers set by hand
// and its memory on the heap.
#include "call_fixture.h"
#include "guest_memory.h"
#include "process_numbers.h"
#include "tavi.h"
#include "tavi_syscall.h"
#include "temp_tree.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace taviemu;
using namespace taviemu_testing;

TEST(TaviCalls, TableIsSortedAndTheHostStaysTheHosts) {
    auto calls = tavi_calls();
    EXPECT_TRUE(
        std::is_sorted(calls.begin(), calls.end(),
                       [](const CallEntry &a, const CallEntry &b) { return a.number < b.number; }));
    Program program;
    program.put_string(0x100, "/");
    // Numbers the library never uses, the sockets, dlload and knlvsn; then
    // mount, umount and reboot, which touch nothing.
    for (uint16_t number : {0,  8,  13, 25, 26, 35, 44, 49, 51, 52,     53,    56,
                            65, 67, 69, 70, 71, 72, 73, 74, 75, 0x8000, 0xFFFF})
        EXPECT_EQ(call(number, 0x100, 0x100, 0x100), -ENOSYS) << number;
    for (uint16_t number : {21, 22, 55})
        EXPECT_EQ(call(number, 0x100, 0x100, 0x100), -EPERM) << number;
}

TEST(TaviCalls, ReadAndWriteThroughTheDataSegment) {
    Program program;
    Pipe p;
    program.put(0x100, "hello, world");
    EXPECT_EQ(call(4, p.out(), 0x100, 5), 5);
    EXPECT_EQ(call(3, p.in(), 0xFFFB, 5), 5); // ends exactly at the segment's end
    EXPECT_EQ(std::string(reinterpret_cast<char *>(program.at(kDs, 0xFFFB)), 5), "hello");
    EXPECT_EQ(call(4, 999, 0x100, 5), -EBADF);
    // A whole segment's worth is moved in parts, so the count stays
    // below the error range.
    EXPECT_EQ(call(4, p.out(), 0, 0xFFFF), 0x7FFF);
    std::vector<char> back(0x8000);
    ASSERT_EQ(read(p.in(), back.data(), back.size()), 0x7FFF);
    ASSERT_EQ(write(p.out(), back.data(), 0x8000), 0x8000);
    EXPECT_EQ(call(3, p.in(), 0, 0xFFFF), 0x7FFF);
}

TEST(TaviCalls, BadPointersGiveEfaultAndTouchNothing) {
    Program program;
    Pipe p;
    ASSERT_EQ(write(p.out(), "data", 4), 4);
    EXPECT_EQ(call(3, p.in(), 0xFFFC, 5), -EFAULT); // runs past the segment
    EXPECT_EQ(call(4, p.out(), 0xFFF0, 0x20), -EFAULT);
    // The whole buffer counts, not only the part one call moves.
    EXPECT_EQ(call(3, p.in(), 0x1000, 0xF001), -EFAULT);
    EXPECT_EQ(call(4, p.out(), 0x0100, 0xFFFF), -EFAULT);
    tavi_cpu.regs.ds = 0x3000; // outside the area
    EXPECT_EQ(call(4, p.out(), 0, 1), -EFAULT);
    tavi_cpu.regs.ds = 0x0F00; // starts below the area
    EXPECT_EQ(call(3, p.in(), 0xFF0, 0x20), -EFAULT);
    tavi_cpu.regs.ds = kDs;
    EXPECT_EQ(p.drain(), "data");
    for (uint8_t b : program.bytes())
        ASSERT_EQ(b, 0);

    // A name whose NUL is not inside the segment and the area.
    program.put(0xFFFC, "abcd");
    EXPECT_EQ(call(5, 0xFFFC, O_RDONLY), -EFAULT);
    EXPECT_EQ(call(10, 0xFFFC), -EFAULT);
    EXPECT_EQ(call(11, 0xFFFC), -EFAULT);
    EXPECT_EQ(call(19, 0, 0xFFFE, SEEK_SET), -EFAULT);
}

// Every structure a call fills or reads must lie inside the segment: one
// byte too few gives EFAULT, before the host is asked and with nothing of
// the program's memory written.
TEST(TaviCalls, StructuresPastTheSegmentGiveEfault) {
    Program program;
    Pipe p;
    program.put_string(0x100, "/");
    ASSERT_EQ(write(p.out(), "x", 1), 1);
    struct Case {
        uint16_t number, bx, cx, dx, di, si;
    };
    const uint16_t in = p.in(), none = static_cast<uint16_t>(-1);
    // Where a structure of `size` bytes runs one byte past the segment.
    auto past = [](uint32_t size) { return static_cast<uint16_t>(0x10001 - size); };
    const Case cases[] = {
        {7, none, past(2), 1, 0, 0},     // wait4: the status word
        {7, none, 0, 1, past(72), 0},    // wait4: the rusage
        {18, 0x100, past(30), 0, 0, 0},  // stat
        {28, in, past(30), 0, 0, 0},     // fstat
        {57, 0x100, past(30), 0, 0, 0},  // lstat
        {20, past(2), 0, 0, 0, 0},       // getpid: the parent's number
        {24, past(2), 0, 0, 0, 0},       // getuid: the effective ID
        {47, past(2), 0, 0, 0, 0},       // getgid
        {30, 0x100, past(8), 0, 0, 0},   // utime
        {42, past(4), 0, 0, 0, 0},       // pipe: two words
        {43, past(16), 0, 0, 0, 0},      // times: the tms
        {43, 0, past(4), 0, 0, 0},       // times: the tick count
        {50, in, 5, past(14), 0, 0},     // fcntl F_GETLK: the flock
        {54, in, 0x541B, past(2), 0, 0}, // ioctl FIONREAD: a word
        {59, 0x100, 0xFFF0, 0x11, 0, 0}, // readlink: the whole buffer
        {62, past(8), 0, 0, 0, 0},       // gettimeofday: the timeval
        {62, 0, past(4), 0, 0, 0},       // gettimeofday: the timezone
        {63, 17, past(4), 0, 0, 0},      // select: two words for 17 bits
        {63, 1, 0, 0, 0, past(8)},       // select: the timeval
        {64, in, past(266), 1, 0, 0},    // readdir: the dirent
        {11, 0x100, 0xFFF0, 0x11, 0, 0}, // execve: the whole block
    };
    program.put_string(0x200, "before");
    std::vector<uint8_t> before = program.bytes();
    for (const Case &c : cases)
        EXPECT_EQ(call(c.number, c.bx, c.cx, c.dx, c.di, c.si), -EFAULT) << c.number;
    EXPECT_EQ(program.bytes(), before);
    EXPECT_EQ(p.drain(), "x");
}

TEST(TaviCalls, OpenSeekCloseUnlink) {
    Program program;
    suite_testing::TempTree tree;
    std::string path = tree.file("f", "0123456789");
    program.put(0x200, path + '\0');
    int fd = call(5, 0x200, O_RDONLY);
    ASSERT_GE(fd, 0);
    put32(program.at(kDs, 0x300), static_cast<uint32_t>(-3));
    EXPECT_EQ(call(19, static_cast<uint16_t>(fd), 0x300, SEEK_END), 0);
    EXPECT_EQ(get32(program.at(kDs, 0x300)), 7u);
    EXPECT_EQ(call(3, static_cast<uint16_t>(fd), 0x400, 100), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(program.at(kDs, 0x400))), "789");
    EXPECT_EQ(call(6, static_cast<uint16_t>(fd)), 0);
    EXPECT_EQ(call(6, static_cast<uint16_t>(fd)), -EBADF);
    EXPECT_EQ(call(33, 0x200, R_OK), 0);
    EXPECT_EQ(call(10, 0x200), 0);
    EXPECT_EQ(call(5, 0x200, O_RDONLY), -ENOENT);
    EXPECT_EQ(call(33, 0x200, R_OK), -ENOENT);
}

TEST(TaviCalls, MkdirRmdirAndPipeAndDup) {
    Program program;
    suite_testing::TempTree tree;
    program.put(0x200, tree.path("d") + '\0');
    EXPECT_EQ(call(39, 0x200, 0755), 0);
    EXPECT_EQ(call(39, 0x200, 0755), -EEXIST);
    EXPECT_EQ(call(40, 0x200), 0);
    EXPECT_EQ(call(42, 0x500), 0);
    int in = get16(program.at(kDs, 0x500)), out = get16(program.at(kDs, 0x502));
    EXPECT_EQ(write(out, "x", 1), 1);
    int copy = call(41, static_cast<uint16_t>(in));
    ASSERT_GE(copy, 0);
    char c = 0;
    EXPECT_EQ(read(copy, &c, 1), 1);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(call(45, static_cast<uint16_t>(out), static_cast<uint16_t>(copy)), copy);
    for (int fd : {in, out, copy})
        close(fd);
}

// getpid, getuid and getgid give one value in AX and store the other at
// BX (the parent's number, the effective ID); BX 0 stores nothing.
TEST(TaviCalls, TwoValuesOfGetpidGetuidGetgid) {
    Program program;
    EXPECT_EQ(host_process(static_cast<uint16_t>(call(20, 0x600))), getpid());
    EXPECT_EQ(host_process(program.word(0x600)), getppid());
    EXPECT_EQ(call(24, 0x602), static_cast<int>(getuid()));
    EXPECT_EQ(program.word(0x602), geteuid());
    EXPECT_EQ(call(47, 0x604), static_cast<int>(getgid()));
    EXPECT_EQ(program.word(0x604), getegid());
    program.fill(0xAA);
    EXPECT_EQ(call(20, 0), call(20, 0x600));
    EXPECT_EQ(*program.at(kDs, 0), 0xAA);
}

TEST(TaviCalls, IoctlTellsAFileFromATerminal) {
    Program program;
    Pipe p;
    EXPECT_EQ(call(54, p.in(), 0x5401, 0x700), -ENOTTY);
    EXPECT_EQ(call(54, p.in(), 0x5401, 0xFFF0), -EFAULT);
    EXPECT_EQ(call(54, p.in(), 0x1234, 0), -EINVAL);
}

TEST(TaviCalls, IoctlCopiesTheTerminalsReplyAndNoMore) {
    Program program;
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    int terminal = pty.terminal();
    winsize size{24, 80, 0, 0};
    ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
    termios settings;
    ASSERT_EQ(tcgetattr(terminal, &settings), 0);
    std::memset(program.at(kDs, 0x700), 0xAA, 0x200);
    uint16_t fd = static_cast<uint16_t>(terminal);

    EXPECT_EQ(call(54, fd, 0x5413, 0x700), 0); // TIOCGWINSZ: 8 bytes
    EXPECT_EQ(get16(program.at(kDs, 0x700)), 24);
    EXPECT_EQ(get16(program.at(kDs, 0x702)), 80);
    EXPECT_EQ(*program.at(kDs, 0x708), 0xAA);
    EXPECT_EQ(call(54, fd, 0x5401, 0x800), 0); // TCGETS: the kernel's 36 bytes
    EXPECT_EQ(get32(program.at(kDs, 0x800)), settings.c_iflag);
    EXPECT_EQ(get32(program.at(kDs, 0x80C)), settings.c_lflag);
    EXPECT_EQ(*program.at(kDs, 0x800 + 36), 0xAA);
    EXPECT_EQ(call(54, fd, 0x5401, 0), 0); // only asks
    EXPECT_EQ(call(54, fd, 0x5401, 0xFFFF - 35 + 1), -EFAULT);
}

// The other requests the library makes, on a pseudo-terminal: settings,
// flushing, the bytes waiting, non-blocking reads, the process group as a
// process number, close-on-exec; and what a pipe answers.
TEST(TaviCalls, TerminalRequests) {
    Program program;
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    int master = pty.master(), terminal = pty.terminal();
    uint16_t fd = static_cast<uint16_t>(terminal);
    ASSERT_EQ(call(54, fd, 0x5401, 0x700), 0); // TCGETS
    put32(program.at(kDs, 0x70C), get32(program.at(kDs, 0x70C)) & ~uint32_t{ECHO | ICANON});
    for (uint16_t set : {0x5402, 0x5403, 0x5404}) { // TCSETS, TCSETSW, TCSETSF
        EXPECT_EQ(call(54, fd, set, 0x700), 0) << set;
        termios now;
        ASSERT_EQ(tcgetattr(terminal, &now), 0);
        EXPECT_EQ(now.c_lflag & (ECHO | ICANON), 0u) << set;
    }
    put16(program.at(kDs, 0x760), 7);
    put16(program.at(kDs, 0x762), 9);
    EXPECT_EQ(call(54, fd, 0x5414, 0x760), 0); // TIOCSWINSZ
    winsize size;
    ASSERT_EQ(ioctl(terminal, TIOCGWINSZ, &size), 0);
    EXPECT_EQ(size.ws_row, 7);
    EXPECT_EQ(size.ws_col, 9);
    EXPECT_EQ(call(54, fd, 0x5409, 1), 0);        // TCSBRK 1: drain
    EXPECT_EQ(call(54, fd, 0x540B, TCIFLUSH), 0); // TCFLSH
    EXPECT_EQ(call(54, fd, 0x540A, TCOON), 0);    // TCXONC
    ASSERT_EQ(write(master, "abc", 3), 3);
    usleep(20000);
    EXPECT_EQ(call(54, fd, 0x541B, 0x770), 0); // FIONREAD: a 16-bit int
    EXPECT_EQ(program.word(0x770), 3);
    put16(program.at(kDs, 0x772), 1);
    EXPECT_EQ(call(54, fd, 0x5421, 0x772), 0); // FIONBIO
    EXPECT_NE(fcntl(terminal, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(call(54, fd, 0x5451), 0); // FIOCLEX
    EXPECT_EQ(fcntl(terminal, F_GETFD), FD_CLOEXEC);
    EXPECT_EQ(call(54, fd, 0x5450), 0); // FIONCLEX
    EXPECT_EQ(fcntl(terminal, F_GETFD), 0);
    EXPECT_EQ(call(54, fd, 0x540F, 0x774), -ENOTTY); // TIOCGPGRP: not our terminal
    EXPECT_EQ(call(54, fd, 0x540C), -EINVAL);        // TIOCEXCL: not served
    Pipe p;
    EXPECT_EQ(call(54, p.in(), 0x5402, 0x700), -ENOTTY);
    EXPECT_EQ(call(54, p.out(), 0x541B, 0x770), 0);
}

// select's sets are nfds bits in 16-bit words; the bits past nfds read 0
// afterwards, and the timeval is taken as given.
TEST(TaviCalls, SelectOnWordSets) {
    Program program;
    Pipe p;
    uint16_t count = static_cast<uint16_t>(std::max(p.in(), p.out()) + 1);
    auto only = [&program](uint16_t at, int fd) {
        std::memset(program.at(kDs, at), 0xFF, 4);
        std::memset(program.at(kDs, at), 0, 2 * ((fd + 16) / 16));
        program.at(kDs, at)[fd / 8] = static_cast<uint8_t>(1 << (fd % 8));
    };
    put32(program.at(kDs, 0x800), 0);
    put32(program.at(kDs, 0x804), 50000); // 50 ms
    only(0x810, p.in());
    EXPECT_EQ(call(63, count, 0x810, 0, 0, 0x800), 0);
    EXPECT_EQ(program.at(kDs, 0x810)[p.in() / 8], 0);
    ASSERT_EQ(write(p.out(), "z", 1), 1);
    only(0x810, p.in());
    only(0x820, p.out());
    EXPECT_EQ(call(63, count, 0x810, 0x820, 0, 0x800), 2);
    EXPECT_EQ(program.at(kDs, 0x810)[p.in() / 8], 1 << (p.in() % 8));
    EXPECT_EQ(program.at(kDs, 0x820)[p.out() / 8], 1 << (p.out() % 8));
    put32(program.at(kDs, 0x804), 1100000); // a second and a tenth, as the host counts it
    timeval start, end;
    gettimeofday(&start, nullptr);
    EXPECT_EQ(call(63, 0, 0, 0, 0, 0x800), 0);
    gettimeofday(&end, nullptr);
    EXPECT_GE((end.tv_sec - start.tv_sec) * 1000000 + end.tv_usec - start.tv_usec, 1100000);
    EXPECT_EQ(call(63, static_cast<uint16_t>(-1)), -EINVAL);
}

// signal gives the previous disposition and sets the host's; kill takes
// only the system's signals.
TEST(TaviCalls, SignalDispositions) {
    Program program;
    constexpr uint16_t kHandler = 0x1234;
    EXPECT_EQ(call(48, SIGUSR2, kHandler), 0);
    EXPECT_EQ(call(48, SIGUSR2, 0x8123), kHandler);
    EXPECT_EQ(call(48, SIGUSR2, 1), 0x7FFF); // an offset that would read as an error
    struct sigaction now {};
    sigaction(SIGUSR2, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    EXPECT_EQ(call(48, SIGUSR2, 0), 1);
    sigaction(SIGUSR2, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    for (uint16_t bad : {0, 32, 0xFFFF})
        EXPECT_EQ(call(48, bad, kHandler), -EINVAL) << bad;
    EXPECT_EQ(call(48, SIGKILL, kHandler), -EINVAL);
    EXPECT_EQ(call(37, static_cast<uint16_t>(call(20)), 32), -EINVAL);
    EXPECT_EQ(call(37, static_cast<uint16_t>(call(20)), 0), 0);
}

TEST(TaviCalls, BrkGrowsUpToTheGapBelowSp) {
    Program program;
    std::memset(program.at(kDs, 0x1000), 0x77, 0x100);
    EXPECT_EQ(call(17, 0x1100), 0);
    EXPECT_EQ(*program.at(kDs, 0x1000), 0); // grown memory reads as zero
    EXPECT_EQ(*program.at(kDs, 0x10FF), 0);
    EXPECT_EQ(call(17, 0x8000 - 256 + 1), -ENOMEM);
    EXPECT_EQ(call(17, 0x8000 - 256), 0);
    EXPECT_EQ(tavi_brk, 0x8000u - 256);
    EXPECT_EQ(call(17, 0xFFF), -ENOMEM); // below the bss's end
    EXPECT_EQ(call(17, 0x1000), 0);      // shrinking back is fine
    EXPECT_EQ(tavi_brk, 0x1000u);
}

namespace {

// An execve block as the library builds it: argc, the argument offsets, 0,
// the environment's offsets, 0, then the strings; offsets from its start.
std::string exec_block(const std::vector<std::string> &args, const std::vector<std::string> &env) {
    std::string words, strings;
    uint16_t at = static_cast<uint16_t>(2 * (args.size() + env.size() + 3));
    auto word = [&words](size_t v) {
        words += static_cast<char>(v & 0xFF);
        words += static_cast<char>(v >> 8);
    };
    word(args.size());
    for (const auto *list : {&args, &env}) {
        for (const std::string &s : *list) {
            word(at + strings.size());
            strings += s + '\0';
        }
        word(0);
    }
    return words + strings;
}

} // namespace

TEST(TaviCalls, ExecveRefusesWithoutTouchingTheProgram) {
    Program program;
    suite_testing::TempTree tree;
    program.put_string(0x200, tree.file("text", "not a program at all, but executable", 0755));
    program.put_string(0x300, tree.path("missing"));
    program.put_string(0x400,
                       tree.file("short", std::string("\x01\x03\x10\x04\x20\0\0\0", 8), 0755));
    program.put_string(0x500, tree.dir("dir"));
    program.put_string(0x580, tree.file("plain", "\x01\x03\x10\x04", 0644));
    std::string block = exec_block({"prog", "arg"}, {"K=V"});
    program.put(0x600, block);
    uint16_t length = static_cast<uint16_t>(block.size());
    program.put(0xFFFE, "zz"); // a path without its NUL in the segment
    std::vector<uint8_t> before = program.bytes();
    vm86::Regs regs = tavi_cpu.regs;
    EXPECT_EQ(call(11, 0x200, 0x600, length), -ENOEXEC); // the host's answer
    EXPECT_EQ(call(11, 0x300, 0x600, length), -ENOENT);
    EXPECT_EQ(call(11, 0x400, 0x600, length), -ENOEXEC); // a tavi magic, a short header
    EXPECT_EQ(call(11, 0x500, 0x600, length), -EACCES);
    EXPECT_EQ(call(11, 0x580, 0x600, length), -EACCES);
    EXPECT_EQ(call(11, 0xFFFE, 0x600, length), -EFAULT);
    EXPECT_EQ(program.bytes(), before);
    EXPECT_EQ(tavi_cpu.regs.esp, regs.esp);
    EXPECT_EQ(tavi_cpu.regs.ds, regs.ds);
    EXPECT_EQ(tavi_cpu.regs.eip, regs.eip);
}

// The block must hold what it says, and fit the new program's stack; both
// are checked before anything of the running program changes.
TEST(TaviCalls, ExecveChecksItsBlock) {
    Program program;
    suite_testing::TempTree tree;
    // A tavi executable whose bss leaves 0xFFC bytes for the stack.
    std::string header(32, '\0');
    put32(reinterpret_cast<uint8_t *>(header.data()), kMagicCombined);
    header[4] = 32;
    header[8] = 4;
    put32(reinterpret_cast<uint8_t *>(header.data()) + 16, 0xF000);
    program.put_string(0x100, tree.file("big-bss", header + "\x90\x90\x90\x90", 0755));
    program.put_string(0x180, tree.path("missing"));
    std::string good = exec_block({"prog"}, {});
    auto with_word = [&good](size_t at, uint16_t value) {
        std::string b = good;
        b[at] = static_cast<char>(value & 0xFF);
        b[at + 1] = static_cast<char>(value >> 8);
        return b;
    };
    struct Case {
        std::string block;
        int result;
    };
    const Case cases[] = {
        {good, -ENOENT},                                      // sound: the file is looked for
        {"\x01", -EFAULT},                                    // no room for argc
        {with_word(0, 2), -EFAULT},                           // argc beyond the vectors
        {with_word(2, 0), -EFAULT},                           // an argument offset of 0
        {with_word(2, 0x40), -EFAULT},                        // an offset past the block
        {with_word(4, 8), -EFAULT},                           // arguments not ended by 0
        {good.substr(0, good.size() - 1), -EFAULT},           // a string without its NUL
        {exec_block({std::string(0x1000, 'a')}, {}), -E2BIG}, // more than the stack's room
    };
    for (const Case &c : cases) {
        program.put(0x400, c.block);
        uint16_t path = c.result == -E2BIG ? 0x100 : 0x180;
        EXPECT_EQ(call(11, path, 0x400, static_cast<uint16_t>(c.block.size())), c.result)
            << c.block.size();
    }
    EXPECT_EQ(tavi_cpu.regs.esp, 0x8000u);
}
