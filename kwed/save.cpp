// Saving: the text goes to a new file beside the original, which is
// flushed to disk and given the original's permissions before it is
// renamed over it. Until that rename the original stays as it was, so a
// full disk or a failing write loses nothing.
#include "editor_core.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Flushes the folder that holds path, so that the rename itself is on disk.
void syncfolder(const char *path) {
    char folder[filename_size];
    std::snprintf(folder, sizeof folder, "%s", path);
    char *slash = std::strrchr(folder, '/');
    if (slash == folder)
        slash[1] = '\0';
    else if (slash)
        *slash = '\0';
    else
        std::strcpy(folder, ".");
    int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes the text to target through a temporary file; 0 or an errno.
int writesafely(const char *target) {
    struct stat st;
    bool exists = ::stat(target, &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    // The rename would replace a file that we may not write to.
    if (exists && ::access(target, W_OK) != 0)
        return errno;
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    char temp[filename_size + 16];
    if (std::snprintf(temp, sizeof temp, "%s.kwedXXXXXX", target) >= static_cast<int>(sizeof temp))
        return ENAMETOOLONG;
    int fd = ::mkostemp(temp, O_CLOEXEC);
    if (fd < 0)
        return errno;
    offset_t g = gap - buf;
    bool ok = writeall(fd, buf, static_cast<std::size_t>(g)) &&
              writeall(fd, egap, static_cast<std::size_t>(ebuf - egap));
    if (ok && exists && ::fchown(fd, st.st_uid, st.st_gid) != 0)
        errno = 0; // another owner is kept only where we may give it
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp, target) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp);
        return err ? err : EIO;
    }
    syncfolder(target);
    return 0;
}

// Whether fn names a file that exists and is not the one being edited:
// saving under that name would replace another file's contents.
bool isotherfile(const char *fn) {
    struct stat other;
    if (::stat(fn, &other) != 0)
        return false;
    struct stat own;
    return filename[0] == '\0' || ::stat(filename, &own) != 0 || own.st_dev != other.st_dev ||
           own.st_ino != other.st_ino;
}

} // namespace

int savefile(const char *fn) {
    if (unread && std::strcmp(fn, filename) == 0) {
        if (!confirm(m_unreadable)) {
            msg(m_notsaved);
            return ECANCELED;
        }
    }
    // Through a symbolic link, the file it points to is replaced, not the link.
    char resolved[PATH_MAX];
    const char *target = fn;
    struct stat st;
    if (::lstat(fn, &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(fn, resolved))
        target = resolved;
    int err = writesafely(target);
    if (err) {
        msg(m_savefail, fn, std::strerror(err));
        return err;
    }
    modified = 0;
    if (std::strcmp(fn, filename) == 0)
        unread = 0;
    undo_mark_saved();
    msg(m_saved, fn, static_cast<long long>(textsize()));
    return 0;
}

namespace {

// A name for the rescued text that no file has yet: beside the file being
// edited (or "kwed" in the current folder for an unnamed text), else in the
// home folder; attempts 0 to 9 and 10 to 19 give .save, .save1 ... .save9
// (a zero with precision 0 prints nothing). Returns false when that name is
// taken, too long, or there is no home folder.
bool rescuename(char *name, std::size_t size, int attempt) {
    const char *home = std::getenv("HOME");
    const char *base = filename[0] ? filename : "kwed";
    if (attempt >= 10 && (!home || !*home))
        return false;
    int n = attempt < 10 ? std::snprintf(name, size, "%s.save%.0d", base, attempt)
                         : std::snprintf(name, size, "%s/kwed.save%.0d", home, attempt - 10);
    struct stat st;
    return n > 0 && static_cast<std::size_t>(n) < size && ::lstat(name, &st) != 0 &&
           errno == ENOENT;
}

} // namespace

void rescue() {
    if (!modified) {
        done = 1;
        return;
    }
    char name[filename_size + 32];
    int err = EEXIST;
    for (int attempt = 0; attempt < 20 && err; ++attempt)
        if (rescuename(name, sizeof name, attempt))
            err = writesafely(name);
    if (err)
        fatal(m_lost, std::strerror(err));
    fatal(m_rescued, name);
}

void save() {
    if (filename[0] == '\0')
        saveas();
    else
        savefile(filename);
}

void saveas() {
    char answer[filename_size];
    std::snprintf(answer, sizeof answer, "%s", filename);
    if (!prompt(m_saveprompt, answer, sizeof answer))
        return;
    if (answer[0] == '\0') {
        msg(m_noname);
        return;
    }
    if (isotherfile(answer) && !confirm(m_exists)) {
        msg(m_notsaved);
        return;
    }
    if (savefile(answer) == 0)
        std::strcpy(filename, answer);
}

void quit() {
    if (modified && !confirm(m_quitprompt))
        return;
    done = 1;
}

} // namespace kwed
