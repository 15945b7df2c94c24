// The translators called directly, with the program's registers set by hand
// and its memory on the heap.
#include "guest_memory.h"
#include "process_numbers.h"
#include "tavi.h"
#include "tavi_syscall.h"
#include "temp_tree.h"
#include "test_area.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace taviemu;

namespace {

constexpr uint16_t kDs = 0x2000; // the data segment of a separate-layout program

// Puts the call in the registers and runs the tavi translator.
int call(uint16_t number, uint16_t bx = 0, uint16_t cx = 0, uint16_t dx = 0) {
    tavi_cpu.regs.eax = number;
    tavi_cpu.regs.ebx = bx;
    tavi_cpu.regs.ecx = cx;
    tavi_cpu.regs.edx = dx;
    return tavi_syscall();
}

class Pipe {
  public:
    Pipe() { EXPECT_EQ(pipe(fds_), 0); }
    ~Pipe() {
        close(fds_[0]);
        close(fds_[1]);
    }
    uint16_t in() const { return static_cast<uint16_t>(fds_[0]); }
    uint16_t out() const { return static_cast<uint16_t>(fds_[1]); }
    std::string drain() {
        char buf[256];
        fcntl(fds_[0], F_SETFL, O_NONBLOCK);
        ssize_t n = read(fds_[0], buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }

  private:
    int fds_[2];
};

struct Program : TestArea {
    Program() {
        tavi_cpu.regs.ds = tavi_cpu.regs.ss = tavi_data_segment = kDs;
        tavi_cpu.regs.esp = tavi_stack_start = 0x8000;
        tavi_bss_end = tavi_brk = 0x1000;
    }
    void put(uint16_t off, std::string_view text) {
        std::memcpy(at(kDs, off), text.data(), text.size());
    }
};

} // namespace

TEST(TaviCalls, TableIsSortedAndUnknownCallsGiveEnosys) {
    auto calls = tavi_calls();
    EXPECT_TRUE(
        std::is_sorted(calls.begin(), calls.end(),
                       [](const CallEntry &a, const CallEntry &b) { return a.number < b.number; }));
    Program program;
    for (uint16_t number : {0, 8, 9, 14, 46, 65, 0x8000, 0xFFFF})
        EXPECT_EQ(call(number), -ENOSYS) << number;
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
    EXPECT_EQ(call(4, p.out(), 0, 0xFFFF), 0xF000);
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
    for (uint16_t number : {13, 42})
        EXPECT_EQ(call(number, 0xFFFE), -EFAULT) << number;
    EXPECT_EQ(call(19, 0, 0xFFFE, SEEK_SET), -EFAULT);
    EXPECT_EQ(call(7, static_cast<uint16_t>(-1), 0xFFFF, 0), -EFAULT);
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
    EXPECT_EQ(call(63, static_cast<uint16_t>(out), static_cast<uint16_t>(copy)), copy);
    for (int fd : {in, out, copy})
        close(fd);
}

TEST(TaviCalls, TimeAndIdentity) {
    Program program;
    time_t before = time(nullptr);
    EXPECT_EQ(call(13, 0x600), 0);
    uint32_t got = get32(program.at(kDs, 0x600));
    EXPECT_GE(got, static_cast<uint32_t>(before));
    EXPECT_LE(got, static_cast<uint32_t>(time(nullptr)));
    EXPECT_EQ(call(13, 0), 0);
    EXPECT_EQ(host_process(static_cast<uint16_t>(call(20))), getpid());
    EXPECT_EQ(host_process(static_cast<uint16_t>(call(64))), getppid());
    EXPECT_EQ(call(24), static_cast<int>(getuid()));
    EXPECT_EQ(call(49), static_cast<int>(geteuid()));
    EXPECT_EQ(call(47), static_cast<int>(getgid()));
    EXPECT_EQ(call(50), static_cast<int>(getegid()));
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
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
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
    close(terminal);
    close(master);
}

TEST(TaviCalls, BrkGrowsUpToTheGapBelowSp) {
    Program program;
    std::memset(program.at(kDs, 0x1000), 0x77, 0x100);
    EXPECT_EQ(call(45, 0x1100), 0);
    EXPECT_EQ(*program.at(kDs, 0x1000), 0); // grown memory reads as zero
    EXPECT_EQ(*program.at(kDs, 0x10FF), 0);
    EXPECT_EQ(call(45, 0x8000 - 256 + 1), -ENOMEM);
    EXPECT_EQ(call(45, 0x8000 - 256), 0);
    EXPECT_EQ(tavi_brk, 0x8000u - 256);
    EXPECT_EQ(call(45, 0xFFF), -ENOMEM); // below the bss's end
    EXPECT_EQ(call(45, 0x1000), 0);      // shrinking back is fine
    EXPECT_EQ(tavi_brk, 0x1000u);
}

TEST(TaviCalls, ExecveRefusesWithoutTouchingTheProgram) {
    Program program;
    suite_testing::TempTree tree;
    program.put(0x200, tree.file("text", "not a program at all, but executable", 0755) + '\0');
    program.put(0x300, tree.path("missing") + '\0');
    program.put(0x400,
                tree.file("short", std::string("\x01\x03\x10\x04\x20\0\0\0", 8), 0755) + '\0');
    put16(program.at(kDs, 0x500), 0xFFFE); // an argument vector whose string has no end
    program.put(0xFFFE, "zz");
    std::vector<uint8_t> before = program.bytes();
    vm86::Regs regs = tavi_cpu.regs;
    EXPECT_EQ(call(11, 0x200, 0, 0), -ENOEXEC);
    EXPECT_EQ(call(11, 0x300, 0, 0), -ENOENT);
    EXPECT_EQ(call(11, 0x400, 0, 0), -ENOEXEC);
    EXPECT_EQ(call(11, 0x200, 0x500, 0), -EFAULT);
    EXPECT_EQ(program.bytes(), before);
    EXPECT_EQ(tavi_cpu.regs.esp, regs.esp);
    EXPECT_EQ(tavi_cpu.regs.ds, regs.ds);
    EXPECT_EQ(tavi_cpu.regs.eip, regs.eip);
}

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// Runs `body` in a child whose address space may grow by `headroom` bytes
// at most (not under the address sanitizer, whose shadow memory such a
// limit breaks); true when it returned true.
bool in_bounded_child(size_t headroom, bool (*body)()) {
    pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
        if (!kSanitized && (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0))
            _exit(2);
        try {
            _exit(body() ? 0 : 1);
        } catch (...) { // out of memory
            _exit(3);
        }
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

TEST(TaviCalls, ExecveRefusesListsTooLargeBeforeCopyingThem) {
    Program program;
    // One string of 32 KiB named 0x3F00 times: half a gigabyte if copied.
    program.put(0x50, "/nonexistent/prog\0");
    std::memset(program.at(kDs, 0x8000), 'a', 0x7FFE);
    for (uint16_t at = 0x100; at < 0x100 + 2 * 0x3F00; at += 2)
        put16(program.at(kDs, at), 0x8000);
    EXPECT_TRUE(in_bounded_child(64 << 20, [] { return call(11, 0x50, 0x100, 0) == -E2BIG; }));
    // The same string twice in the environment does not fit either.
    put16(program.at(kDs, 0x104), 0);
    EXPECT_EQ(call(11, 0x50, 0, 0x100), -E2BIG);
    // Once it does, and the file is looked for.
    put16(program.at(kDs, 0x102), 0);
    EXPECT_EQ(call(11, 0x50, 0x100, 0), -ENOENT);
}

namespace {

// A Minix message at DS:0x100: type, then the fields at their offsets.
void message(Program &program, uint16_t type,
             std::initializer_list<std::pair<int, uint16_t>> words) {
    std::memset(program.at(kDs, 0x100), 0, 24);
    put16(program.at(kDs, 0x102), type);
    for (auto [at, value] : words)
        put16(program.at(kDs, 0x100 + at), value);
}

int16_t reply_type(Program &program) {
    return static_cast<int16_t>(get16(program.at(kDs, 0x102)));
}

void minix(uint16_t function) {
    tavi_cpu.regs.eax = function;
    tavi_cpu.regs.ebx = 0x100;
    minix_syscall();
}

} // namespace

TEST(MinixCalls, WriteReadAndRegistersUntouched) {
    Program program;
    Pipe p;
    program.put(0x200, "minix");
    message(program, 4, {{4, p.out()}, {6, 5}, {10, 0x200}});
    tavi_cpu.regs.esi = 0x1234;
    vm86::Regs before = tavi_cpu.regs;
    before.eax = 3;
    before.ebx = 0x100;
    minix(3);
    EXPECT_EQ(std::memcmp(&before, &tavi_cpu.regs, sizeof before), 0);
    EXPECT_EQ(reply_type(program), 5);
    message(program, 3, {{4, p.in()}, {6, 50}, {10, 0x300}});
    minix(3);
    EXPECT_EQ(reply_type(program), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(program.at(kDs, 0x300))), "minix");
}

TEST(MinixCalls, OpenLseekBrkGetpidAndUnknown) {
    Program program;
    suite_testing::TempTree tree;
    program.put(0x200, tree.file("f", "abcdefgh") + '\0');
    message(program, 5, {{6, O_RDONLY}, {8, 0x200}}); // the m3 layout
    minix(3);
    int fd = reply_type(program);
    ASSERT_GE(fd, 0);
    message(program, 19, {{4, static_cast<uint16_t>(fd)}, {6, SEEK_SET}, {10, 6}});
    minix(3);
    EXPECT_EQ(reply_type(program), 0);
    EXPECT_EQ(get32(program.at(kDs, 0x10A)), 6u);
    message(program, 6, {{4, static_cast<uint16_t>(fd)}});
    minix(3);
    EXPECT_EQ(reply_type(program), 0);

    program.put(0x210, tree.path("new") + '\0');
    message(program, 5, {{6, O_WRONLY | O_CREAT}, {8, 0600}, {10, 0x210}}); // the m1 layout
    minix(3);
    EXPECT_GE(reply_type(program), 0);
    close(reply_type(program));
    EXPECT_EQ(tree.read("new"), "");

    message(program, 17, {{10, 0x2000}});
    minix(3);
    EXPECT_EQ(reply_type(program), 0);
    EXPECT_EQ(get16(program.at(kDs, 0x112)), 0x2000);
    message(program, 17, {{10, 0xF000}});
    minix(3);
    EXPECT_EQ(reply_type(program), -ENOMEM);
    EXPECT_EQ(get16(program.at(kDs, 0x112)), 0x2000);

    message(program, 20, {});
    minix(3);
    EXPECT_EQ(host_process(static_cast<uint16_t>(reply_type(program))), getpid());
    EXPECT_EQ(host_process(get16(program.at(kDs, 0x104))), getppid());

    message(program, 99, {});
    minix(3);
    EXPECT_EQ(reply_type(program), -ENOSYS);
}

TEST(MinixCalls, SendAloneDoesNotReplyAndBadMessagesAreLeftAlone) {
    Program program;
    Pipe p;
    program.put(0x200, "s");
    message(program, 4, {{4, p.out()}, {6, 1}, {10, 0x200}});
    minix(1);
    EXPECT_EQ(reply_type(program), 4); // the message as it was
    EXPECT_EQ(p.drain(), "s");
    message(program, 4, {{4, p.out()}, {6, 1}, {10, 0x200}});
    minix(2);
    EXPECT_EQ(p.drain(), "");
    tavi_cpu.regs.eax = 3;
    tavi_cpu.regs.ebx = 0xFFF0; // the message would run past the segment
    minix_syscall();
    EXPECT_EQ(p.drain(), "");
    // A buffer past the segment: the reply says EFAULT, nothing is written.
    message(program, 4, {{4, p.out()}, {6, 0x20}, {10, 0xFFF0}});
    minix(3);
    EXPECT_EQ(reply_type(program), -EFAULT);
    EXPECT_EQ(p.drain(), "");
}
