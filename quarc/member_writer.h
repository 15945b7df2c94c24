// The member writer and the directory walk: one path in, one archive member
// (and for a directory, all its entries) out on standard output.
#pragma once

#include <cerrno>
#include <sys/stat.h>

namespace quarc {

// Result codes of create and walkdir. main turns every code but ok into
// exit status 1; none of them is shown to the user.
namespace code {
constexpr int ok = 0;                    // member written or excluded, or left out and named
constexpr int does_not_fit = 1;          // a number too wide for its field
constexpr int cannot_stat = 2;           // lstat failed
constexpr int cannot_read_link = 3;      // readlink failed
constexpr int short_write = 4;           // the archive could not be written
constexpr int cannot_open = 5;           // a regular file cannot be opened for reading
constexpr int cannot_open_directory = 7; // a directory cannot be opened or read
constexpr int empty_name = 9;            // the name normalises to nothing and is no directory
} // namespace code

// Who gave a member's name: the caller, whose name must be there, or a
// listing (a line of standard input, a directory entry), which may name a
// file that is gone by the time it is examined: that member is named on
// standard error and left out, and the run goes on.
enum class named_by { caller, listing };

// Writes the member for `path` (normalised here; the file itself is reached
// through `path` unchanged) and returns a code.
int create(const char *path, named_by who);

// The same for the entry `name` of the open directory `dirfd` (AT_FDCWD for
// a name from the command line or standard input); `path` is the entry's
// joined path, which gives the member name. The file is reached through the
// descriptor, so no symbolic link put into a parent on the way is followed.
int create_at(int dirfd, const char *name, const char *path, named_by who);

// Archives every entry of the directory `name` in `dirfd` through create_at,
// depth first. `st` is what lstat saw under the name; a different directory
// found there by the time it is opened is left out.
int walkdir(int dirfd, const char *name, const char *path, const struct stat &st);

// Copies the data of the regular file `name` in `dirfd` that lstat saw as
// `st`: its size, padded to whole blocks. A different file found there by
// the time it is opened gives zero bytes in its place.
int copydata(int dirfd, const char *name, const char *path, const struct stat &st);

// Whether an error says that a name is no longer there: it, or a directory
// on its way, was removed or renamed since it was seen.
inline bool is_gone(int err) {
    return err == ENOENT || err == ENOTDIR;
}

// Whether two file states are of one file: a name that lstat saw and what
// was opened under it a moment later.
inline bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace quarc
