// The calls that take names in the file system. Every name is a
// NUL-terminated string in DS that must end inside the segment and the area.
#include "guest_calls.h"
#include "guest_memory.h"
#include "guest_structs.h"
#include "tavi_calls.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utime.h>

namespace taviemu {

namespace {

// Runs `call` on the name at BX (and the one at CX for `on_two`).
template <typename Call> int on_path(const CallArgs &a, Call call) {
    const char *path = guest_string(a.ds, a.bx);
    return path == nullptr ? -EFAULT : call(path);
}

template <typename Call> int on_two(const CallArgs &a, Call call) {
    const char *first = guest_string(a.ds, a.bx), *second = guest_string(a.ds, a.cx);
    return first == nullptr || second == nullptr ? -EFAULT : call(first, second);
}

// stat and lstat: the structure at CX.
int stat_call(const CallArgs &a, int (*host_call)(const char *, struct stat *)) {
    uint8_t *into = guest_bytes(a.ds, a.cx, kStatSize);
    if (into == nullptr)
        return -EFAULT;
    return on_path(a, [&](const char *path) {
        struct stat status;
        return store_stat(host_call(path, &status), status, into);
    });
}

} // namespace

int sys_link(const CallArgs &a) {
    return on_two(a, [](const char *from, const char *to) { return call_result(link(from, to)); });
}

int sys_unlink(const CallArgs &a) {
    return on_path(a, [](const char *path) { return call_result(unlink(path)); });
}

int sys_chdir(const CallArgs &a) {
    return on_path(a, [](const char *path) { return call_result(chdir(path)); });
}

// The device is major << 8 | minor.
int sys_mknod(const CallArgs &a) {
    return on_path(a, [&a](const char *path) {
        return call_result(mknod(path, a.cx, makedev(a.dx >> 8, a.dx & 0xFF)));
    });
}

int sys_chmod(const CallArgs &a) {
    return on_path(a, [&a](const char *path) { return call_result(chmod(path, a.cx)); });
}

int sys_chown(const CallArgs &a) {
    return on_path(a, [&a](const char *path) {
        return call_result(chown(path, host_id(a.cx, true), host_id(a.dx, true)));
    });
}

int sys_stat(const CallArgs &a) {
    return stat_call(a, stat);
}

int sys_lstat(const CallArgs &a) {
    return stat_call(a, lstat);
}

// The two times at CX (access, then modification), or now when CX is 0.
int sys_utime(const CallArgs &a) {
    uint8_t *times;
    if (!optional_bytes(a.ds, a.cx, kUtimbufSize, times))
        return -EFAULT;
    return on_path(a, [times](const char *path) {
        if (times == nullptr)
            return call_result(utime(path, nullptr));
        struct utimbuf set {};
        set.actime = static_cast<int32_t>(get32(times));
        set.modtime = static_cast<int32_t>(get32(times + 4));
        return call_result(utime(path, &set));
    });
}

int sys_chroot(const CallArgs &a) {
    return on_path(a, [](const char *path) { return call_result(chroot(path)); });
}

int sys_access(const CallArgs &a) {
    return on_path(a, [&a](const char *path) { return call_result(access(path, a.cx)); });
}

int sys_rename(const CallArgs &a) {
    return on_two(a,
                  [](const char *from, const char *to) { return call_result(rename(from, to)); });
}

int sys_mkdir(const CallArgs &a) {
    return on_path(a, [&a](const char *path) { return call_result(mkdir(path, a.cx)); });
}

int sys_rmdir(const CallArgs &a) {
    return on_path(a, [](const char *path) { return call_result(rmdir(path)); });
}

// symlink(target, name): the link at CX comes to hold the text at BX.
int sys_symlink(const CallArgs &a) {
    return on_two(
        a, [](const char *target, const char *name) { return call_result(symlink(target, name)); });
}

// The link's text into the buffer at CX, without a NUL; the whole buffer
// must be the program's, though at most 0x7FFF bytes are given.
int sys_readlink(const CallArgs &a) {
    uint8_t *into = guest_bytes(a.ds, a.cx, a.dx);
    if (into == nullptr)
        return -EFAULT;
    size_t size = std::min<size_t>(a.dx, 0x7FFF);
    return on_path(a, [into, size](const char *path) {
        return call_result(readlink(path, reinterpret_cast<char *>(into), size));
    });
}

} // namespace taviemu
