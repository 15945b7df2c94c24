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

} // namespace

std::string_view uidname(uid_t uid) {
    const owner_cache::entry *e = users.find(uid);
    if (e == nullptr) {
        const passwd *pw = getpwuid(uid);
        e = &users.add(uid, pw ? pw->pw_name : nullptr);
    }
    return {e->name, e->len};
}

std::string_view gidname(gid_t gid) {
    const owner_cache::entry *e = groups.find(gid);
    if (e == nullptr) {
        const group *gr = getgrgid(gid);
        e = &groups.add(gid, gr ? gr->gr_name : nullptr);
    }
    return {e->name, e->len};
}

} // namespace quarc
