// Where a file is: the folder that holds it, kept open, and its name in
// that folder. Every file the editor opens (to edit, to insert, the
// run-control file, the rescue file) is reached this way, and every step of
// reading and saving it goes through the open folder, so that renaming or
// replacing a folder on the way to it (with a link to another folder, say)
// cannot make a later step land in another file.
#ifndef KWED_FILE_PLACE_H
#define KWED_FILE_PLACE_H

#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kwed {

// An open file descriptor, closed when it goes.
class descriptor {
  public:
    descriptor() = default;
    explicit descriptor(int fd) : fd_(fd) {}
    ~descriptor() { reset(); }
    descriptor(descriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    descriptor &operator=(descriptor &&other) noexcept {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    descriptor(const descriptor &) = delete;
    descriptor &operator=(const descriptor &) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes what it holds and takes fd instead.
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
};

// A folder opened for reaching the names in it (O_PATH), and one name
// there: never empty and without a '/'; "." for a path that ends in one.
struct place {
    descriptor folder;
    char name[NAME_MAX + 1] = "";
};

// Opens the folder of path (its part before the last '/', "." when there
// is none) and takes the name after it. 0 or the errno of the open.
int openplace(const char *path, place *out);

// Follows symbolic links from where.name, as many as the kernel follows in
// one path: each link's text is read once and taken from the folder that
// holds the link, and the folder named in it is opened from there. *out is
// then where the file is, which need not exist (a link may point to a new
// file). 0, or the errno that stopped the walk: ELOOP after too many links,
// ENOENT when a folder on the way is missing.
int followplace(const place &where, place *out);

// The status of the file at p itself (a link there is not followed).
int statplace(const place &p, struct stat *st);

// The status of the file that where leads to through its links, as
// followplace finds it: 0, ENOENT when it is not there, or the errno of
// the step that failed.
int statfollowed(const place &where, struct stat *st);

// What reaching a file's data gives for a file of another kind than a
// regular file or a folder (a FIFO, a device, a socket), for which no
// errno says it.
constexpr int not_regular = -1;

// 0 for a regular file, EISDIR for a folder, not_regular for any other kind.
int regularonly(const struct stat &st);

// Opens the file at p itself for its data (flags: O_RDONLY or O_WRONLY): a
// link there is not followed (ELOOP), the open never waits (a FIFO, a
// device), and only a regular file is kept open. *st is the status of what
// was opened. 0, or what regularonly or the open gave.
int openregular(const place &p, int flags, descriptor *fd, struct stat *st);

// The same for the file that where leads to through its links, followed
// once as followplace does; *target is where they led.
int openfollowed(const place &where, int flags, place *target, descriptor *fd, struct stat *st);

// Whether two places are in the same folder.
bool samefolder(const place &a, const place &b);

// Whether the open file or folder fd lies in a file system whose files the
// kernel makes up (/proc, /sys): their owners and modes say nothing of who
// wrote them, and they can only be written in place.
bool pseudofile(int fd);

} // namespace kwed

#endif
