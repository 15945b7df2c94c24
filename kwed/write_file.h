// Putting the text on disk: the two ways of writing a file that saving
// chooses between, and the record of what the file on disk was.
#ifndef KWED_WRITE_FILE_H
#define KWED_WRITE_FILE_H

#include <cstddef>
#include <sys/stat.h>

namespace kwed {

// How a write ended: 0 or the errno of the step that failed, and whether
// the file had already been cut short when it failed (only a write in
// place can leave it so; the text in the editor is then the only copy).
struct writeresult {
    int err = 0;
    bool damaged = false;
};

// Writes the whole text to target, which is no symbolic link (or does not
// exist). Through a temporary file renamed over it where that keeps the
// file's owner, group, mode, links and mount; else in place. On success
// *written is the status of the file written.
writeresult writefile(const char *target, struct stat *written);

// Writes the text into a new file that no other file had the name of;
// no temporary file is involved. 0 or an errno (the name is then free
// again).
int writenew(const char *name, mode_t mode);

// Writes the text to fd as the file is to hold it: CR LF line ends where it
// had them, and a newline at the end when it had one there and the text no
// longer ends in one (an empty text stays empty). False with errno set when
// a write fails.
bool writetext(int fd);

// Whether this user may write path (with the rights that count for
// opening it), or create it in its folder when it does not exist. Only a
// refusal (no permission, a read-only file system) counts as false.
bool maywrite(const char *path);

// Follows symbolic links from name to the file they lead to, which need
// not exist: a dangling link's target is created. 0 or an errno.
int followlinks(const char *name, char *out, std::size_t size);

// Whether path lies in a file system whose files the kernel makes up
// (/proc, /sys): they can only be written in place.
bool pseudofile(const char *path);

} // namespace kwed

#endif
