#include "owner_names.h"

#include "header_block.h"

#include "owner_db.h"

#include <span>

namespace quarc {
namespace {

constexpr int kCachedOwners = 8; // owners remembered per database

struct owner_cache {
    struct entry {
        unsigned int id;
        std::size_t len;
        char name[kOwnerNameSize];
    };
    entry entries[kCachedOwners];
    int used = 0;
    int next = 0; // the entry to replace when all are used

    const entry *find(unsigned int id) const {
        for (int i = 0; i < used; ++i)
            if (entries[i].id == id)
                return &entries[i];
        return nullptr;
    }

    // Looks `id` up with `lookup` (which fills a name field and gives its
    // length, or -1 when there is no entry) and keeps the answer.
    const entry &add(unsigned int id, int (*lookup)(unsigned, std::span<char>)) {
        entry &e = entries[next];
        next = (next + 1) % kCachedOwners;
        if (used < kCachedOwners)
            ++used;
        e.id = id;
        int len = lookup(id, std::span<char>(e.name));
        e.len = len < 0 ? 0 : std::size_t(len);
        return e;
    }
};

owner_cache users;
owner_cache groups;

// The cached name for `id`, looked up in the database the first time it is
// asked for.
std::string_view cached_name(owner_cache &cache, unsigned int id,
                             int (*lookup)(unsigned, std::span<char>)) {
    const owner_cache::entry *e = cache.find(id);
    if (e == nullptr)
        e = &cache.add(id, lookup);
    return {e->name, e->len};
}

} // namespace

std::string_view uidname(uid_t uid) {
    return cached_name(users, uid, suite::user_name);
}

std::string_view gidname(gid_t gid) {
    return cached_name(groups, gid, suite::group_name);
}

} // namespace quarc
