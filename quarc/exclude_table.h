// The names to leave out of the archive, normalised, complete before the
// first member is written.
#pragma once

#include <string_view>

namespace quarc {

extern char **exclude; // heap copies of the normalised names; null when there are none
extern int nexclude;

// Whether a normalised member name is one of the exclude names.
bool is_excluded(std::string_view name);

// Allocates the table for `count` names; false when that fails.
bool make_exclude_table(int count);

// Normalises `name` and appends a heap copy of the result; false when the copy
// cannot be allocated.
bool add_exclude(const char *name);

void release_exclude_table();

} // namespace quarc
