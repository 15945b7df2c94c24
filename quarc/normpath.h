// Path normalisation shared by exclude names and member names, so that the
// two can be compared byte for byte.
#pragma once

#include <cstddef>
#include <span>

namespace quarc {

// Writes the normalised form of the NUL-terminated path `src` into `dst`:
// leading slashes, runs of slashes, trailing slashes and every "." component
// go; ".." and names that merely begin with a dot stay. The result is never
// longer than `src`. Only as much as fits in `dst` with its NUL is written,
// and `dst` is always NUL-terminated (when it has room for anything).
// Returns the full length of the normalised form, which tells the caller
// whether it was cut short (a result of dst.size() or more).
std::size_t normpath(const char *src, std::span<char> dst);

} // namespace quarc
