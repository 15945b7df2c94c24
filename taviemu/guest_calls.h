// The system calls that both translators offer, on the program's memory:
// every buffer is checked against its segment and the area before use, and
// every result is the call's value or a negative errno.
#pragma once

#include <cerrno>
#include <cstdint>

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

// A descriptor the host gave, or -errno: one the program could not hold
// (0x8000 or more reads as an error) is closed again, and it gets EMFILE.
int new_descriptor(int result);

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

} // namespace taviemu
