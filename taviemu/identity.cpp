// Taking on a program's identity, and making sure the runner then holds
// nothing more than the program would.
#include "image.h"

#include <cerrno>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace taviemu {

namespace {

// Unknown until start-up says: a runner that never said is taken to be
// privileged, and refuses what it cannot take on.
bool started_unprivileged = false;

struct Ids {
    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
};

bool read_ids(Ids &ids) {
    return getresuid(&ids.ruid, &ids.euid, &ids.suid) == 0 &&
           getresgid(&ids.rgid, &ids.egid, &ids.sgid) == 0;
}

using Capabilities = __user_cap_data_struct[_LINUX_CAPABILITY_U32S_3];

bool read_capabilities(Capabilities &caps) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, caps) == 0;
}

// The bit of `cap` in its word of a set; the word is caps[cap / 32].
constexpr __u32 bit_of(int cap) {
    return 1u << (cap % 32);
}

bool has_capability(int cap) {
    Capabilities caps{};
    return read_capabilities(caps) && (caps[cap / 32].effective & bit_of(cap)) != 0;
}

// The capabilities that let a process act as another user or group, or get
// past the permission checks on files, at once or in a step the kernel
// allows. A runner holding any of them, as one with more than one user or
// group ID or with the superuser's, is privileged: it was installed to run
// set-ID programs, and refuses one whose identity it cannot take rather than
// run it with the caller's. The others (binding low ports and the like) give
// no one a file or an identity, and go with the rest before the program runs.
constexpr int kPrivilegedCapabilities[] = {
    CAP_CHOWN,           // gives any file to anyone, or takes it
    CAP_DAC_OVERRIDE,    // reads, writes and runs past the mode bits
    CAP_DAC_READ_SEARCH, // reads any file and searches any folder
    CAP_FOWNER,          // counts as the owner of every file
    CAP_FSETID,          // sets the set-group-ID bit for a group not its own
    CAP_SETGID,          // takes on any group
    CAP_SETUID,          // takes on any user
    CAP_SETPCAP,         // makes any capability inheritable, sets the securebits
    CAP_SYS_MODULE,      // loads code into the kernel
    CAP_SYS_RAWIO,       // reaches memory and disks directly
    CAP_SYS_CHROOT,      // gives set-user-ID programs a root folder of its making
    CAP_SYS_PTRACE,      // reads and drives any process, root's too
    CAP_SYS_ADMIN,       // mounts, namespaces and much besides
    CAP_MKNOD,           // makes device files for the disks
    CAP_SETFCAP,         // gives any program file capabilities
};

// Whether the permitted set, from which the runner may raise any
// capability to effective, holds one of those; a set that cannot be read
// counts as holding them.
bool holds_privileged_capability() {
    Capabilities caps{};
    if (!read_capabilities(caps))
        return true;
    for (int cap : kPrivilegedCapabilities)
        if ((caps[cap / 32].permitted & bit_of(cap)) != 0)
            return true;
    return false;
}

// Whether setreuid or setregid may set the effective ID to `id`: one of
// the three IDs held now, or any with the capability.
template <typename Id> bool may_set(Id id, Id r, Id e, Id s, int cap) {
    return id == r || id == e || id == s || has_capability(cap);
}

// After an execve, a process whose real and effective user IDs are both
// nonzero holds no capability but those its caller made ambient. The runner
// gives up every one it holds then, the ambient ones too: it cannot tell
// those its caller passed on from those the kernel gave it from its own
// file. Emptying the permitted and inheritable sets empties the ambient
// set, which the kernel keeps within both, whatever the securebits say. The
// bounding set stays as the kernel's execve leaves it: it only limits what
// a host program run later may gain from its own file.
int drop_capabilities() {
    if (getuid() == 0 || geteuid() == 0)
        return 0;
    Capabilities caps{};
    if (!read_capabilities(caps))
        return -errno;
    bool any = false;
    for (const auto &word : caps)
        any = any || word.permitted != 0 || word.inheritable != 0;
    if (!any)
        return 0; // nor can any be ambient; nothing to ask of the kernel
    Capabilities none{};
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, none) == 0 ? 0 : -errno;
}

bool holds(const Ids &want) {
    Ids now;
    return read_ids(now) && now.ruid == want.ruid && now.euid == want.euid &&
           now.suid == want.euid && now.rgid == want.rgid && now.egid == want.egid &&
           now.sgid == want.egid;
}

// Puts the IDs back as they were before a change that did not hold.
bool restore(const Ids &before) {
    return setresgid(before.rgid, before.egid, before.sgid) == 0 &&
           setresuid(before.ruid, before.euid, before.suid) == 0;
}

} // namespace

void note_start_identity() {
    Ids ids;
    started_unprivileged = read_ids(ids) && ids.ruid != 0 && ids.euid == ids.ruid &&
                           ids.suid == ids.ruid && ids.egid == ids.rgid && ids.sgid == ids.rgid &&
                           !holds_privileged_capability();
}

int take_identity(const struct stat &status, bool &intact) {
    intact = true;
    Ids before;
    if (!read_ids(before))
        return -errno;
    Ids want = before;
    want.egid = (status.st_mode & S_ISGID) ? status.st_gid : before.rgid;
    want.euid = (status.st_mode & S_ISUID) ? status.st_uid : before.ruid;
    if (!may_set(want.euid, before.ruid, before.euid, before.suid, CAP_SETUID) ||
        !may_set(want.egid, before.rgid, before.egid, before.sgid, CAP_SETGID)) {
        // A runner that started without privilege can take no other
        // identity, and keeps the caller's, which gives the program nothing
        // the caller lacks once the runner's own capabilities are gone. One
        // that had privilege, or gave it up, refuses.
        Ids own = before;
        own.euid = before.ruid;
        own.egid = before.rgid;
        return started_unprivileged && holds(own) ? drop_capabilities() : -EPERM;
    }
    // The group first: once the user has changed, the right to change the
    // group may be gone.
    int error = 0;
    if (setregid(want.rgid, want.egid) < 0 || setreuid(want.ruid, want.euid) < 0)
        error = errno;
    if (error == 0 && holds(want)) {
        int dropped = drop_capabilities();
        intact = dropped == 0;
        return dropped;
    }
    intact = restore(before);
    return -(error != 0 ? error : EPERM);
}

} // namespace taviemu
