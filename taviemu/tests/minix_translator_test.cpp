// The Minix translator called directly, trapped into as the Minix library
// traps, on what its programs cannot reach: the exchange's own failures,
// the registers, the error numbers beyond Minix's, a directory read in
// pieces, cut names in the middle of a path, the terminal requests the
// library never sends or cannot see, and the signal frame word by word.
#include "call_fixture.h"
#include "inode_numbers.h"
#include "minix_calls.h"
#include "minix_errno.h"
#include "program_signals.h"
#include "temp_tree.h"

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace taviemu;
using namespace taviemu_testing;

namespace {

constexpr uint16_t kMessage = 0x100;
constexpr uint16_t kMM = 0, kFS = 1;

// A request at DS:0x100: its type, then words at their offsets.
void message(Program &program, uint16_t type,
             std::initializer_list<std::pair<uint32_t, uint16_t>> words) {
    std::memset(program.at(kDs, kMessage), 0, kMinixMessageSize);
    put16(program.at(kDs, kMessage + msg::m_type), type);
    for (auto [at, value] : words)
        put16(program.at(kDs, kMessage + at), value);
}

// The library's trap: AX the task, BX the message, CX the function; AX
// after it, the exchange's status.
int16_t trap(uint16_t task, uint16_t function = 3, uint16_t at = kMessage) {
    vm86::Regs &r = tavi_cpu.regs;
    r.eax = task;
    r.ebx = at;
    r.ecx = function;
    minix_syscall();
    return static_cast<int16_t>(r.eax);
}

int16_t reply(Program &program, uint32_t field = msg::m_type) {
    return static_cast<int16_t>(program.word(kMessage + field));
}

std::vector<uint8_t> read_all(Program &program, uint16_t fd, uint16_t piece) {
    std::vector<uint8_t> bytes;
    for (;;) {
        message(program, 3, {{msg::m1_i1, fd}, {msg::m1_i2, piece}, {msg::m1_p1, 0x400}});
        EXPECT_EQ(trap(kFS), 0);
        int got = reply(program);
        if (got <= 0)
            return bytes;
        bytes.insert(bytes.end(), program.at(kDs, 0x400), program.at(kDs, 0x400) + got);
    }
}

} // namespace

// Only a send-and-receive to one of the two servers, with a message inside
// the data segment, is carried out; the exchange's status is AX, and every
// other register stays as it was.
TEST(MinixTrap, OnlyBothToTheServersIsCarriedOut) {
    Program program;
    Pipe p;
    program.put(0x200, "m");
    struct Case {
        uint16_t task, function, at;
        int16_t status;
    } cases[] = {
        {kFS, 3, kMessage, 0},     {kMM, 3, kMessage, 0},  {2, 3, kMessage, -1},
        {0xFFFD, 3, kMessage, -1}, {kFS, 1, kMessage, -8}, {kFS, 2, kMessage, -8},
        {kFS, 4, kMessage, -9},    {kFS, 3, 0xFFF0, -5}, // the message would run past the segment
    };
    for (const Case &c : cases) {
        message(program, 4, {{msg::m1_i1, p.out()}, {msg::m1_i2, 1}, {msg::m1_p1, 0x200}});
        std::memcpy(program.at(kDs, 0xFFF0), program.at(kDs, kMessage), 16);
        tavi_cpu.regs.edx = 0x1111;
        tavi_cpu.regs.esi = 0x2222;
        tavi_cpu.regs.edi = 0x3333;
        tavi_cpu.regs.ebp = 0x4444;
        vm86::Regs before = tavi_cpu.regs;
        EXPECT_EQ(trap(c.task, c.function, c.at), c.status) << c.task << " " << c.function;
        before.eax = tavi_cpu.regs.eax;
        before.ebx = c.at;
        before.ecx = c.function;
        EXPECT_EQ(std::memcmp(&before, &tavi_cpu.regs, sizeof before), 0) << c.function;
        EXPECT_EQ(p.drain(), c.status == 0 ? "m" : "") << c.task << " " << c.function;
        EXPECT_EQ(reply(program), c.status == 0 ? 1 : 4); // the reply, or the request untouched
    }
}

TEST(MinixCalls, TableIsSortedAndTheHostStaysTheHosts) {
    auto calls = minix_calls();
    EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end(),
                               [](const auto &a, const auto &b) { return a.number < b.number; }));
    Program program;
    program.put_string(0x200, "/");
    // Numbers the library never sends, ptrace and the Amoeba calls; then
    // mount and umount.
    for (uint16_t number :
         {0, 11, 26, 31, 32, 34, 35, 44, 45, 49, 53, 56, 58, 62, 64, 68, 69, 70, 0xFFFF}) {
        message(program, number, {{4, 0x200}, {6, 0x200}, {8, 0x200}, {10, 0x200}, {12, 0x200}});
        EXPECT_EQ(trap(kMM), 0);
        EXPECT_EQ(reply(program), -ENOSYS) << number;
    }
    for (uint16_t number : {21, 22}) {
        message(program, number, {{4, 2}, {6, 2}, {8, 0x200}, {10, 0x200}, {12, 0x200}});
        EXPECT_EQ(trap(kFS), 0);
        EXPECT_EQ(reply(program), -EPERM) << number;
    }
}

// Errors 1 to 39 are the host's; every other reads as one of them.
TEST(MinixCalls, HostErrorsBeyondMinixReadAsItsOwn) {
    auto table = minix_error_table();
    EXPECT_TRUE(std::is_sorted(table.begin(), table.end(),
                               [](const auto &a, const auto &b) { return a.host < b.host; }));
    for (int host = 1; host < 256; ++host) {
        int minix = minix_errno(host);
        EXPECT_TRUE(minix >= 1 && minix <= kMinixErrors) << host;
        EXPECT_TRUE(host > kMinixErrors || minix == host) << host;
    }
    EXPECT_EQ(minix_errno(ELOOP), ENOENT);
    EXPECT_EQ(minix_errno(EOVERFLOW), EFBIG);
    EXPECT_EQ(minix_errno(EDQUOT), ENOSPC);
    EXPECT_EQ(minix_errno(200), EIO);
}

// The slots read the same in pieces of any size as at once, lseek counts
// in them, and a descriptor given anew reads its own folder from the start.
TEST(MinixDirectory, SlotsInPiecesAndBySeek) {
    Program program;
    suite_testing::TempTree tree;
    tree.file("folder/exactly14chars");
    tree.file("folder/a_name_longer_than_14");
    tree.file("other/x");
    program.put_string(0x200, tree.path("folder"));
    message(program, 5, {{msg::m3_i2, O_RDONLY}, {msg::m3_p1, 0x200}});
    ASSERT_EQ(trap(kFS), 0);
    uint16_t fd = static_cast<uint16_t>(reply(program));
    ASSERT_LT(fd, 20);
    std::vector<uint8_t> whole = read_all(program, fd, 512);
    ASSERT_EQ(whole.size(), 4u * 16); // ".", "..", the two files
    // Each slot's name (the long one cut, the one of 14 bytes without a
    // NUL) and the inode number of the file it names.
    std::vector<std::string> names;
    for (size_t at = 0; at < whole.size(); at += 16) {
        std::string name(reinterpret_cast<const char *>(&whole[at + 2]), 14);
        name.resize(strnlen(name.c_str(), 14));
        names.push_back(name);
        std::string host = name == "a_name_longer_" ? "a_name_longer_than_14" : name;
        struct stat status;
        ASSERT_EQ(lstat(tree.path("folder/" + host).c_str(), &status), 0) << name;
        EXPECT_EQ(get16(&whole[at]), inode_number(status.st_dev, status.st_ino)) << name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a_name_longer_", "exactly14chars"}));

    message(program, 19, {{msg::m2_i1, fd}, {msg::m2_i2, SEEK_END}});
    ASSERT_EQ(trap(kFS), 0);
    EXPECT_EQ(reply(program), 0);
    EXPECT_EQ(program.dword(kMessage + msg::m2_l1), whole.size());
    message(program, 19, {{msg::m2_i1, fd}, {msg::m2_i2, SEEK_SET}, {msg::m2_l1, 0}});
    ASSERT_EQ(trap(kFS), 0);
    EXPECT_EQ(read_all(program, fd, 5), whole);

    message(program, 6, {{msg::m1_i1, fd}});
    ASSERT_EQ(trap(kFS), 0);
    program.put_string(0x200, tree.path("other"));
    message(program, 5, {{msg::m3_i2, O_RDONLY}, {msg::m3_p1, 0x200}});
    ASSERT_EQ(trap(kFS), 0);
    ASSERT_EQ(reply(program), fd);
    EXPECT_EQ(read_all(program, fd, 16).size(), 3u * 16);
    close(fd);
}

// A cut component is found in any place of a path; of two longer names it
// may stand for, the folder's first; a 14-byte name of its own is kept.
TEST(MinixNames, CutComponentsFindTheirWholeName) {
    suite_testing::TempTree tree;
    tree.file("a_folder_of_long_name/file", "inside");
    tree.file("two_names_alike_1");
    tree.file("two_names_alike_2");
    tree.file("exactly14chars");
    tree.file("exactly14charsAndMore");
    EXPECT_EQ(whole_name(tree.path("a_folder_of_lo/file").c_str()),
              tree.path("a_folder_of_long_name/file"));
    EXPECT_EQ(whole_name((tree.path("a_folder_of_lo") + "//file").c_str()),
              tree.path("a_folder_of_long_name") + "//file");
    std::string first;
    DIR *folder = opendir(tree.root().c_str());
    while (const dirent *entry = readdir(folder))
        if (first.empty() && std::string_view(entry->d_name).starts_with("two_names_alike_"))
            first = entry->d_name;
    closedir(folder);
    EXPECT_EQ(whole_name(tree.path("two_names_alik").c_str()), tree.path(first));
    EXPECT_EQ(whole_name(tree.path("exactly14chars").c_str()), "");
    EXPECT_EQ(whole_name(tree.path("nothing_like14").c_str()), "");

    Program program;
    program.put_string(0x200, tree.path("a_folder_of_lo/file"));
    program.put_string(0x300, tree.path("a_folder_of_lo/moved"));
    message(program, 38, {{msg::m1_p1, 0x200}, {msg::m1_p2, 0x300}}); // rename
    ASSERT_EQ(trap(kFS), 0);
    EXPECT_EQ(reply(program), 0);
    EXPECT_EQ(tree.read("a_folder_of_long_name/moved"), "inside");
}

// On a terminal: a request the library does not make never reaches the
// host (0x5408 is the host's TCSETAF), speeds come as Minix codes and go
// back unchanged, a character the host has not set reads as 0377, and a
// descriptor past 19 is none of the program's.
TEST(MinixTerminal, RequestsOnAPseudoTerminal) {
    Program program;
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    int terminal = pty.terminal();
    termios settings;
    ASSERT_EQ(tcgetattr(terminal, &settings), 0);
    cfsetspeed(&settings, B38400);
    settings.c_cc[VEOL] = _POSIX_VDISABLE;
    ASSERT_EQ(tcsetattr(terminal, TCSANOW, &settings), 0);
    uint16_t fd = static_cast<uint16_t>(terminal);
    auto ioctl_call = [&](uint16_t request, uint32_t l1, uint32_t l2) {
        message(program, 54, {{msg::m2_i1, fd}, {msg::m2_i3, request}, {msg::m2_p1, 0x200}});
        put32(program.at(kDs, kMessage + msg::m2_l1), l1);
        put32(program.at(kDs, kMessage + msg::m2_l2), l2);
        EXPECT_EQ(trap(kFS), 0);
        return reply(program);
    };

    std::memset(program.at(kDs, 0x200), 0, 32);
    termios before, now;
    ASSERT_EQ(tcgetattr(terminal, &before), 0);
    EXPECT_EQ(ioctl_call(0x5408, 0, 0), -EINVAL);
    ASSERT_EQ(tcgetattr(terminal, &now), 0);
    EXPECT_EQ(now.c_iflag, before.c_iflag);
    EXPECT_EQ(now.c_oflag, before.c_oflag);
    EXPECT_EQ(now.c_lflag, before.c_lflag);
    EXPECT_EQ(std::memcmp(now.c_cc, before.c_cc, sizeof now.c_cc), 0);

    EXPECT_EQ(ioctl_call(0x7408, 0, 0), 0); // TIOCGETP
    uint32_t packed = program.dword(kMessage + msg::m2_l1);
    EXPECT_EQ(packed >> 16, 192u << 8 | 192); // 38400 baud reads as Minix's fastest
    uint32_t flags = program.dword(kMessage + msg::m2_l2);
    EXPECT_EQ(ioctl_call(0x7409, packed, flags), 0); // TIOCSETP as it was
    ASSERT_EQ(tcgetattr(terminal, &now), 0);
    EXPECT_EQ(cfgetospeed(&now), B38400);
    EXPECT_EQ(ioctl_call(0x7409, (12u << 8 | 12) << 16 | (packed & 0xFFFF), flags), 0);
    ASSERT_EQ(tcgetattr(terminal, &now), 0);
    EXPECT_EQ(cfgetospeed(&now), B1200);
    EXPECT_EQ(cfgetispeed(&now), B1200);

    EXPECT_EQ(ioctl_call(0x7412, 0, 0), 0); // TIOCGETC
    EXPECT_EQ(program.dword(kMessage + msg::m2_l2) & 0xFF, 0377u);
    uint32_t chars = program.dword(kMessage + msg::m2_l1);
    EXPECT_EQ(ioctl_call(0x7411, chars, 0x04FF), 0); // TIOCSETC, break character none
    ASSERT_EQ(tcgetattr(terminal, &now), 0);
    EXPECT_EQ(now.c_cc[VEOL], _POSIX_VDISABLE);
    EXPECT_EQ(now.c_cc[VEOF], 4);
    EXPECT_EQ(ioctl_call(0x7410, 0, 0), 0); // TIOCFLUSH

    ASSERT_EQ(dup2(terminal, 25), 25);
    fd = 25;
    EXPECT_EQ(ioctl_call(0x7408, 0, 0), -EBADF);
    close(25);
}

// A caught signal enters the catcher with the frame of an interrupt and the
// signal's number on top; Minix's numbers stop at 16.
TEST(MinixSignals, CatcherEnteredWithAnInterruptFrame) {
    Program program;
    constexpr uint16_t kCatcher = 0x1234;
    for (uint16_t bad : {0, 17, 0xFFFF}) {
        message(program, 48, {{msg::m6_i1, bad}, {msg::m6_f1, kCatcher}});
        EXPECT_EQ(trap(kMM), 0);
        EXPECT_EQ(reply(program), -EINVAL) << bad;
    }
    message(program, 48, {{msg::m6_i1, SIGUSR1}, {msg::m6_f1, 1}});
    EXPECT_EQ(trap(kMM), 0);
    EXPECT_EQ(reply(program), 0);
    message(program, 48, {{msg::m6_i1, SIGUSR1}, {msg::m6_f1, kCatcher}});
    EXPECT_EQ(trap(kMM), 0);
    EXPECT_EQ(reply(program), 1); // it was ignored before

    vm86::Regs &r = tavi_cpu.regs;
    r.cs = 0x1000;
    r.eip = 0x0456;
    r.eflags = 0x20A83; // the VM bit above the 16 the frame holds
    r.esp = 0x8000;
    raise(SIGUSR1);
    uint32_t linear = 0;
    ASSERT_TRUE(deliver_program_signals(linear));
    EXPECT_EQ(r.eip, kCatcher);
    EXPECT_EQ(r.esp, 0x8000u - 8);
    EXPECT_EQ(program.word(0x8000 - 8), SIGUSR1);
    EXPECT_EQ(program.word(0x8000 - 6), 0x0456);
    EXPECT_EQ(program.word(0x8000 - 4), 0x1000);
    EXPECT_EQ(program.word(0x8000 - 2), 0x0A83);
    message(program, 48, {{msg::m6_i1, SIGUSR1}, {msg::m6_f1, 0}});
    EXPECT_EQ(trap(kMM), 0);
    EXPECT_EQ(reply(program), 0);
}
