// Mount-table lookup: the entry of the file system a path names or lies on.
#pragma once

#include <mntent.h>

namespace sysapplets {

// Searches the mount table in the file mount_table for the entry of name: a
// mount directory, a device name, a block device node, or any file on a
// mounted file system. Returns the first matching entry in table order, or
// null when name cannot be queried, the table cannot be opened or nothing
// matches. The entry is the C library's storage for the last entry read and
// stays valid until the next mount-table read.
struct mntent *findMountPoint(const char *name, const char *mount_table);

} // namespace sysapplets
