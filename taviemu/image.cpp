// Opening an executable and taking on its identity.
#include "image.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace taviemu {

namespace {

bool in_group(gid_t gid) {
    if (getgid() == gid)
        return true;
    int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
    count = getgroups(count, groups.data());
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<size_t>(i)] == gid)
            return true;
    return false;
}

// The mode bits against the real IDs, for a kernel that cannot check a
// descriptor itself: the class the real user falls in decides, and the
// superuser needs one execute bit.
bool mode_allows_execute(const struct stat &status) {
    uid_t uid = getuid();
    if (uid == 0)
        return status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH);
    if (uid == status.st_uid)
        return status.st_mode & S_IXUSR;
    if (in_group(status.st_gid))
        return status.st_mode & S_IXGRP;
    return status.st_mode & S_IXOTH;
}

// What execve requires of the file open on `fd` before it runs it.
int check_opened(int fd, struct stat &status) {
    if (fstat(fd, &status) < 0)
        return -errno;
    if (!S_ISREG(status.st_mode))
        return -EACCES;
    if (faccessat(fd, "", X_OK, AT_EMPTY_PATH) < 0) {
        if (errno != EINVAL && errno != ENOSYS)
            return -errno;
        if (!mode_allows_execute(status))
            return -EACCES;
    }
    // The mount's flags, as the kernel's execve heeds them; where they
    // cannot be had, the set-ID bits count for nothing.
    struct statvfs fs;
    bool mount_known = fstatvfs(fd, &fs) == 0;
    if (mount_known && (fs.f_flag & ST_NOEXEC) != 0)
        return -EACCES;
    if (!mount_known || (fs.f_flag & ST_NOSUID) != 0)
        status.st_mode &= ~(S_ISUID | S_ISGID);
    return 0;
}

bool holds(uid_t ruid, uid_t euid, gid_t rgid, gid_t egid) {
    uid_t r, e, s;
    gid_t rg, eg, sg;
    return getresuid(&r, &e, &s) == 0 && getresgid(&rg, &eg, &sg) == 0 && r == ruid && e == euid &&
           s == euid && rg == rgid && eg == egid && sg == egid;
}

} // namespace

int open_image(const char *path, struct stat &status) {
    // The name is looked up with the caller's own IDs first, as execve looks
    // it up, so that the runner tells no more about paths than the caller
    // may know. The check that counts is made on the open descriptor: the
    // name may lead elsewhere by the time it is opened.
    if (access(path, X_OK) < 0)
        return -errno;
    // Without O_NONBLOCK a FIFO would hold the open until a writer came.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -errno;
    int checked = check_opened(fd, status);
    if (checked < 0) {
        close(fd);
        return checked;
    }
    return fd;
}

int take_identity(const struct stat &status) {
    uid_t ruid = getuid();
    gid_t rgid = getgid();
    bool unprivileged = geteuid() == ruid && getegid() == rgid && ruid != 0;
    gid_t egid = (status.st_mode & S_ISGID) ? status.st_gid : rgid;
    uid_t euid = (status.st_mode & S_ISUID) ? status.st_uid : ruid;
    // The group first: once the user has changed, the right to change the
    // group may be gone.
    int error = 0;
    if (setregid(rgid, egid) < 0)
        error = errno;
    if (setreuid(ruid, euid) < 0 && error == 0)
        error = errno;
    if (holds(ruid, euid, rgid, egid))
        return 0;
    // A runner without privilege can take no other identity, and keeps the
    // caller's, which gives the program nothing the caller lacks.
    if (unprivileged && holds(ruid, ruid, rgid, rgid))
        return 0;
    return -(error != 0 ? error : EPERM);
}

} // namespace taviemu
