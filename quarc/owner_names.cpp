#include "owner_names.h"

#include "header_block.h"

#include <cstring>
#include <grp.h>
#include <pwd.h>

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

    const entry &add(unsigned int id, const char *name) {
        entry &e = entries[next];
        next = (next + 1) % kCachedOwners;
        if (used < kCachedOwners)
            ++used;
        e.id = id;
        e.len = name ? strnlen(name, kOwnerNameSize) : 0;
        if (e.len > 0)
            std::memcpy(e.name, name, e.len);
        return e;
    }
};

owner_cache users;
owner_cache groups;

// The cached name for `id`, looked up in the database through `lookup` (which
// gives the name or null) the first time it is asked for.
template <typename Lookup>
std::string_view cached_name(owner_cache &cache, unsigned int id, Lookup lookup) {
    const owner_cache::entry *e = cache.find(id);
    if (e == nullptr)
        e = &cache.add(id, lookup(id));
    return {e->name, e->len};
}

} // namespace

std::string_view uidname(uid_t uid) {
    return cached_name(users, uid, [](uid_t id) -> const char * {
        const passwd *pw = getpwuid(id);
        return pw ? pw->pw_name : nullptr;
    });
}

std::string_view gidname(gid_t gid) {
    return cached_name(groups, gid, [](gid_t id) -> const char * {
        const group *gr = getgrgid(id);
        return gr ? gr->gr_name : nullptr;
    });
}

} // namespace quarc
