// The sessdump applet: every utmp record of a file or of standard input as
// one pipe-delimited line on standard output.
#pragma once

#include "support.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

namespace sysapplets {

extern const char sessdump_usage[];

// One utmp record as the C library lays it out on 32-bit x86, little-endian.
constexpr std::size_t utmp_record_size = 384;

// Field offsets within a record.
namespace utmp_offset {
constexpr std::size_t type = 0;          // signed 16-bit
constexpr std::size_t pid = 4;           // signed 32-bit
constexpr std::size_t line = 8;          // 32 bytes of text
constexpr std::size_t id = 40;           // 4 bytes of text
constexpr std::size_t user = 44;         // 32 bytes of text
constexpr std::size_t host = 76;         // 256 bytes of text
constexpr std::size_t termination = 332; // signed 16-bit
constexpr std::size_t exit = 334;        // signed 16-bit
constexpr std::size_t session = 336;     // signed 32-bit
constexpr std::size_t tv_sec = 340;      // signed 32-bit
constexpr std::size_t tv_usec = 344;     // signed 32-bit
constexpr std::size_t addr = 348;        // first of four 32-bit words
} // namespace utmp_offset

// The longest dump line a record can give: each text field may run on to
// the end of the record when it holds no zero byte, plus the widest
// numbers, eleven separators and the newline.
constexpr std::size_t utmp_line_max =
    (utmp_record_size - utmp_offset::line) + (utmp_record_size - utmp_offset::id) +
    (utmp_record_size - utmp_offset::user) + (utmp_record_size - utmp_offset::host) +
    3 * 6    // "-32768": type and the two exit halves
    + 4 * 11 // "-2147483648": pid, session, seconds, microseconds
    + 8      // the address word in hexadecimal
    + 11 + 1;

using utmp_record = std::span<const unsigned char, utmp_record_size>;

// Formats one record as its dump line, newline included, into line and
// returns the number of bytes written. Nothing outside the record is read.
std::size_t format_utmp_record(utmp_record record, std::span<char, utmp_line_max> line);

// Dumps every record of in to out. A short final record is dumped with its
// missing bytes as zeros. Returns 0 at the end of the input, -1 when reading
// failed (errno tells why; the whole records before the failure are dumped).
int sessdump_stream(std::FILE *in, std::FILE *out);

// The applet's per-input function: file is null for standard input. Returns
// 0 when the input was dumped, 1 when it could not be opened or read (after
// reporting it through name_and_error).
int sessdump_fn(const file_info *file);

} // namespace sysapplets
