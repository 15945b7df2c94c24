// Finding the run-control file: the name as given, then under the home
// directory, then under the system's etc directory.
#include "core_messages.h"
#include "kwed.h"

#include <cstdlib>
#include <cstring>
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

// Whether a run-control file may steer this user's editor: it belongs to
// the user or to root, and no one else may write to it. A file planted in
// a shared folder (the current one being /tmp, say) is passed over, with a
// message on the message line that names it.
bool trusted(const char *path, const struct stat &st) {
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        msg(m_rcforeign, path, static_cast<long>(st.st_uid));
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        msg(m_rcwritable, path);
        return false;
    }
    return true;
}

// Opens a candidate for reading. A directory opens on Linux but cannot be
// read as a file, so it does not count as found and the search goes on;
// so does a file that is not to be trusted, unless the name was given.
std::FILE *open_candidate(const char *path, bool given) {
    std::FILE *fp = std::fopen(path, "r");
    if (fp == nullptr)
        return nullptr;
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && (S_ISDIR(st.st_mode) || (!given && !trusted(path, st)))) {
        std::fclose(fp);
        return nullptr;
    }
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
