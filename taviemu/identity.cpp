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

bool has_capability(int cap) {
    Capabilities caps{};
    return read_capabilities(caps) && (caps[cap / 32].effective & (1u << (cap % 32))) != 0;
}

// Whether setreuid or setregid may set the effective ID to `id`: one of
// the three IDs held now, or any with the capability.
template <typename Id> bool may_set(Id id, Id r, Id e, Id s, int cap) {
    return id == r || id == e || id == s || has_capability(cap);
}

// After an execve, a process whose real and effective user IDs are both
// nonzero holds no capability; the runner gives up any it holds then (a
// runner given file capabilities would otherwise keep them for the
// program).
int drop_capabilities() {
    if (getuid() == 0 || geteuid() == 0)
        return 0;
    Capabilities caps{};
    if (!read_capabilities(caps))
        return -errno;
    bool any = false;
    for (const auto &word : caps)
        any = any || word.effective != 0 || word.permitted != 0 || word.inheritable != 0;
    if (!any)
        return 0;
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
    started_unprivileged = geteuid() == getuid() && getegid() == getgid() && getuid() != 0;
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
        // the caller lacks. One that had privilege and gave it up refuses.
        Ids own = before;
        own.euid = before.ruid;
        own.egid = before.rgid;
        return started_unprivileged && holds(own) ? 0 : -EPERM;
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
