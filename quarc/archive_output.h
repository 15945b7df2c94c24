// Standard output as the archive stream. Headers and small files go through
// the C library's buffered stream; the data of a large regular file may go
// from the file to the output inside the kernel once that buffer is flushed.
// The bytes of the archive are the same whichever way they take.
#pragma once

#include <cstddef>
#include <sys/types.h>

namespace quarc {

// Gives standard output its buffer and finds out what it is (a pipe, a
// regular file or anything else). Called before anything is written.
void start_archive();

// Whether a file is the very file the archive is being written to (standard
// output redirected into the tree being archived).
bool is_the_archive(dev_t dev, ino_t ino);

// Appends bytes to the archive; false when they could not be written.
bool write_archive(const char *data, std::size_t n);
bool write_zeros(long long n);

// The error that stopped the archive from being written, or 0.
int write_error();

struct copy_outcome {
    long long copied = 0; // bytes of the file written to the archive
    bool grew = false;    // the file had more than the stated size
    int read_errno = 0;   // a read failed with this error
    bool write_failed = false;
};

// Copies at most `size` bytes of the open file `fd` to the archive and finds
// out whether the file held more.
copy_outcome copy_from_file(int fd, long long size);

// Writes the end marker (two zero blocks) and flushes; false when any part of
// the archive could not be written.
bool finish_archive();

} // namespace quarc
