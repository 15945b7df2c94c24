#include "hard_links.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quarc {

char **hrdlink = nullptr;
file_id *inode = nullptr;
int nhrdlink = 0;

namespace {

// The tables cannot grow: the run cannot go on without losing links.
[[noreturn]] void out_of_memory(const char *what) {
    std::fprintf(stderr, "%s[%d]", what, nhrdlink);
    std::exit(1);
}

} // namespace

const char *find_hardlink(file_id id) {
    for (int i = 0; i < nhrdlink; ++i)
        if (inode[i].ino == id.ino && inode[i].dev == id.dev)
            return hrdlink[i];
    return nullptr;
}

void enter_hardlink(const char *name, file_id id) {
    auto grown =
        static_cast<char **>(std::realloc(hrdlink, sizeof(char *) * (std::size_t(nhrdlink) + 1)));
    if (grown == nullptr)
        out_of_memory("malloc() error in create(), hrdlink");
    hrdlink = grown;
    char *copy = strdup(name);
    if (copy == nullptr)
        out_of_memory("malloc() error in create(), hrdlink");
    auto ids =
        static_cast<file_id *>(std::realloc(inode, sizeof(file_id) * (std::size_t(nhrdlink) + 1)));
    if (ids == nullptr)
        out_of_memory("realloc() error in create(), inode");
    inode = ids;
    hrdlink[nhrdlink] = copy;
    inode[nhrdlink] = id;
    ++nhrdlink;
}

void release_hardlinks() {
    for (int i = 0; i < nhrdlink; ++i)
        std::free(hrdlink[i]);
    std::free(hrdlink);
    std::free(inode);
    hrdlink = nullptr;
    inode = nullptr;
    nhrdlink = 0;
}

} // namespace quarc
