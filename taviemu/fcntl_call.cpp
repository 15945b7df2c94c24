// fcntl: the commands of the tavi system, whose numbers are Linux's; only
// the lock structure differs (14 bytes, a 16-bit l_pid).
#include "guest_calls.h"
#include "guest_memory.h"
#include "guest_structs.h"
#include "process_numbers.h"
#include "tavi_calls.h"

#include <algorithm>
#include <climits>
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

// F_GETLK tells the lock that would be in the way, if any.
int tell_lock(const struct flock &host, uint8_t *into) {
    if (host.l_start > INT32_MAX || host.l_len > INT32_MAX)
        return -EOVERFLOW;
    GuestLock lock;
    lock.type = static_cast<int16_t>(host.l_type);
    lock.whence = static_cast<int16_t>(host.l_whence);
    lock.start = static_cast<int32_t>(host.l_start);
    lock.length = static_cast<int32_t>(host.l_len);
    lock.pid = static_cast<uint16_t>(std::max(process_number(host.l_pid), 0));
    FlockBytes bytes = encode_flock(lock);
    std::copy(bytes.begin(), bytes.end(), into);
    return 0;
}

int lock_command(int fd, uint16_t command, const CallArgs &a) {
    uint8_t *block = guest_bytes(a.ds, a.dx, kFlockSize);
    if (block == nullptr)
        return -EFAULT;
    GuestLock lock = decode_flock(block);
    struct flock host {};
    host.l_type = lock.type;
    host.l_whence = lock.whence;
    host.l_start = lock.start;
    host.l_len = lock.length;
    int host_command = command == kGetLk ? F_GETLK : command == kSetLk ? F_SETLK : F_SETLKW;
    if (fcntl(fd, host_command, &host) < 0)
        return -errno;
    return command == kGetLk ? tell_lock(host, block) : 0;
}

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
        return new_descriptor(call_result(fcntl(fd, F_DUPFD, signed_arg(a.dx))));
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
        return lock_command(fd, a.cx, a);
    case kSetOwn:
        return set_owner(fd, a.dx);
    case kGetOwn:
        return get_owner(fd);
    default:
        return -EINVAL;
    }
}

} // namespace taviemu
