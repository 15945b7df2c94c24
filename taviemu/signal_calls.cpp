// The calls about signals: signal, alarm and pause (kill is with the
// process calls).
#include "program_signals.h"
#include "tavi_calls.h"

#include <unistd.h>

namespace taviemu {

int sys_signal(const CallArgs &a) {
    return set_program_signal(a.bx, a.cx);
}

// The seconds left of the alarm before, which the caller may have set
// longer than a result can say.
int sys_alarm(const CallArgs &a) {
    unsigned left = alarm(a.bx);
    return left > 0x7FFF ? 0x7FFF : static_cast<int>(left);
}

// Waits for a signal the program catches, which is then delivered as the
// call returns -EINTR. The caught signals are blocked while the runner
// looks whether one has come already, and sigsuspend opens them again only
// while it waits, so that none can come in between and be missed.
int sys_pause(const CallArgs &) {
    sigset_t caught = program_caught_signals(), before;
    sigprocmask(SIG_BLOCK, &caught, &before);
    if (!program_signal_pending())
        sigsuspend(&before);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return -EINTR;
}

} // namespace taviemu
