#include "member_writer.h"
#include "messages.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace quarc {
namespace {

struct dir_closer {
    DIR *dir;
    ~dir_closer() { closedir(dir); }
};

// The directory lstat saw is no longer under its name: its header is in the
// archive, its entries are left out.
int replaced(const char *path, const char *what = "directory was replaced while it was read") {
    report_incomplete(path, what);
    return code::ok;
}

// Opens the directory `name` in `dirfd` for reading without following a
// symbolic link in its place; null (with errno set) when it cannot be opened.
DIR *open_directory(int dirfd, const char *name, struct stat &now) {
    int fd = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    DIR *dir = fstat(fd, &now) == 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        int saved = errno;
        close(fd);
        errno = saved;
    }
    return dir;
}

} // namespace

int walkdir(int dirfd, const char *name, const char *path, const struct stat &st) {
    struct stat now;
    DIR *dir = open_directory(dirfd, name, now);
    if (dir == nullptr && errno == ENOENT)
        return replaced(path, "directory was removed while it was read");
    if (dir == nullptr)
        // A name that is no longer a directory (a symbolic link or a file
        // put in its place) was replaced; anything else cannot be opened.
        return errno == ENOTDIR || errno == ELOOP ? replaced(path) : code::cannot_open_directory;
    dir_closer closer{dir};
    if (!same_file(now, st))
        return replaced(path);
    // "%s/%s": a directory given as "/" yields "//etc"; create normalises it.
    // The joined path only names the entry, so it has no fixed limit: the
    // limit applies to the normalised name that is stored.
    std::string entry_path(path);
    entry_path += '/';
    std::size_t base = entry_path.size();
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (entry == nullptr)
            // A read error would leave the rest of the directory out unseen.
            return errno == 0 ? code::ok : code::cannot_open_directory;
        const char *entry_name = entry->d_name;
        if (std::strcmp(entry_name, ".") == 0 || std::strcmp(entry_name, "..") == 0)
            continue;
        entry_path.resize(base);
        entry_path += entry_name;
        int result = create_at(::dirfd(dir), entry_name, entry_path.c_str(), named_by::listing);
        if (result != code::ok)
            return result;
    }
}

} // namespace quarc
