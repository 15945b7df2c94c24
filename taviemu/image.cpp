// Opening an executable with the rights of the one who runs it.
#include "image.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace taviemu {

namespace {

// The identity names are looked up with: `uid` and `gid` as the file-system
// IDs while the object lives, the effective IDs again afterwards.
class LookupIdentity {
  public:
    LookupIdentity(uid_t uid, gid_t gid) {
        setfsgid(gid);
        setfsuid(uid);
        // An ID that cannot be set is ignored: read back what holds now.
        held_ = static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) == uid &&
                static_cast<gid_t>(setfsgid(static_cast<gid_t>(-1))) == gid;
    }
    ~LookupIdentity() {
        setfsuid(geteuid());
        setfsgid(getegid());
    }
    LookupIdentity(const LookupIdentity &) = delete;
    LookupIdentity &operator=(const LookupIdentity &) = delete;
    bool held() const { return held_; }

  private:
    bool held_ = false;
};

bool in_group(gid_t gid, gid_t own) {
    if (own == gid)
        return true;
    int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
    count = getgroups(count, groups.data());
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<size_t>(i)] == gid)
            return true;
    return false;
}

// The mode bits against `uid` and `gid`, for a kernel that cannot check a
// descriptor itself: the class the user falls in decides, and the
// superuser needs one execute bit.
bool mode_allows_execute(const struct stat &status, uid_t uid, gid_t gid) {
    if (uid == 0)
        return status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH);
    if (uid == status.st_uid)
        return status.st_mode & S_IXUSR;
    if (in_group(status.st_gid, gid))
        return status.st_mode & S_IXGRP;
    return status.st_mode & S_IXOTH;
}

// What execve requires of the file open on `fd` before it runs it; `flags`
// is 0 to check with the real IDs, AT_EACCESS with the effective ones.
int check_opened(int fd, struct stat &status, int flags, uid_t uid, gid_t gid) {
    if (fstat(fd, &status) < 0)
        return -errno;
    if (!S_ISREG(status.st_mode))
        return -EACCES;
    if (faccessat(fd, "", X_OK, AT_EMPTY_PATH | flags) < 0) {
        if (errno != EINVAL && errno != ENOSYS)
            return -errno;
        if (!mode_allows_execute(status, uid, gid))
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

} // namespace

int open_image(const char *path, struct stat &status, Lookup who) {
    bool as_caller = who == Lookup::caller;
    uid_t uid = as_caller ? getuid() : geteuid();
    gid_t gid = as_caller ? getgid() : getegid();
    int flags = as_caller ? 0 : AT_EACCESS;
    LookupIdentity lookup(uid, gid);
    if (!lookup.held())
        return -EPERM;
    // The name is checked first, as execve checks it, so that the runner
    // tells no more about paths than their user may know; the check that
    // counts is made on the open descriptor.
    if (faccessat(AT_FDCWD, path, X_OK, flags) < 0)
        return -errno;
    // Without O_NONBLOCK a FIFO would hold the open until a writer came.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -errno;
    int checked = check_opened(fd, status, flags, uid, gid);
    if (checked < 0) {
        close(fd);
        return checked;
    }
    return fd;
}

} // namespace taviemu
