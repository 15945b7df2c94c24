// User and group names by number, for the tools that store or show a file's
// or a process's owner.
//
// A statically linked program reads /etc/passwd and /etc/group itself: the C
// library's lookups would need its shared name-service modules at run time,
// and a rescue disk may not have them. A dynamically linked program asks the
// C library, which also knows the other databases the system is set up for.
#pragma once

#include <span>
#include <string_view>

namespace suite {

// Copies the name of the user (group) with the number `id` into `out`, cut
// to its size and not NUL-terminated. Returns the number of bytes copied, or
// -1 when there is no such user (group).
int user_name(unsigned id, std::span<char> out);
int group_name(unsigned id, std::span<char> out);

// The same from a file of colon-separated lines in the form of /etc/passwd
// and /etc/group ("name:password:number:..."): the name on the first line
// whose number is `id`. Empty lines and lines that begin with "#" are
// skipped; -1 also when the file cannot be read.
int name_in_file(const char *file, unsigned id, std::span<char> out);

// One line of such a file (with or without its newline): the name when the
// line is an entry for `id`, empty otherwise. The name lies inside `line`.
std::string_view entry_name(std::string_view line, unsigned id);

} // namespace suite
