#include "header_block.h"
#include "member_writer.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace quarc {
namespace {

struct dir_closer {
    DIR *dir;
    ~dir_closer() { closedir(dir); }
};

} // namespace

int walkdir(const char *path) {
    DIR *dir = opendir(path);
    if (dir == nullptr)
        return code::cannot_open_directory;
    dir_closer closer{dir};
    std::size_t base = std::strlen(path);
    char entry_path[kNameSize];
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (entry == nullptr)
            // A read error would leave the rest of the directory out unseen.
            return errno == 0 ? code::ok : code::cannot_open_directory;
        const char *entry_name = entry->d_name;
        std::size_t len = std::strlen(entry_name);
        if (base + 1 + len > kNameSize - 1)
            continue; // too long for the header: left out without a word
        if (std::strcmp(entry_name, ".") == 0 || std::strcmp(entry_name, "..") == 0)
            continue;
        // "%s/%s": a directory given as "/" yields "//etc"; create normalises it.
        std::memcpy(entry_path, path, base);
        entry_path[base] = '/';
        std::memcpy(entry_path + base + 1, entry_name, len + 1);
        int result = create(entry_path);
        if (result != code::ok)
            return result;
    }
}

} // namespace quarc
