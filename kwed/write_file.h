// Putting the text on disk: the two ways of writing a file that saving
// chooses between, and the record of what the file on disk was.
#ifndef KWED_WRITE_FILE_H
#define KWED_WRITE_FILE_H

#include "file_place.h"
#include "kwed.h"

#include <cstddef>
#include <sys/stat.h>

namespace kwed {

// How a write ended: 0 or the errno of the step that failed, and whether
// the file had already been partly overwritten when it failed (only a
// write in place can leave it so; the text in the editor is then the only
// whole copy).
struct writeresult {
    int err = 0;
    bool damaged = false;
};

// Writes the whole text to the file at target, which is no symbolic link;
// old is its status as the caller found it, null when there is none (it is
// then created). Through a temporary file in the same folder renamed over
// it where that keeps the file's owner, group, mode, extended attributes,
// links and mount; else in place, once the text is known to fit. On
// success *written is the status of the file written.
writeresult writefile(editor &ed, const place &target, const struct stat *old,
                      struct stat *written);

// Writes the text into a new file at p, created there (never through a
// link, never over another file: EEXIST when the name is taken); no
// temporary file is involved. 0 or an errno (the name is then free again).
int writenew(const editor &ed, const place &p, mode_t mode);

// Writes the text to fd as the file is to hold it: CR LF line ends where it
// had them, and a newline at the end when it had one there and the text no
// longer ends in one (an empty text stays empty). False with errno set when
// a write fails.
bool writetext(const editor &ed, int fd);

// Whether this user may write the file at p (with the rights that count
// for opening it), or create it in its folder when it does not exist. Only
// a refusal (no permission, a read-only file system) counts as false.
bool maywrite(const place &p);

// Gives the file open as to the extended attributes of the one open as
// from (its ACL, security label, capabilities, user attributes), and takes
// away those it has that from has not. A file capability is set last: a
// change of owner takes it away. False when any of it cannot be done.
bool copyattributes(int from, int to);

} // namespace kwed

#endif
