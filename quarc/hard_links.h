// The files with more than one name that were archived in this run, keyed by
// device and inode number together: equal inode numbers on two file systems
// are two different files. The tables keep the files in the order they were
// entered; a hash index over them finds a file in constant time.
#pragma once

#include <cstdint>

namespace quarc {

struct file_id {
    std::uint64_t dev;
    std::uint64_t ino;
};

extern char **hrdlink; // first archived name of each file
extern file_id *inode; // parallel to hrdlink
extern int nhrdlink;

// The first name under which the file was archived, or null.
const char *find_hardlink(file_id id);

// Records `name` as the first name of the file. Ends the process with status 1
// when memory runs out.
void enter_hardlink(const char *name, file_id id);

void release_hardlinks();

} // namespace quarc
