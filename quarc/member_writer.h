// The member writer and the directory walk: one path in, one archive member
// (and for a directory, all its entries) out on standard output.
#pragma once

namespace quarc {

// Result codes of create and walkdir. main turns every code but ok into
// exit status 1; none of them is shown to the user.
namespace code {
constexpr int ok = 0;                    // member written, or name excluded
constexpr int does_not_fit = 1;          // name of 100 or more, or link target of 100 or more
constexpr int cannot_stat = 2;           // lstat failed
constexpr int cannot_read_link = 3;      // readlink failed
constexpr int short_write = 4;           // the archive could not be written
constexpr int cannot_open = 5;           // a regular file cannot be opened for reading
constexpr int cannot_open_directory = 7; // a directory cannot be opened or read
constexpr int empty_name = 9;            // the name normalises to nothing and is no directory
} // namespace code

// Writes the member for `path` (normalised here; the file itself is reached
// through `path` unchanged) and returns a code.
int create(const char *path);

// Archives every entry of the directory `path` through create, depth first.
int walkdir(const char *path);

// Copies a regular file's data, `size` bytes padded to whole blocks.
int copydata(const char *path, long long size);

// Set when a file's size changed while its data was copied: the archive stays
// sound (the data written always matches the size in the header), but the run
// ends with status 1.
extern bool data_changed;

} // namespace quarc
