// The program's signal dispositions. A signal the program catches is caught
// by the runner too, with a handler that only notes it; the runner delivers
// it at the program's next return from virtual-8086 mode, entering the
// program's handler with the frame its system builds on the program's
// stack, execution going on at the handler in the program's CS, every
// other register and the flags as they were. Signals the program does not
// catch keep the host's dispositions.
#pragma once

#include <csignal>
#include <cstdint>

namespace taviemu {

constexpr int kSignalCount = 32; // the system's NSIG: signals 1 to 31
// The library's SIG_DFL and SIG_IGN; any other disposition is a handler's
// offset in CS.
constexpr uint16_t kSignalDefault = 0;
constexpr uint16_t kSignalIgnore = 1;

// The frame a handler is entered with, on the program's stack (SS:SP):
// `near_call`, the tavi system's, the signal number and then the IP to
// resume at, for a trampoline that returns with `ret 2`; `interrupt`,
// Minix's, the flags, CS and IP to resume at as an interrupt pushes them
// and then the signal number, for a catcher that drops the number and
// returns with `iret`.
enum class SignalFrame : uint8_t { near_call, interrupt };

// Sets the program's disposition of `sig` and the host's to match (a
// handler is caught without SA_RESTART, so that a blocking call ends with
// EINTR), a handler to be entered with `frame`. The previous disposition
// (a handler's offset of 0x8000 or more as 0x7FFF, so that it does not
// read as an error), or -errno.
int set_program_signal(int sig, uint16_t disposition, SignalFrame frame);
// Whether a signal the program catches waits to be delivered.
bool program_signal_pending();
// The signals the program catches, as a host set.
sigset_t program_caught_signals();
// Delivers every signal that waits: a caught one enters its handler, one
// the program has meanwhile set to SIG_IGN is dropped, and one set back to
// SIG_DFL takes the host's default action. False, with `linear` the
// address, when a frame would lie outside the program's memory.
bool deliver_program_signals(uint32_t &linear);
// A forked child starts with no signals waiting.
void forget_program_signals();
// Another program in this process: the caught signals go back to their
// default, the ignored ones stay ignored, as execve has it.
void reset_program_signals();

// A signal whose host handler the runner keeps for itself (SIGSEGV on the
// kernel's vm86 path, for the program's own faults): installs `action`.
// That handler hands the signals it does not take to `program_takes_signal`,
// which applies the program's disposition: true when that caught (noted)
// or ignored it, false when the default action is due. Safe in a signal
// handler.
int reserve_signal(int sig, const struct sigaction &action);
bool program_takes_signal(int sig);
// Around an exec of a host program: the reserved signals get the program's
// dispositions on the host, and the runner's handlers back when the exec
// failed.
void give_signals_to_host();
void take_signals_back();

} // namespace taviemu
