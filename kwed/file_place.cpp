// Places of files: a folder kept open and a name in it, following the
// symbolic links found there one at a time, each from the folder that
// holds it, and opening the file found at the end for its data.
#include "file_place.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace kwed {

namespace {

// As many links as the kernel itself follows in one path.
constexpr int most_links = 40;

// Opens the folder of path, a relative one from the folder at, and takes
// the name after its last '/'.
int openfrom(int at, const char *path, place *out) {
    if (path[0] == '\0')
        return ENOENT;
    const char *slash = std::strrchr(path, '/');
    char folder[PATH_MAX] = ".";
    if (slash) {
        std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
        if (length >= sizeof folder)
            return ENAMETOOLONG;
        std::memcpy(folder, path, length);
        folder[length] = '\0';
    }
    int fd = ::openat(at, folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const char *name = slash ? slash + 1 : path;
    if (std::strlen(name) >= sizeof out->name) {
        ::close(fd);
        return ENAMETOOLONG;
    }
    out->folder.reset(fd);
    std::strcpy(out->name, name[0] ? name : ".");
    return 0;
}

} // namespace

int openplace(const char *path, place *out) {
    return openfrom(AT_FDCWD, path, out);
}

int followplace(const place &where, place *out) {
    place at;
    at.folder.reset(::fcntl(where.folder.get(), F_DUPFD_CLOEXEC, 0));
    if (!at.folder)
        return errno;
    std::strcpy(at.name, where.name);
    for (int links = 0; links < most_links; ++links) {
        char text[PATH_MAX];
        ssize_t n = ::readlinkat(at.folder.get(), at.name, text, sizeof text - 1);
        if (n < 0) {
            // No link there: a file of another kind, or none yet.
            if (errno != EINVAL && errno != ENOENT)
                return errno;
            *out = std::move(at);
            return 0;
        }
        text[n] = '\0';
        place next;
        if (int err = openfrom(at.folder.get(), text, &next))
            return err;
        at = std::move(next);
    }
    return ELOOP;
}

int statplace(const place &p, struct stat *st) {
    return ::fstatat(p.folder.get(), p.name, st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int statfollowed(const place &where, struct stat *st) {
    place target;
    int err = followplace(where, &target);
    return err ? err : statplace(target, st);
}

int regularonly(const struct stat &st) {
    return S_ISREG(st.st_mode) ? 0 : S_ISDIR(st.st_mode) ? EISDIR : not_regular;
}

int openregular(const place &p, int flags, descriptor *fd, struct stat *st) {
    // No open may wait: the editor holds back the signals that end it
    // while it works, and a FIFO's open waits for a writer for ever.
    fd->reset(
        ::openat(p.folder.get(), p.name, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!*fd)
        return errno;
    int err = ::fstat(fd->get(), st) == 0 ? regularonly(*st) : errno;
    if (err)
        fd->reset();
    return err;
}

int openfollowed(const place &where, int flags, place *target, descriptor *fd, struct stat *st) {
    int err = followplace(where, target);
    return err ? err : openregular(*target, flags, fd, st);
}

bool samefolder(const place &a, const place &b) {
    struct stat x;
    struct stat y;
    return ::fstat(a.folder.get(), &x) == 0 && ::fstat(b.folder.get(), &y) == 0 &&
           x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool pseudofile(int fd) {
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 && (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC);
}

} // namespace kwed
