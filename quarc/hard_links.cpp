#include "hard_links.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quarc {

char **hrdlink = nullptr;
file_id *inode = nullptr;
int nhrdlink = 0;

namespace {

// The tables grow by doubling, so that entering n files costs O(n) copies.
std::size_t capacity = 0;

// An open-addressing index over the tables: each slot holds an entry number
// plus one, 0 for a free slot. Its size is a power of two and at least twice
// the number of entries, so a search ends at a free slot soon.
int *slots = nullptr;
std::size_t nslots = 0;

// The tables cannot grow: the run cannot go on without losing links.
[[noreturn]] void out_of_memory(const char *what) {
    std::fprintf(stderr, "%s[%d]", what, nhrdlink);
    std::exit(1);
}

std::size_t hash_of(file_id id) {
    std::uint64_t h = id.ino * 0x9e3779b97f4a7c15ULL ^ id.dev * 0xc2b2ae3d27d4eb4fULL;
    return std::size_t(h ^ (h >> 29));
}

bool same(file_id a, file_id b) {
    return a.ino == b.ino && a.dev == b.dev;
}

// The slot that holds `id`, or the free slot where it would go.
std::size_t slot_of(file_id id) {
    std::size_t mask = nslots - 1;
    std::size_t i = hash_of(id) & mask;
    while (slots[i] != 0 && !same(inode[slots[i] - 1], id))
        i = (i + 1) & mask;
    return i;
}

// Makes room for one more entry in the tables and in the index.
void make_room() {
    if (std::size_t(nhrdlink) == capacity) {
        std::size_t grown = capacity == 0 ? 64 : capacity * 2;
        auto names = static_cast<char **>(std::realloc(hrdlink, sizeof(char *) * grown));
        if (names == nullptr)
            out_of_memory("malloc() error in create(), hrdlink");
        hrdlink = names;
        auto ids = static_cast<file_id *>(std::realloc(inode, sizeof(file_id) * grown));
        if (ids == nullptr)
            out_of_memory("realloc() error in create(), inode");
        inode = ids;
        capacity = grown;
    }
    if (2 * (std::size_t(nhrdlink) + 1) <= nslots)
        return;
    std::size_t grown = nslots == 0 ? 128 : nslots * 2;
    auto index = static_cast<int *>(std::calloc(grown, sizeof(int)));
    if (index == nullptr)
        out_of_memory("malloc() error in create(), hrdlink");
    std::free(slots);
    slots = index;
    nslots = grown;
    for (int i = 0; i < nhrdlink; ++i)
        slots[slot_of(inode[i])] = i + 1;
}

} // namespace

const char *find_hardlink(file_id id) {
    if (nslots == 0)
        return nullptr;
    int entry = slots[slot_of(id)];
    return entry != 0 ? hrdlink[entry - 1] : nullptr;
}

void enter_hardlink(const char *name, file_id id) {
    make_room();
    char *copy = strdup(name);
    if (copy == nullptr)
        out_of_memory("malloc() error in create(), hrdlink");
    hrdlink[nhrdlink] = copy;
    inode[nhrdlink] = id;
    ++nhrdlink;
    slots[slot_of(id)] = nhrdlink;
}

void release_hardlinks() {
    for (int i = 0; i < nhrdlink; ++i)
        std::free(hrdlink[i]);
    std::free(hrdlink);
    std::free(inode);
    std::free(slots);
    hrdlink = nullptr;
    inode = nullptr;
    slots = nullptr;
    nhrdlink = 0;
    capacity = 0;
    nslots = 0;
}

} // namespace quarc
