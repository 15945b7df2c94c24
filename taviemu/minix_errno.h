// Minix's error numbers. Those from 1 to 39 are Linux's, name for name;
// the library knows no others (but 99, 101 and 102, which no call gives),
// so a host error above 39 reaches the program as the Minix error nearest
// in meaning.
#pragma once

#include <cstdint>
#include <span>

namespace taviemu {

constexpr int kMinixErrors = 39; // _NERROR

struct ErrorMapping {
    uint8_t host, minix;
};

// The host errors above 39 with a Minix error of their own, sorted by the
// host's number; any other reads as EIO.
std::span<const ErrorMapping> minix_error_table();
// The Minix error for a host errno.
int minix_errno(int host);

} // namespace taviemu
