// What the translator tests share: a program whose data segment is at 2000
// (the separate layout), its registers set by hand, and a pipe.
#pragma once

#include "guest_memory.h"
#include "tavi.h"
#include "test_area.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace taviemu_testing {

constexpr uint16_t kDs = 0x2000; // the data segment of a separate-layout program

// Puts the call in the registers and runs the tavi translator.
inline int call(uint16_t number, uint16_t bx = 0, uint16_t cx = 0, uint16_t dx = 0, uint16_t di = 0,
                uint16_t si = 0) {
    vm86::Regs &r = taviemu::tavi_cpu.regs;
    r.eax = number;
    r.ebx = bx;
    r.ecx = cx;
    r.edx = dx;
    r.edi = di;
    r.esi = si;
    return taviemu::tavi_syscall();
}

class Pipe {
  public:
    Pipe() { EXPECT_EQ(pipe(fds_), 0); }
    ~Pipe() {
        close(fds_[0]);
        close(fds_[1]);
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
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

// A pseudo-terminal: its master and its terminal side, open while the
// object lives; ok() says whether both could be opened.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
            terminal_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    }
    ~PseudoTerminal() {
        if (terminal_ >= 0)
            close(terminal_);
        if (master_ >= 0)
            close(master_);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;
    bool ok() const { return terminal_ >= 0; }
    int master() const { return master_; }
    int terminal() const { return terminal_; }

  private:
    int master_ = -1, terminal_ = -1;
};

struct Program : taviemu::TestArea {
    Program() {
        using namespace taviemu;
        tavi_cpu.regs.ds = tavi_cpu.regs.ss = tavi_data_segment = kDs;
        tavi_cpu.regs.esp = tavi_stack_start = 0x8000;
        tavi_bss_end = tavi_brk = 0x1000;
    }
    void put(uint16_t off, std::string_view text) {
        std::memcpy(at(kDs, off), text.data(), text.size());
    }
    // A NUL-terminated string at `off`.
    void put_string(uint16_t off, const std::string &text) { put(off, text + '\0'); }
    uint16_t word(uint16_t off) { return taviemu::get16(at(kDs, off)); }
    uint32_t dword(uint16_t off) { return taviemu::get32(at(kDs, off)); }
};

} // namespace taviemu_testing
