// The Minix calls about signals and time: signal, kill, alarm, pause,
// time, stime and times. Minix has signals 1 to 16, with Linux's numbers
// (its 7, SIGEMT, is the host's SIGBUS); the others are refused, so that
// none is ever delivered to a program whose catcher has no handler for it.
#include "guest_calls.h"
#include "guest_structs.h"
#include "minix_calls.h"
#include "program_signals.h"

#include <ctime>
#include <sys/times.h>
#include <unistd.h>

namespace taviemu {

// m6_f1 is SIG_DFL, SIG_IGN or the CS offset of the library's one catcher,
// which returns with iret. The reply is 1 when the signal was ignored
// before (the library keeps the previous handler itself), else 0.
int minix_signal(MinixMessage &m) {
    int sig = m.integer(msg::m6_i1);
    if (sig < 1 || sig > kMinixSignals)
        return -EINVAL;
    int previous = set_program_signal(sig, m.word(msg::m6_f1), SignalFrame::interrupt);
    if (previous < 0)
        return previous;
    return previous == kSignalIgnore ? 1 : 0;
}

int minix_kill(MinixMessage &m) {
    int sig = m.integer(msg::m1_i2);
    if (sig < 0 || sig > kMinixSignals)
        return -EINVAL;
    return call_kill(m.word(msg::m1_i1), sig);
}

int minix_alarm(MinixMessage &m) {
    return call_alarm(m.word(msg::m1_i1));
}

int minix_pause(MinixMessage &) {
    return call_pause();
}

// The time travels in m2_l1; the type must be 0.
int minix_time(MinixMessage &m) {
    time_t now = time(nullptr);
    if (now > INT32_MAX)
        return -EOVERFLOW;
    m.set_dword(msg::m2_l1, static_cast<uint32_t>(now));
    return 0;
}

int minix_stime(MinixMessage &m) {
    struct timespec when {};
    when.tv_sec = m.dword(msg::m2_l1);
    return call_result(clock_settime(CLOCK_REALTIME, &when));
}

// The four times in m4_l1 to m4_l4, in ticks of 1/60 s; the type is what
// the library's times() returns, the clock's ticks since an arbitrary
// moment, which a word can give only modulo 32768.
int minix_times(MinixMessage &m) {
    struct tms spent;
    clock_t now = times(&spent);
    if (now == static_cast<clock_t>(-1))
        return -errno;
    long host_ticks = sysconf(_SC_CLK_TCK);
    TmsBytes bytes = encode_tms(spent, host_ticks, kMinixTicks);
    std::copy(bytes.begin(), bytes.end(), m.bytes.begin() + msg::m4_l1);
    return static_cast<int>(guest_ticks(now, host_ticks, kMinixTicks) & 0x7FFF);
}

} // namespace taviemu
