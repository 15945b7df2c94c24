// User and group names for the uname and gname fields. Each number is looked
// up once per run: the databases are slow to search and a tree rarely has
// more than a few owners.
#pragma once

#include <string_view>
#include <sys/types.h>

namespace quarc {

// The name of the user (group), cut to the 32 bytes of the field; empty when
// the database has no entry for the number.
std::string_view uidname(uid_t uid);
std::string_view gidname(gid_t gid);

} // namespace quarc
