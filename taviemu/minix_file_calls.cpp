// The Minix calls on descriptors: read, write, open, creat, close, lseek,
// fstat, dup (and dup2 through it), pipe and fcntl. The program holds at
// most 20 descriptors: a call on any other gives EBADF, and one that would
// give the program a descriptor past 19 gives EMFILE. A directory is read
// as a file of V7 slots (minix_directory.h).
#include "guest_calls.h"
#include "guest_structs.h"
#include "minix_calls.h"
#include "minix_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taviemu {

namespace {

constexpr int kOpenFlags = 07703;   // the access mode, O_CREAT to O_NONBLOCK
constexpr int kStatusFlags = 06003; // the access mode, O_APPEND and O_NONBLOCK
constexpr int kDup2 = 0100;         // added to the first descriptor by dup2

// A descriptor the host gave the program.
int new_fd(int result) {
    int fd = new_descriptor(result, kMinixDescriptors);
    forget_directory(fd);
    return fd;
}

int open_name(MinixMessage &m, uint32_t name_at, int flags, int mode) {
    return on_name(m, name_at, [flags, mode](const char *name) {
        return new_fd(call_result(open(name, flags & kOpenFlags, mode)));
    });
}

// Both descriptors in the fcntl commands' range.
int duplicate(int fd, int to) {
    if (!minix_descriptor(fd) || !minix_descriptor(to))
        return -EBADF;
    int r = call_result(dup2(fd, to));
    if (r >= 0)
        forget_directory(to);
    return r;
}

int fcntl_command(int fd, int command, int argument, const MinixMessage &m) {
    switch (command) {
    case F_DUPFD:
        if (argument < 0 || argument >= kMinixDescriptors)
            return -EINVAL;
        return new_fd(call_result(fcntl(fd, F_DUPFD, argument)));
    case F_GETFD:
        return call_result(fcntl(fd, F_GETFD));
    case F_SETFD:
        return call_result(fcntl(fd, F_SETFD, argument & FD_CLOEXEC));
    case F_GETFL: {
        int flags = fcntl(fd, F_GETFL);
        return flags < 0 ? -errno : flags & kStatusFlags;
    }
    case F_SETFL:
        return call_result(fcntl(fd, F_SETFL, argument & kStatusFlags));
    case 5: // F_GETLK, F_SETLK and F_SETLKW: the program's numbers, not
    case 6: // those of a host with 64-bit offsets
    case 7:
        return call_lock(fd, static_cast<uint16_t>(command), m.ds, m.word(msg::m1_i3));
    default:
        return -EINVAL;
    }
}

} // namespace

int minix_read(MinixMessage &m) {
    int fd = m.integer(msg::m1_i1);
    if (!minix_descriptor(fd))
        return -EBADF;
    uint16_t buffer = m.word(msg::m1_p1), count = m.word(msg::m1_i2);
    int r = call_read(fd, m.ds, buffer, count);
    struct stat folder;
    if (r != -EISDIR || fstat(fd, &folder) < 0)
        return r;
    return read_directory(fd, folder, guest_bytes(m.ds, buffer, count),
                          std::min<uint32_t>(count, kMaxTransfer));
}

int minix_write(MinixMessage &m) {
    int fd = m.integer(msg::m1_i1);
    if (!minix_descriptor(fd))
        return -EBADF;
    return call_write(fd, m.ds, m.word(msg::m1_p1), m.word(msg::m1_i2));
}

// A name to create comes in the m1 layout with its mode; any other in m3.
int minix_open(MinixMessage &m) {
    int flags = m.word(msg::m1_i2);
    if (flags & O_CREAT)
        return open_name(m, msg::m1_p1, flags, m.word(msg::m1_i3));
    return open_name(m, msg::m3_p1, m.word(msg::m3_i2), 0);
}

int minix_creat(MinixMessage &m) {
    return open_name(m, msg::m3_p1, O_WRONLY | O_CREAT | O_TRUNC, m.word(msg::m3_i2));
}

int minix_close(MinixMessage &m) {
    int fd = m.integer(msg::m1_i1);
    if (!minix_descriptor(fd))
        return -EBADF;
    forget_directory(fd);
    return call_close(fd);
}

// The offset in m2_l1, both ways; the type must be 0.
int minix_lseek(MinixMessage &m) {
    int fd = m.integer(msg::m2_i1);
    if (!minix_descriptor(fd))
        return -EBADF;
    int32_t offset = m.dword(msg::m2_l1);
    int whence = m.integer(msg::m2_i2);
    struct stat status;
    int r = fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)
                ? seek_directory(fd, status, &offset, whence)
                : call_lseek(fd, &offset, whence);
    if (r == 0)
        m.set_dword(msg::m2_l1, static_cast<uint32_t>(offset));
    return r;
}

int minix_fstat(MinixMessage &m) {
    int fd = m.integer(msg::m1_i1);
    uint8_t *into = guest_bytes(m.ds, m.word(msg::m1_p1), kStatSize);
    if (into == nullptr)
        return -EFAULT;
    if (!minix_descriptor(fd))
        return -EBADF;
    struct stat status;
    return store_stat(fstat(fd, &status), status, into);
}

// dup(fd), or dup2(fd, m1_i2) when the library has added 0100 to fd.
int minix_dup(MinixMessage &m) {
    int fd = m.integer(msg::m1_i1);
    if (fd & kDup2)
        return duplicate(fd & ~kDup2, m.integer(msg::m1_i2));
    if (!minix_descriptor(fd))
        return -EBADF;
    return new_fd(call_result(dup(fd)));
}

// The read end in m1_i1, the write end in m1_i2.
int minix_pipe(MinixMessage &m) {
    int fds[2];
    if (int r = call_pipe(fds, kMinixDescriptors); r < 0)
        return r;
    forget_directory(fds[0]);
    forget_directory(fds[1]);
    m.set_word(msg::m1_i1, static_cast<uint16_t>(fds[0]));
    m.set_word(msg::m1_i2, static_cast<uint16_t>(fds[1]));
    return 0;
}

// The command in m1_i2, its argument (a value, or the address of a struct
// flock) in m1_i3.
int minix_fcntl(MinixMessage &m) {
    int fd = m.integer(msg::m1_i1);
    if (!minix_descriptor(fd))
        return -EBADF;
    return fcntl_command(fd, m.integer(msg::m1_i2), m.integer(msg::m1_i3), m);
}

} // namespace taviemu
