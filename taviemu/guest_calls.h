// The system calls that both translators offer, on the program's memory:
// every buffer is checked against its segment and the area before use, and
// every result is the call's value or a negative errno.
#pragma once

#include <cerrno>
#include <cstdint>
#include <sys/resource.h>
#include <sys/types.h>

namespace taviemu {

// Bytes per read or write: a count of 0x8000 or more would read as an
// error in AX, so larger transfers are done short, as a pipe may do them.
constexpr uint32_t kMaxTransfer = 0x7FFF;
constexpr uint32_t kBreakGap = 256; // room kept free between the break and SP

// A system call's value as the program gets it: the value, or -errno when
// the call failed.
inline int call_result(long value) {
    return value < 0 ? -errno : static_cast<int>(value);
}

// The descriptors a tavi program can hold: one of 0x8000 or more would
// read as an error in AX.
constexpr int kTaviDescriptors = 0x8000;

// A descriptor the host gave, or -errno: one the program could not hold
// (`limit` or more) is closed again, and it gets EMFILE.
int new_descriptor(int result, int limit);
// pipe: both ends below `limit` in fds, 0; or -errno (EMFILE, with neither
// end kept, when an end would pass the limit).
int call_pipe(int fds[2], int limit);

int call_read(int fd, uint16_t seg, uint16_t buffer, uint16_t count);
int call_write(int fd, uint16_t seg, uint16_t buffer, uint16_t count);
int call_open(uint16_t seg, uint16_t path, int flags, int mode);
int call_close(int fd);
// Moves the offset of fd; the new offset in *offset. An offset beyond 32
// bits gives EOVERFLOW and leaves the descriptor where it was.
int call_lseek(int fd, int32_t *offset, int whence);
// Sets the break to `end` (an offset in the data segment): 0 or -ENOMEM.
int call_brk(uint32_t end);
[[noreturn]] void call_exit(int status);

// fork: the child's process number in the parent, 0 in the child (which
// has no signal waiting), or -errno.
int call_fork();
// getpid: the program's own process number, with its parent's in
// `parent`, or -EAGAIN when no number is left. The host's ID of the
// process is asked once and again only after a fork, which alone changes
// it: the call costs one host call, for the parent.
int call_getpid(uint16_t &parent);
// Waits for the child `of` (a host process ID, or -1 for any) as wait4
// does; the child's process number, with `status` its wait status, or
// -errno. A child that has ended is forgotten.
int call_wait(pid_t of, int options, int &status, struct rusage *usage);
// kill on a process argument as the program passes it (see host_process):
// -ESRCH for a number the program does not know.
int call_kill(uint16_t process, int sig);
// The seconds left of the alarm before, at most 0x7FFF.
int call_alarm(unsigned seconds);
// Waits for a signal the program catches: -EINTR.
int call_pause();
// The record-lock commands F_GETLK (5), F_SETLK (6) and F_SETLKW (7) with
// the 14-byte struct flock at seg:block, which F_GETLK fills with the lock
// in the way and its holder's process number.
int call_lock(int fd, uint16_t command, uint16_t seg, uint16_t block);

} // namespace taviemu
