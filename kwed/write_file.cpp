// Writing the text to disk. The usual way is a new file beside the
// original, flushed and given the original's owner, group and mode, then
// renamed over it: until the rename the original stays as it was, and a
// crash leaves one or the other whole. Where the rename would make the file
// something else (break its hard links, lose its owner or group, replace a
// mount point, or cannot be done at all) the text is written into the file
// itself instead, once it is whole in memory.
#include "write_file.h"

#include "editor_core.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace kwed {

namespace {

bool writeall(int fd, const char *p, std::size_t n) {
    while (n > 0) {
        ssize_t done_now = ::write(fd, p, n);
        if (done_now < 0 && errno == EINTR)
            continue;
        if (done_now <= 0) {
            if (done_now == 0)
                errno = EIO;
            return false;
        }
        p += done_now;
        n -= static_cast<std::size_t>(done_now);
    }
    return true;
}

// Output gathered into large writes: the text goes out with its line ends
// as the file has them, a piece at a time, never copied whole.
class chunkwriter {
  public:
    explicit chunkwriter(int fd) : fd_(fd) {}
    void put(const char *p, std::size_t n) {
        if (n > sizeof buf_ - used_) {
            flush();
            // A long piece goes out as it is.
            if (n >= sizeof buf_) {
                ok_ = ok_ && writeall(fd_, p, n);
                return;
            }
        }
        std::memcpy(buf_ + used_, p, n);
        used_ += n;
    }
    // The bytes [p, p + n) of the text, with a CR before each LF: copied
    // straight into the buffer, a line or what fits of it at a time.
    void putcrlf(const char *p, std::size_t n) {
        const char *end = p + n;
        while (p < end) {
            if (sizeof buf_ - used_ < 2 + 64)
                flush();
            std::size_t room = sizeof buf_ - used_ - 2;
            std::size_t left = static_cast<std::size_t>(end - p);
            std::size_t look = left < room ? left : room;
            const void *nl = std::memchr(p, '\n', look);
            std::size_t take =
                nl ? static_cast<std::size_t>(static_cast<const char *>(nl) - p) : look;
            std::memcpy(buf_ + used_, p, take);
            used_ += take;
            p += take;
            if (nl) {
                buf_[used_++] = '\r';
                buf_[used_++] = '\n';
                ++p;
            }
        }
    }
    bool flush() {
        ok_ = ok_ && writeall(fd_, buf_, used_);
        used_ = 0;
        return ok_;
    }

  private:
    int fd_;
    bool ok_ = true;
    std::size_t used_ = 0;
    char buf_[1 << 18];
};

} // namespace

bool writetext(int fd) {
    offset_t size = textsize();
    bool addnewline = edited.finalnewline && size > 0 && byteat(size - 1) != '\n';
    if (!edited.crlf && !addnewline)
        return writeall(fd, buffer.buf, static_cast<std::size_t>(buffer.gap - buffer.buf)) &&
               writeall(fd, buffer.egap, static_cast<std::size_t>(buffer.ebuf - buffer.egap));
    chunkwriter out(fd);
    const std::pair<const char *, const char *> halves[] = {{buffer.buf, buffer.gap},
                                                            {buffer.egap, buffer.ebuf}};
    for (const auto &[from, to] : halves) {
        if (edited.crlf)
            out.putcrlf(from, static_cast<std::size_t>(to - from));
        else
            out.put(from, static_cast<std::size_t>(to - from));
    }
    if (addnewline)
        out.put(edited.crlf ? "\r\n" : "\n", edited.crlf ? 2 : 1);
    return out.flush();
}

namespace {

// The folder part of path ("." when it has none).
void folderof(const char *path, char *out, std::size_t size) {
    std::snprintf(out, size, "%s", path);
    char *slash = std::strrchr(out, '/');
    if (slash == out)
        slash[1] = '\0';
    else if (slash)
        *slash = '\0';
    else
        std::snprintf(out, size, ".");
}

// Flushes the folder that holds path, so that the rename itself is on disk.
void syncfolder(const char *path) {
    char folder[filename_size];
    folderof(path, folder, sizeof folder);
    int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Whether the text fits where the old file stands once its blocks are
// freed, with what is free besides.
bool fitsinplace(const char *target, const struct stat &old) {
    struct statvfs v;
    if (::statvfs(target, &v) != 0 || v.f_frsize == 0)
        return false;
    unsigned long long block = v.f_frsize;
    unsigned long long room =
        v.f_bavail * block + static_cast<unsigned long long>(old.st_blocks) * 512;
    unsigned long long need =
        (static_cast<unsigned long long>(disksize()) + block - 1) / block * block;
    return need <= room;
}

// Truncates the file and writes the text into it, so that it keeps its
// inode and everything that hangs on it. The text is first made one piece
// in memory, so that nothing is left to prepare once the file is cut.
writeresult inplace(const char *target, struct stat *written) {
    movegap(textsize());
    int fd = ::open(target, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {errno, false};
    bool pseudo = pseudofile(target);
    if (!pseudo && ::ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        return {err, false};
    }
    // Files the kernel makes up take their new value in one write and
    // cannot be flushed.
    bool ok = writetext(fd) && (pseudo || ::fsync(fd) == 0) && ::fstat(fd, written) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok)
        return {err ? err : EIO, !pseudo};
    return {};
}

// How the temporary copy ended: renamed over the file, failed, or failed
// in a way that calls for writing in place.
enum class temp_outcome { written, failed, use_inplace };

// Gives the temporary file the original's owner, group and mode; false when
// they cannot all be given back (only the owner may change a file's group,
// and only to groups he is in; only root may give a file away).
bool keepowner(int fd, const struct stat &old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    struct stat now;
    return ::fchmod(fd, old.st_mode & 07777) == 0 && ::fstat(fd, &now) == 0 &&
           now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777);
}

// The text through a temporary file renamed over target. old is the
// original's status, null for a new file.
temp_outcome viatemp(const char *target, const struct stat *old, struct stat *written, int *err) {
    char temp[filename_size + 16];
    if (std::snprintf(temp, sizeof temp, "%s.kwedXXXXXX", target) >=
        static_cast<int>(sizeof temp)) {
        *err = ENAMETOOLONG;
        return old ? temp_outcome::use_inplace : temp_outcome::failed;
    }
    int fd = ::mkostemp(temp, O_CLOEXEC);
    if (fd < 0) {
        // No new file can be made there (the folder is not writable, no
        // inode or name is left): the file itself may still be writable.
        *err = errno;
        return old ? temp_outcome::use_inplace : temp_outcome::failed;
    }
    temp_outcome failure = temp_outcome::failed;
    bool ok = writetext(fd);
    if (ok && old && !keepowner(fd, *old)) {
        ok = false;
        failure = temp_outcome::use_inplace;
    }
    if (ok && !old) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && ::fsync(fd) == 0 && ::fstat(fd, written) == 0;
    *err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        *err = errno;
    }
    if (ok && ::rename(temp, target) != 0) {
        ok = false;
        *err = errno;
        // A mount point of its own, or a sticky folder's file of another.
        if (old && (errno == EBUSY || errno == EXDEV || errno == EPERM || errno == EACCES))
            failure = temp_outcome::use_inplace;
    }
    if (!ok) {
        ::unlink(temp);
        if (*err == 0)
            *err = EIO;
        // The copy did not fit beside the file; the text may still fit in
        // its place, now that the copy is gone.
        if (old && (*err == ENOSPC || *err == EDQUOT))
            failure = fitsinplace(target, *old) ? temp_outcome::use_inplace : temp_outcome::failed;
        return failure;
    }
    syncfolder(target);
    return temp_outcome::written;
}

} // namespace

bool pseudofile(const char *path) {
    struct statfs fs;
    return ::statfs(path, &fs) == 0 && (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC);
}

writeresult writefile(const char *target, struct stat *written) {
    struct stat st;
    bool exists = ::stat(target, &st) == 0;
    if (!exists && errno != ENOENT)
        return {errno, false};
    if (exists && !S_ISREG(st.st_mode))
        return {S_ISDIR(st.st_mode) ? EISDIR : EINVAL, false};
    // A file that we may not write to is not replaced, whatever the folder allows.
    if (exists && ::access(target, W_OK) != 0)
        return {errno, false};
    // A new file would break the links, and the kernel's own files are
    // only written in place.
    if (exists && (st.st_nlink > 1 || pseudofile(target)))
        return inplace(target, written);
    int err = 0;
    switch (viatemp(target, exists ? &st : nullptr, written, &err)) {
    case temp_outcome::written:
        return {};
    case temp_outcome::use_inplace:
        return inplace(target, written);
    case temp_outcome::failed:
        break;
    }
    return {err, false};
}

bool maywrite(const char *path) {
    if (::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0)
        return true;
    if (errno != ENOENT)
        return errno != EACCES && errno != EPERM && errno != EROFS;
    // A new file: its folder must take it.
    char folder[filename_size];
    folderof(path, folder, sizeof folder);
    return ::faccessat(AT_FDCWD, folder, W_OK | X_OK, AT_EACCESS) == 0 ||
           (errno != EACCES && errno != EPERM && errno != EROFS);
}

int writenew(const char *name, mode_t mode) {
    int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return errno;
    bool ok = writetext(fd) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(name);
        return err ? err : EIO;
    }
    syncfolder(name);
    return 0;
}

int followlinks(const char *name, char *out, std::size_t size) {
    if (std::snprintf(out, size, "%s", name) >= static_cast<int>(size))
        return ENAMETOOLONG;
    // As many links as the kernel itself follows in one name.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(out, &st) != 0 || !S_ISLNK(st.st_mode))
            return 0;
        char link[PATH_MAX];
        ssize_t n = ::readlink(out, link, sizeof link - 1);
        if (n < 0)
            return errno;
        link[n] = '\0';
        // A relative link is read from the folder that holds it.
        char *slash = std::strrchr(out, '/');
        std::size_t keep =
            link[0] == '/' || slash == nullptr ? 0 : static_cast<std::size_t>(slash - out + 1);
        if (keep + static_cast<std::size_t>(n) >= size)
            return ENAMETOOLONG;
        std::memcpy(out + keep, link, static_cast<std::size_t>(n) + 1);
    }
    return ELOOP;
}

} // namespace kwed
