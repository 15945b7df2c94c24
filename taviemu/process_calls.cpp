// The calls about processes and their identity: exit, fork, wait4, the
// IDs, sessions, priority, kill, the break, times, the umask and sync.
// Processes are named by the program's own process numbers.
#include "guest_calls.h"
#include "guest_memory.h"
#include "guest_structs.h"
#include "process_numbers.h"
#include "program_signals.h"
#include "tavi_calls.h"

#include <algorithm>
#include <sys/stat.h>
#include <sys/times.h>
#include <unistd.h>

namespace taviemu {

namespace {

// getpid, getuid and getgid give one value in AX and store the other at
// the word BX points to (nothing when BX is 0).
int two_values(const CallArgs &a, int first, uint16_t second) {
    uint8_t *word;
    if (!optional_bytes(a.ds, a.bx, 2, word))
        return -EFAULT;
    if (word != nullptr)
        put16(word, second);
    return first;
}

template <size_t N> void store(uint8_t *into, const std::array<uint8_t, N> &bytes) {
    if (into != nullptr)
        std::copy(bytes.begin(), bytes.end(), into);
}

} // namespace

int sys_exit(const CallArgs &a) {
    call_exit(a.bx);
}

// fork and vfork alike: a vforked child of this system only execs or exits.
int sys_fork(const CallArgs &) {
    return call_fork();
}

int sys_wait4(const CallArgs &a) {
    uint8_t *status_word, *usage_block;
    if (!optional_bytes(a.ds, a.cx, 2, status_word) ||
        !optional_bytes(a.ds, a.di, kRusageSize, usage_block))
        return -EFAULT;
    pid_t of = host_process(a.bx);
    if (of == 0 && a.bx != 0)
        return -ECHILD; // no child has that number
    int status = 0;
    struct rusage usage {};
    int number = call_wait(of, a.dx, status, &usage);
    if (number < 0)
        return number;
    if (status_word != nullptr)
        put16(status_word, static_cast<uint16_t>(status));
    store(usage_block, encode_rusage(usage));
    return number;
}

int sys_getpid(const CallArgs &a) {
    uint16_t parent = 0;
    int own = call_getpid(parent);
    return own < 0 ? own : two_values(a, own, parent);
}

int sys_getuid(const CallArgs &a) {
    return two_values(a, guest_id(getuid()), guest_id(geteuid()));
}

int sys_getgid(const CallArgs &a) {
    return two_values(a, guest_id(getgid()), guest_id(getegid()));
}

int sys_setuid(const CallArgs &a) {
    return call_result(setuid(host_id(a.bx, false)));
}

int sys_setgid(const CallArgs &a) {
    return call_result(setgid(host_id(a.bx, false)));
}

int sys_setsid(const CallArgs &) {
    pid_t session = setsid();
    return session < 0 ? -errno : process_number(session);
}

// The library takes any result but -1 as success: 0 it is.
int sys_nice(const CallArgs &a) {
    errno = 0;
    if (nice(signed_arg(a.bx)) == -1 && errno != 0)
        return -errno;
    return 0;
}

int sys_kill(const CallArgs &a) {
    if (a.cx >= kSignalCount)
        return -EINVAL;
    return call_kill(a.bx, a.cx);
}

int sys_brk(const CallArgs &a) {
    return call_brk(a.bx);
}

int sys_times(const CallArgs &a) {
    uint8_t *block, *ticks;
    if (!optional_bytes(a.ds, a.bx, kTmsSize, block) || !optional_bytes(a.ds, a.cx, 4, ticks))
        return -EFAULT;
    struct tms spent;
    clock_t now = times(&spent);
    if (now == static_cast<clock_t>(-1))
        return -errno;
    long host_ticks = sysconf(_SC_CLK_TCK);
    store(block, encode_tms(spent, host_ticks, kTaviTicks));
    if (ticks != nullptr)
        put32(ticks, guest_ticks(now, host_ticks, kTaviTicks));
    return 0;
}

int sys_umask(const CallArgs &a) {
    return static_cast<int>(umask(a.bx & 0777) & 0777);
}

int sys_sync(const CallArgs &) {
    sync();
    return 0;
}

} // namespace taviemu
