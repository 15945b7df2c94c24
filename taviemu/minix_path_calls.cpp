// The Minix calls that take names in the file system, and the umask and
// sync. A name is a NUL-terminated string in DS (the library also sends
// its length, which is not needed); a name of 15 bytes or more is the
// host's own, and a component cut to 14 bytes finds its whole name
// (minix_names.h).
#include "guest_calls.h"
#include "guest_structs.h"
#include "minix_calls.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utime.h>

namespace taviemu {

int minix_link(MinixMessage &m) {
    return on_names(m, msg::m1_p1, msg::m1_p2,
                    [](const char *from, const char *to) { return call_result(link(from, to)); });
}

int minix_unlink(MinixMessage &m) {
    return on_name(m, msg::m3_p1, [](const char *name) { return call_result(unlink(name)); });
}

int minix_chdir(MinixMessage &m) {
    return on_name(m, msg::m3_p1, [](const char *name) { return call_result(chdir(name)); });
}

// The mode with its type bits in m1_i2, the device (major << 8 | minor)
// in m1_i3.
int minix_mknod(MinixMessage &m) {
    mode_t mode = m.word(msg::m1_i2);
    uint16_t device = m.word(msg::m1_i3);
    return on_name(m, msg::m1_p1, [mode, device](const char *name) {
        return call_result(mknod(name, mode, makedev(device >> 8, device & 0xFF)));
    });
}

int minix_chmod(MinixMessage &m) {
    mode_t mode = m.word(msg::m3_i2);
    return on_name(m, msg::m3_p1,
                   [mode](const char *name) { return call_result(chmod(name, mode)); });
}

int minix_chown(MinixMessage &m) {
    uid_t owner = host_id(m.word(msg::m1_i2), true);
    gid_t group = host_id(m.word(msg::m1_i3), true);
    return on_name(m, msg::m1_p1, [owner, group](const char *name) {
        return call_result(chown(name, owner, group));
    });
}

// The name in m1_p1, the 30-byte structure at m1_p2.
int minix_stat(MinixMessage &m) {
    uint8_t *into = guest_bytes(m.ds, m.word(msg::m1_p2), kStatSize);
    if (into == nullptr)
        return -EFAULT;
    return on_name(m, msg::m1_p1, [into](const char *name) {
        struct stat status;
        return store_stat(stat(name, &status), status, into);
    });
}

// The name in m2_p1, the access and modification times in m2_l1 and
// m2_l2: the library sends the time itself for utime(name, NULL).
int minix_utime(MinixMessage &m) {
    struct utimbuf times {};
    times.actime = m.dword(msg::m2_l1);
    times.modtime = m.dword(msg::m2_l2);
    return on_name(m, msg::m2_p1,
                   [&times](const char *name) { return call_result(utime(name, &times)); });
}

int minix_access(MinixMessage &m) {
    int mode = m.word(msg::m3_i2);
    return on_name(m, msg::m3_p1,
                   [mode](const char *name) { return call_result(access(name, mode)); });
}

int minix_rename(MinixMessage &m) {
    return on_names(m, msg::m1_p1, msg::m1_p2,
                    [](const char *from, const char *to) { return call_result(rename(from, to)); });
}

int minix_mkdir(MinixMessage &m) {
    mode_t mode = m.word(msg::m1_i2);
    return on_name(m, msg::m1_p1,
                   [mode](const char *name) { return call_result(mkdir(name, mode)); });
}

int minix_rmdir(MinixMessage &m) {
    return on_name(m, msg::m3_p1, [](const char *name) { return call_result(rmdir(name)); });
}

int minix_chroot(MinixMessage &m) {
    return on_name(m, msg::m3_p1, [](const char *name) { return call_result(chroot(name)); });
}

int minix_umask(MinixMessage &m) {
    return static_cast<int>(umask(m.word(msg::m1_i1) & 0777) & 0777);
}

int minix_sync(MinixMessage &) {
    sync();
    return 0;
}

} // namespace taviemu
