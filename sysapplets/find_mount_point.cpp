// findMountPoint: matches a path against a mount table by name first, then
// by the device number of the file system the path names or lies on.
#include "find_mount_point.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace sysapplets {
namespace {

// Whether entry is the one for name, whose search key is key.
bool entry_matches(const struct mntent &entry, const char *name, dev_t key) {
    if (std::strcmp(name, entry.mnt_dir) == 0 || std::strcmp(name, entry.mnt_fsname) == 0)
        return true;
    struct stat st;
    // Only a block device node stands for a device; the device numbers of
    // character nodes live in another number space and must not match.
    if (stat(entry.mnt_fsname, &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == key)
        return true;
    return stat(entry.mnt_dir, &st) == 0 && st.st_dev == key;
}

} // namespace

struct mntent *findMountPoint(const char *name, const char *mount_table) {
    struct stat st;
    if (stat(name, &st) != 0)
        return nullptr;
    // A block device node is looked up by the device it stands for; anything
    // else by the device of the file system that holds it.
    const dev_t key = S_ISBLK(st.st_mode) ? st.st_rdev : st.st_dev;

    std::FILE *table = setmntent(mount_table, "r");
    if (!table)
        return nullptr;
    struct mntent *entry;
    while ((entry = getmntent(table)) != nullptr)
        if (entry_matches(*entry, name, key))
            break;
    endmntent(table);
    return entry;
}

} // namespace sysapplets
