// Finding the run-control file: the name as given, then under the home
// directory, then under the system's etc directory.
#include "core_messages.h"
#include "file_place.h"
#include "kwed.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kwed {

char *pathname(const char *dir, const char *name) {
    if (dir == nullptr)
        dir = "";
    if (name == nullptr)
        name = "";
    std::size_t dlen = std::strlen(dir);
    std::size_t nlen = std::strlen(name);
    auto *path = static_cast<char *>(std::malloc(dlen + nlen + 2));
    if (path == nullptr)
        return nullptr;
    std::memcpy(path, dir, dlen);
    path[dlen] = '/';
    std::memcpy(path + dlen + 1, name, nlen + 1);
    return path;
}

namespace {

bool ours(const struct stat &st) {
    return st.st_uid == ::geteuid() || st.st_uid == 0;
}

// Whether a run-control file may steer this user's editor: it belongs to
// the user or to root, and no one else may write to it. A file planted in
// a shared folder (the current one being /tmp, say) is passed over, with a
// message on the message line that names it.
bool trusted(const char *path, const struct stat &st) {
    if (!ours(st)) {
        msg(m_rcforeign, path, static_cast<long>(st.st_uid));
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        msg(m_rcwritable, path);
        return false;
    }
    return true;
}

// Whether the name itself may lead elsewhere: a link there that neither
// this user nor root made says nothing of the file it points to, whoever
// owns that (a file of root's, a file of the kernel's).
bool trustedname(const char *path, const place &where) {
    struct stat st;
    if (statplace(where, &st) != 0 || !S_ISLNK(st.st_mode) || ours(st))
        return true;
    msg(m_rclink, path, static_cast<long>(st.st_uid));
    return false;
}

// Whether the file opened may steer the editor. The owner and mode of a
// file in /proc or /sys are the kernel's, whoever wrote what it holds (the
// command line of another user's process, say).
bool trustedfile(const char *path, int fd, const struct stat &st) {
    if (pseudofile(fd)) {
        msg(m_rcpseudo, path);
        return false;
    }
    return trusted(path, st);
}

// Opens a candidate for reading, through its folder and its links
// followed once, and only when it is a regular file: a folder does not
// count as found, and a FIFO or a device is passed over with a message
// (opening it never waits). The search goes on; so it does past a file
// that is not to be trusted, unless the name was given.
std::FILE *open_candidate(const char *path, bool given) {
    place where;
    if (openplace(path, &where) != 0 || (!given && !trustedname(path, where)))
        return nullptr;
    place target;
    descriptor fd;
    struct stat st;
    int err = openfollowed(where, O_RDONLY, &target, &fd, &st);
    if (err == not_regular)
        msg(m_notregular, path);
    if (err != 0 || (!given && !trustedfile(path, fd.get(), st)))
        return nullptr;
    std::FILE *fp = fdopen(fd.get(), "r");
    if (fp != nullptr)
        fd.release();
    return fp;
}

// Opens dir/name; `joined` is false when the name could not be built.
std::FILE *open_under(const char *dir, const char *name, bool given, bool &joined) {
    char *path = pathname(dir, name);
    joined = path != nullptr;
    if (path == nullptr)
        return nullptr;
    std::FILE *fp = open_candidate(path, given);
    std::free(path);
    return fp;
}

} // namespace

std::FILE *openrc(const char *name, bool given) {
    if (name == nullptr)
        return nullptr;
    if (std::FILE *fp = open_candidate(name, given))
        return fp;
    bool joined = false;
    if (const char *home = std::getenv("HOME")) {
        // Without memory for the joined name this place is skipped.
        if (std::FILE *fp = open_under(home, name, given, joined))
            return fp;
    }
    return open_under(etcdir(), name, given, joined);
}

const char *etcdir() {
    const char *etc = std::getenv("ETCDIR");
    return etc ? etc : KWED_SYSCONFDIR;
}

} // namespace kwed
