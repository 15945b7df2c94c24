// The system calls that both translators offer, on the program's memory:
// every buffer is checked against its segment and the area before use, and
// every result is the call's value or a negative errno.
#pragma once

#include <cerrno>
#include <cstdint>

namespace taviemu {

constexpr uint32_t kMaxTransfer =
    0xF000;                         // bytes per read or write: results stay below the error range
constexpr uint32_t kBreakGap = 256; // room kept free between the break and SP

// A system call's value as the program gets it: the value, or -errno when
// the call failed.
inline int call_result(long value) {
    return value < 0 ? -errno : static_cast<int>(value);
}

int call_read(int fd, uint16_t seg, uint16_t buffer, uint16_t count);
int call_write(int fd, uint16_t seg, uint16_t buffer, uint16_t count);
int call_open(uint16_t seg, uint16_t path, int flags, int mode);
int call_close(int fd);
// Moves the offset of fd; the new offset in *offset.
int call_lseek(int fd, int32_t *offset, int whence);
// Sets the break to `end` (an offset in the data segment): 0 or -ENOMEM.
int call_brk(uint32_t end);
[[noreturn]] void call_exit(int status);

} // namespace taviemu
