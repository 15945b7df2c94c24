// fcntl: the commands of the tavi system, whose numbers are Linux's; only
// the lock structure differs (14 bytes, a 16-bit l_pid).
#include "guest_calls.h"
#include "guest_memory.h"
#include "process_numbers.h"
#include "tavi_calls.h"

#include <fcntl.h>

namespace taviemu {

namespace {

// The program's command numbers (the host's F_GETLK and the like differ in
// a 32-bit build with 64-bit offsets).
enum Command : uint16_t {
    kDupFd = 0,
    kGetFd = 1,
    kSetFd = 2,
    kGetFl = 3,
    kSetFl = 4,
    kGetLk = 5,
    kSetLk = 6,
    kSetLkW = 7,
    kSetOwn = 8,
    kGetOwn = 9,
};

// The status flags the library knows: the access mode, O_APPEND,
// O_NONBLOCK, O_SYNC and FASYNC. The host adds others (O_LARGEFILE is
// 0x8000, which would read as an error).
constexpr int kStatusFlags = 03 | 02000 | 04000 | 010000 | 020000;

// The owner of the descriptor's signals: a process number, or a negated
// one for a process group.
int set_owner(int fd, uint16_t owner) {
    pid_t host = host_process(owner);
    if (host == 0 && owner != 0)
        return -ESRCH;
    return call_result(fcntl(fd, F_SETOWN, host));
}

int get_owner(int fd) {
    int owner = fcntl(fd, F_GETOWN);
    if (owner == -1)
        return -errno;
    return owner < 0 ? -process_number(-owner) : process_number(owner);
}

} // namespace

int sys_fcntl(const CallArgs &a) {
    int fd = signed_arg(a.bx);
    switch (a.cx) {
    case kDupFd:
        return new_descriptor(call_result(fcntl(fd, F_DUPFD, signed_arg(a.dx))), kTaviDescriptors);
    case kGetFd:
        return call_result(fcntl(fd, F_GETFD));
    case kSetFd:
        return call_result(fcntl(fd, F_SETFD, a.dx));
    case kGetFl: {
        int flags = fcntl(fd, F_GETFL);
        return flags < 0 ? -errno : flags & kStatusFlags;
    }
    case kSetFl:
        return call_result(fcntl(fd, F_SETFL, a.dx));
    case kGetLk:
    case kSetLk:
    case kSetLkW:
        return call_lock(fd, a.cx, a.ds, a.dx);
    case kSetOwn:
        return set_owner(fd, a.dx);
    case kGetOwn:
        return get_owner(fd);
    default:
        return -EINVAL;
    }
}

} // namespace taviemu
