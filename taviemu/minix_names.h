// Names longer than a Minix name. A directory slot holds 14 bytes of a
// name (NAME_MAX), and the library has no way to see more: a host name
// that is longer reaches the program cut to its first 14 bytes, and the
// program may give that cut name back. Minix itself cuts every longer
// component the same way (it does not refuse it), so the cut name is the
// file's name as far as the program can tell.
#pragma once

#include <cstddef>
#include <string>

namespace taviemu {

constexpr size_t kMinixNameMax = 14;

// `name` with each component of exactly 14 bytes that names nothing in its
// folder replaced by the first entry of that folder, in the folder's own
// order, whose longer name begins with those 14 bytes; empty when no
// component was replaced.
std::string whole_name(const char *name);

} // namespace taviemu
