// The program's signal dispositions, the signals that wait, and their
// delivery into the program.
#include "program_signals.h"
#include "guest_memory.h"
#include "tavi.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <span>

namespace taviemu {

namespace {

// Read by signal handlers: lock-free atomics only.
std::array<std::atomic<uint16_t>, kSignalCount> dispositions;
std::atomic<uint32_t> waiting{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uint16_t>::is_always_lock_free);

// Written and read outside signal handlers alone.
std::array<SignalFrame, kSignalCount> frames{};
uint32_t reserved = 0;
std::array<struct sigaction, kSignalCount> runner_actions{};

constexpr uint32_t bit(int sig) {
    return uint32_t{1} << sig;
}

bool is_handler(uint16_t disposition) {
    return disposition > kSignalIgnore;
}

void note_signal(int sig) {
    waiting.fetch_or(bit(sig));
}

// The table starts from what the runner inherited: a signal ignored by the
// caller is ignored by the program.
void read_inherited() {
    static bool done = false;
    if (done)
        return;
    done = true;
    for (int sig = 1; sig < kSignalCount; ++sig) {
        struct sigaction now {};
        if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN)
            dispositions[sig] = kSignalIgnore;
    }
}

int install(int sig, uint16_t disposition) {
    if (reserved & bit(sig))
        return 0;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = disposition == kSignalDefault  ? SIG_DFL
                        : disposition == kSignalIgnore ? SIG_IGN
                                                       : note_signal;
    return sigaction(sig, &action, nullptr) < 0 ? -errno : 0;
}

bool push_word(uint16_t value, uint32_t &linear) {
    vm86::Regs &r = tavi_cpu.regs;
    uint16_t sp = static_cast<uint16_t>(r.esp - 2);
    uint8_t *at = guest_bytes(r.ss, sp, 2);
    if (at == nullptr) {
        linear = static_cast<uint32_t>(r.ss) * 16 + sp;
        return false;
    }
    put16(at, value);
    r.esp = (r.esp & 0xFFFF0000) | sp;
    return true;
}

// Pushes the handler's frame, its deepest word first; nothing changes when a
// word does not fit.
bool enter_handler(int sig, uint16_t handler, uint32_t &linear) {
    vm86::Regs &r = tavi_cpu.regs;
    const uint16_t ip = static_cast<uint16_t>(r.eip), number = static_cast<uint16_t>(sig);
    const uint16_t interrupt[] = {static_cast<uint16_t>(r.eflags), r.cs, ip, number};
    const uint16_t near_call[] = {number, ip};
    std::span<const uint16_t> words = frames[static_cast<size_t>(sig)] == SignalFrame::interrupt
                                          ? std::span<const uint16_t>(interrupt)
                                          : std::span<const uint16_t>(near_call);
    const uint32_t sp = r.esp;
    for (uint16_t word : words) {
        if (!push_word(word, linear)) {
            r.esp = sp;
            return false;
        }
    }
    r.eip = handler;
    return true;
}

} // namespace

int set_program_signal(int sig, uint16_t disposition, SignalFrame frame) {
    if (sig < 1 || sig >= kSignalCount)
        return -EINVAL;
    read_inherited();
    if (int r = install(sig, disposition); r < 0)
        return r;
    frames[static_cast<size_t>(sig)] = frame;
    uint16_t previous = dispositions[sig].exchange(disposition);
    return previous > 0x7FFF ? 0x7FFF : previous;
}

bool program_signal_pending() {
    return waiting.load() != 0;
}

sigset_t program_caught_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig = 1; sig < kSignalCount; ++sig)
        if (is_handler(dispositions[sig]))
            sigaddset(&set, sig);
    return set;
}

bool deliver_program_signals(uint32_t &linear) {
    uint32_t due = waiting.exchange(0);
    for (int sig = 1; due != 0 && sig < kSignalCount; ++sig) {
        if ((due & bit(sig)) == 0)
            continue;
        due &= ~bit(sig);
        uint16_t disposition = dispositions[sig];
        if (disposition == kSignalDefault)
            raise(sig); // the host's disposition is the default again
        else if (is_handler(disposition) && !enter_handler(sig, disposition, linear))
            return false;
    }
    return true;
}

void forget_program_signals() {
    waiting = 0;
}

void reset_program_signals() {
    for (int sig = 1; sig < kSignalCount; ++sig) {
        if (is_handler(dispositions[sig])) {
            install(sig, kSignalDefault);
            dispositions[sig] = kSignalDefault;
        }
    }
    waiting = 0;
}

int reserve_signal(int sig, const struct sigaction &action) {
    read_inherited();
    if (sigaction(sig, &action, nullptr) < 0)
        return -errno;
    reserved |= bit(sig);
    runner_actions[static_cast<size_t>(sig)] = action;
    return 0;
}

bool program_takes_signal(int sig) {
    uint16_t disposition = dispositions[sig];
    if (disposition == kSignalDefault)
        return false;
    if (is_handler(disposition))
        note_signal(sig);
    return true;
}

void give_signals_to_host() {
    for (int sig = 1; sig < kSignalCount; ++sig) {
        if ((reserved & bit(sig)) == 0)
            continue;
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        action.sa_handler = dispositions[sig] == kSignalIgnore ? SIG_IGN : SIG_DFL;
        sigaction(sig, &action, nullptr);
    }
}

void take_signals_back() {
    for (int sig = 1; sig < kSignalCount; ++sig)
        if (reserved & bit(sig))
            sigaction(sig, &runner_actions[static_cast<size_t>(sig)], nullptr);
}

} // namespace taviemu
