// Writing the text to disk, every step through the folder that holds the
// file. The usual way is a new file beside the original, flushed and given
// the original's owner, group, mode and extended attributes, then renamed
// over it: until the rename the original stays as it was, and a crash
// leaves one or the other whole. Where the rename would make the file
// something else (break its hard links, lose its owner, group or an
// attribute, replace a mount point, or cannot be done at all) the text is
// written into the file itself instead, once it is whole in memory and
// known to fit.
#include "write_file.h"

#include "editor_core.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/statvfs.h>
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

bool writetext(const editor &ed, int fd) {
    const text_buffer &buffer = ed.buffer;
    const edited_file &edited = ed.edited;
    offset_t size = textsize(buffer);
    bool addnewline = edited.finalnewline && size > 0 && byteat(buffer, size - 1) != '\n';
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

// Flushes the folder, so that a rename in it is on disk.
void syncfolder(const place &p) {
    descriptor dir(::openat(p.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
}

// Whether the text fits where the old file stands, in its blocks and what
// is free besides: for file systems that cannot reserve room ahead.
bool fitsinplace(const editor &ed, int fd, const struct stat &old) {
    struct statvfs v;
    if (::fstatvfs(fd, &v) != 0 || v.f_frsize == 0)
        return false;
    unsigned long long block = v.f_frsize;
    unsigned long long room =
        v.f_bavail * block + static_cast<unsigned long long>(old.st_blocks) * 512;
    unsigned long long need =
        (static_cast<unsigned long long>(disksize(ed)) + block - 1) / block * block;
    return need <= room;
}

// Makes sure that the text fits in the file before any of it is written
// over: the blocks for its whole length are reserved (past the file's end
// without changing its size). 0, or the errno that says why it cannot be
// written there (ENOSPC or EDQUOT: it does not fit).
int makeroom(const editor &ed, int fd, const struct stat &old) {
    off_t need = static_cast<off_t>(disksize(ed));
    if (need == 0)
        return 0;
    int r;
    do
        r = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, need);
    while (r != 0 && errno == EINTR);
    if (r == 0)
        return 0;
    // A file system that cannot reserve room says so; any other failure
    // (no room, over the quota or the size limit) is the answer.
    if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL && errno != ENODEV)
        return errno;
    return fitsinplace(ed, fd, old) ? 0 : ENOSPC;
}

// Cuts the file at the current offset, where the text written ends.
bool cuthere(int fd) {
    off_t end = ::lseek(fd, 0, SEEK_CUR);
    return end >= 0 && ::ftruncate(fd, end) == 0;
}

// Writes the text into the file itself, over the old text from its start,
// and cuts what is left of the old text after it, so that the file keeps
// its inode and everything that hangs on it. The room is made first and
// the text made one piece in memory: once the file is written to, nothing
// is left that a full disk or a lack of memory could stop. old is the file
// as it was checked: a file put in its place since is not written.
writeresult inplace(editor &ed, const place &t, const struct stat &old, struct stat *written) {
    movegap(ed.buffer, textsize(ed.buffer));
    descriptor fd;
    struct stat now;
    if (int err = openregular(t, O_WRONLY, &fd, &now))
        return {err, false};
    if (now.st_dev != old.st_dev || now.st_ino != old.st_ino)
        return {EAGAIN, false};
    // Files the kernel makes up take their new value in one write and
    // cannot be flushed.
    bool pseudo = pseudofile(fd.get());
    int err = pseudo ? 0 : makeroom(ed, fd.get(), old);
    if (err)
        return {err, false};
    bool ok = writetext(ed, fd.get()) &&
              (pseudo || (cuthere(fd.get()) && ::fsync(fd.get()) == 0)) &&
              ::fstat(fd.get(), written) == 0;
    err = errno;
    if (::close(fd.release()) != 0 && ok) {
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

// Gives the temporary file what the original has besides its text: owner,
// group and mode, then its extended attributes (after the owner, whose
// change takes a file capability away). The original is read through a
// descriptor of its own, which must be the file that was checked.
bool keepattributes(const place &t, const struct stat &old, int fd) {
    if (!keepowner(fd, old))
        return false;
    descriptor from;
    struct stat st;
    return openregular(t, O_RDONLY, &from, &st) == 0 && st.st_dev == old.st_dev &&
           st.st_ino == old.st_ino && copyattributes(from.get(), fd);
}

// Six characters for a temporary name, hard to guess, and a NUL.
void randomtail(char tail[7]) {
    static constexpr char letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned long long counter = 0;
    unsigned char bytes[6];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        unsigned long long mix = (static_cast<unsigned long long>(now.tv_nsec) << 20) ^
                                 static_cast<unsigned long long>(::getpid()) ^
                                 ++counter * 0x9E3779B97F4A7C15ULL;
        for (unsigned char &b : bytes) {
            b = static_cast<unsigned char>(mix);
            mix >>= 8;
        }
    }
    for (int i = 0; i < 6; ++i)
        tail[i] = letters[bytes[i] % (sizeof letters - 1)];
    tail[6] = '\0';
}

// Room for a temporary name: the file's name and ".kwed" and six more.
constexpr std::size_t temp_size = NAME_MAX + 12;

// Creates a new file beside the one at t, named after it with ".kwed" and
// six random characters; the descriptor, or -1 with errno set (a name too
// long for the folder gives ENAMETOOLONG).
int opentemp(const place &t, char (&temp)[temp_size]) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        char tail[7];
        randomtail(tail);
        std::snprintf(temp, sizeof temp, "%s.kwed%s", t.name, tail);
        int fd = ::openat(t.folder.get(), temp,
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The text through a temporary file renamed over the file at t. old is the
// original's status, null for a new file.
temp_outcome viatemp(const editor &ed, const place &t, const struct stat *old, struct stat *written,
                     int *err) {
    char temp[temp_size];
    descriptor fd(opentemp(t, temp));
    if (!fd) {
        // No new file can be made there (the folder is not writable, no
        // inode or name is left): the file itself may still be writable.
        *err = errno;
        return old ? temp_outcome::use_inplace : temp_outcome::failed;
    }
    temp_outcome failure = temp_outcome::failed;
    bool ok = writetext(ed, fd.get());
    if (ok && old && !keepattributes(t, *old, fd.get())) {
        ok = false;
        failure = temp_outcome::use_inplace;
    }
    if (ok && !old) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd.get(), 0666 & ~mask) == 0;
    }
    ok = ok && ::fsync(fd.get()) == 0 && ::fstat(fd.get(), written) == 0;
    *err = errno;
    if (::close(fd.release()) != 0 && ok) {
        ok = false;
        *err = errno;
    }
    const int folder = t.folder.get();
    if (ok && ::renameat(folder, temp, folder, t.name) != 0) {
        ok = false;
        *err = errno;
        // A mount point of its own, or a sticky folder's file of another.
        if (old && (errno == EBUSY || errno == EXDEV || errno == EPERM || errno == EACCES))
            failure = temp_outcome::use_inplace;
    }
    if (!ok) {
        ::unlinkat(folder, temp, 0);
        if (*err == 0)
            *err = EIO;
        // The copy did not fit beside the file; the text may still fit in
        // its place, now that the copy is gone.
        if (old && (*err == ENOSPC || *err == EDQUOT))
            failure = temp_outcome::use_inplace;
        return failure;
    }
    syncfolder(t);
    return temp_outcome::written;
}

} // namespace

writeresult writefile(editor &ed, const place &t, const struct stat *old, struct stat *written) {
    // A link put there since it was followed is not written through.
    if (old && S_ISLNK(old->st_mode))
        return {ELOOP, false};
    if (int err = old ? regularonly(*old) : 0)
        return {err, false};
    // A file that we may not write to is not replaced, whatever the folder allows.
    if (old && ::faccessat(t.folder.get(), t.name, W_OK, 0) != 0)
        return {errno, false};
    // A new file would break the links, and the kernel's own files are
    // only written in place.
    if (old && (old->st_nlink > 1 || pseudofile(t.folder.get())))
        return inplace(ed, t, *old, written);
    int err = 0;
    switch (viatemp(ed, t, old, written, &err)) {
    case temp_outcome::written:
        return {};
    case temp_outcome::use_inplace:
        return inplace(ed, t, *old, written);
    case temp_outcome::failed:
        break;
    }
    return {err, false};
}

bool maywrite(const place &p) {
    auto refused = [] { return errno == EACCES || errno == EPERM || errno == EROFS; };
    if (::faccessat(p.folder.get(), p.name, W_OK, AT_EACCESS) == 0)
        return true;
    if (errno != ENOENT)
        return !refused();
    // A new file: its folder must take it.
    return ::faccessat(p.folder.get(), ".", W_OK | X_OK, AT_EACCESS) == 0 || !refused();
}

int writenew(const editor &ed, const place &p, mode_t mode) {
    int fd = ::openat(p.folder.get(), p.name,
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0)
        return errno;
    bool ok = writetext(ed, fd) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlinkat(p.folder.get(), p.name, 0);
        return err ? err : EIO;
    }
    syncfolder(p);
    return 0;
}

} // namespace kwed
