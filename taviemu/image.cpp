// Opening an executable and taking on its identity.
#include "image.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace taviemu {

int open_image(const char *path, struct stat &status) {
    if (access(path, X_OK) < 0)
        return -errno;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    if (fstat(fd, &status) < 0) {
        int error = errno;
        close(fd);
        return -error;
    }
    return fd;
}

void take_identity(const struct stat &status) {
    uid_t ruid = getuid();
    gid_t rgid = getgid();
    gid_t egid = (status.st_mode & S_ISGID) ? status.st_gid : rgid;
    uid_t euid = (status.st_mode & S_ISUID) ? status.st_uid : ruid;
    // The group first: once the user has changed, the right to change the
    // group may be gone.
    if (setregid(rgid, egid) < 0) {
        // Without the privilege the identity stays as it was.
    }
    if (setreuid(ruid, euid) < 0) {
        // Likewise.
    }
}

} // namespace taviemu
