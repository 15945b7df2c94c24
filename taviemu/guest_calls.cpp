// System calls shared by the tavi and Minix translators.
#include "guest_calls.h"
#include "guest_memory.h"
#include "tavi.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace taviemu {

int new_descriptor(int result) {
    if (result > 0x7FFF) {
        close(result);
        return -EMFILE;
    }
    return result;
}

// The whole buffer the program names must be its own, even when less of it
// is moved in one call.
int call_read(int fd, uint16_t seg, uint16_t buffer, uint16_t count) {
    uint8_t *into = guest_bytes(seg, buffer, count);
    if (into == nullptr)
        return -EFAULT;
    return call_result(read(fd, into, std::min<uint32_t>(count, kMaxTransfer)));
}

int call_write(int fd, uint16_t seg, uint16_t buffer, uint16_t count) {
    const uint8_t *from = guest_bytes(seg, buffer, count);
    if (from == nullptr)
        return -EFAULT;
    return call_result(write(fd, from, std::min<uint32_t>(count, kMaxTransfer)));
}

int call_open(uint16_t seg, uint16_t path, int flags, int mode) {
    const char *name = guest_string(seg, path);
    if (name == nullptr)
        return -EFAULT;
    return new_descriptor(call_result(open(name, flags, mode)));
}

int call_close(int fd) {
    return call_result(close(fd));
}

int call_lseek(int fd, int32_t *offset, int whence) {
    // Only a move relative to the current offset or the end can land
    // beyond 32 bits; the place to go back to is taken before it.
    off_t from = whence == SEEK_SET ? 0 : lseek(fd, 0, SEEK_CUR);
    if (from < 0)
        return -errno;
    off_t to = lseek(fd, *offset, whence);
    if (to < 0)
        return -errno;
    if (to > INT32_MAX) {
        lseek(fd, from, SEEK_SET);
        return -EOVERFLOW;
    }
    *offset = static_cast<int32_t>(to);
    return 0;
}

// The break lies in the data segment of the loaded layout, whatever DS
// holds now. The stack it must stay below is where SP stands while SS is
// still that segment, and otherwise the block of arguments at its top.
int call_brk(uint32_t end) {
    const vm86::Regs &r = tavi_cpu.regs;
    uint32_t sp = r.ss == tavi_data_segment ? r.esp & 0xFFFF : tavi_stack_start;
    if (end < tavi_bss_end || sp < kBreakGap || end > sp - kBreakGap)
        return -ENOMEM;
    if (end > tavi_brk) {
        // Memory the break grows over reads as zero, as fresh memory does.
        uint8_t *fresh = guest_bytes(tavi_data_segment, tavi_brk, end - tavi_brk);
        if (fresh == nullptr)
            return -ENOMEM;
        std::memset(fresh, 0, end - tavi_brk);
    }
    tavi_brk = end;
    return 0;
}

void call_exit(int status) {
    std::fflush(nullptr);
    std::exit(status & 0xFF);
}

} // namespace taviemu
