// The calls on open descriptors: read, write, open, close, lseek, fstat,
// fchown, dup, dup2 and pipe. A descriptor is the program's 16-bit int.
#include "guest_calls.h"
#include "guest_memory.h"
#include "guest_structs.h"
#include "tavi_calls.h"

#include <sys/stat.h>
#include <unistd.h>

namespace taviemu {

int sys_read(const CallArgs &a) {
    return call_read(signed_arg(a.bx), a.ds, a.cx, a.dx);
}

int sys_write(const CallArgs &a) {
    return call_write(signed_arg(a.bx), a.ds, a.cx, a.dx);
}

int sys_open(const CallArgs &a) {
    return call_open(a.ds, a.bx, a.cx, a.dx);
}

int sys_close(const CallArgs &a) {
    return call_close(signed_arg(a.bx));
}

// The 32-bit offset at CX: in, the offset asked for; out, the new one.
int sys_lseek(const CallArgs &a) {
    uint8_t *word = guest_bytes(a.ds, a.cx, 4);
    if (word == nullptr)
        return -EFAULT;
    int32_t offset = static_cast<int32_t>(get32(word));
    int r = call_lseek(signed_arg(a.bx), &offset, signed_arg(a.dx));
    if (r == 0)
        put32(word, static_cast<uint32_t>(offset));
    return r;
}

int sys_fstat(const CallArgs &a) {
    uint8_t *into = guest_bytes(a.ds, a.cx, kStatSize);
    if (into == nullptr)
        return -EFAULT;
    struct stat status;
    return store_stat(fstat(signed_arg(a.bx), &status), status, into);
}

int sys_fchown(const CallArgs &a) {
    return call_result(fchown(signed_arg(a.bx), host_id(a.cx, true), host_id(a.dx, true)));
}

int sys_dup(const CallArgs &a) {
    return new_descriptor(call_result(dup(signed_arg(a.bx))), kTaviDescriptors);
}

int sys_dup2(const CallArgs &a) {
    return new_descriptor(call_result(dup2(signed_arg(a.bx), signed_arg(a.cx))), kTaviDescriptors);
}

// The read end and the write end as two words at BX.
int sys_pipe(const CallArgs &a) {
    uint8_t *words = guest_bytes(a.ds, a.bx, 4);
    if (words == nullptr)
        return -EFAULT;
    int fds[2];
    if (int r = call_pipe(fds, kTaviDescriptors); r < 0)
        return r;
    put16(words, static_cast<uint16_t>(fds[0]));
    put16(words + 2, static_cast<uint16_t>(fds[1]));
    return 0;
}

} // namespace taviemu
