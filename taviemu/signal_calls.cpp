// The calls about signals: signal, alarm and pause (kill is with the
// process calls).
#include "guest_calls.h"
#include "program_signals.h"
#include "tavi_calls.h"

namespace taviemu {

// The library's one trampoline returns from the handler with `ret 2`.
int sys_signal(const CallArgs &a) {
    return set_program_signal(a.bx, a.cx, SignalFrame::near_call);
}

int sys_alarm(const CallArgs &a) {
    return call_alarm(a.bx);
}

int sys_pause(const CallArgs &) {
    return call_pause();
}

} // namespace taviemu
