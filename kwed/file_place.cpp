// Places of files: a folder kept open and a name in it, and following the
// symbolic links found there one at a time, each from the folder that
// holds it.
#include "file_place.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
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
    std::string folder = path;
    std::string::size_type slash = folder.rfind('/');
    std::string name = slash == std::string::npos ? folder : folder.substr(slash + 1);
    if (slash == std::string::npos)
        folder = ".";
    else
        folder.resize(slash == 0 ? 1 : slash);
    int fd = ::openat(at, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    out->folder.reset(fd);
    out->name = name.empty() ? "." : std::move(name);
    return 0;
}

} // namespace

void descriptor::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

int openplace(const char *path, place *out) {
    return openfrom(AT_FDCWD, path, out);
}

int followplace(const place &where, place *out) {
    place at;
    at.folder.reset(::fcntl(where.folder.get(), F_DUPFD_CLOEXEC, 0));
    if (!at.folder)
        return errno;
    at.name = where.name;
    for (int links = 0; links < most_links; ++links) {
        char text[PATH_MAX];
        ssize_t n = ::readlinkat(at.folder.get(), at.name.c_str(), text, sizeof text - 1);
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
    return ::fstatat(p.folder.get(), p.name.c_str(), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int statfollowed(const place &where, struct stat *st) {
    place target;
    int err = followplace(where, &target);
    return err ? err : statplace(target, st);
}

} // namespace kwed
