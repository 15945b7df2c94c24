// Finding the run-control file: the name as given, then under the home
// directory, then under the system's etc directory.
#include "kwed.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

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

// Opens a candidate for reading. A directory opens on Linux but cannot be
// read as a file, so it does not count as found and the search goes on.
std::FILE *open_candidate(const char *path) {
    std::FILE *fp = std::fopen(path, "r");
    if (fp == nullptr)
        return nullptr;
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(fp);
        return nullptr;
    }
    return fp;
}

// Opens dir/name; `joined` is false when the name could not be built.
std::FILE *open_under(const char *dir, const char *name, bool &joined) {
    char *path = pathname(dir, name);
    joined = path != nullptr;
    if (path == nullptr)
        return nullptr;
    std::FILE *fp = open_candidate(path);
    std::free(path);
    return fp;
}

} // namespace

std::FILE *openrc(const char *name) {
    if (name == nullptr)
        return nullptr;
    if (std::FILE *fp = open_candidate(name))
        return fp;
    bool joined = false;
    if (const char *home = std::getenv("HOME")) {
        // Without memory for the joined name this place is skipped.
        if (std::FILE *fp = open_under(home, name, joined))
            return fp;
    }
    return open_under(etcdir(), name, joined);
}

const char *etcdir() {
    const char *etc = std::getenv("ETCDIR");
    return etc ? etc : KWED_SYSCONFDIR;
}

} // namespace kwed
