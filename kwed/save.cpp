// Saving: the commands save, saveas and quit, and the check that the name
// being saved to still leads to the file that was read. Another program may
// have changed that file since, or someone may have put a link in its place;
// either way the user is asked before it is overwritten. How the text gets
// onto the disk is write_file.cpp's.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace kwed {

namespace {

// The file on disk as it was read or last saved: whether it existed, and
// its device, inode, size and modification time.
struct diskfile {
    bool known = false;
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime = {};
};
diskfile ondisk;

void remember(const struct stat &st) {
    ondisk = {true, true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// Whether the name now leads to another file than the one remembered, or
// to the same one changed.
bool changedondisk(const char *fn) {
    if (!ondisk.known)
        return false;
    struct stat st;
    if (::stat(fn, &st) != 0)
        return ondisk.exists && errno == ENOENT;
    if (!ondisk.exists)
        return true;
    // The kernel's own files have no size and make up their times.
    if (pseudofile(fn))
        return false;
    return st.st_dev != ondisk.dev || st.st_ino != ondisk.ino || st.st_size != ondisk.size ||
           st.st_mtim.tv_sec != ondisk.mtime.tv_sec || st.st_mtim.tv_nsec != ondisk.mtime.tv_nsec;
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

void notefile(const char *fn) {
    struct stat st;
    if (::stat(fn, &st) == 0)
        remember(st);
    else
        ondisk = {true, false};
}

int savefile(const char *fn) {
    bool own = std::strcmp(fn, filename) == 0;
    if (edited.unread && own && !confirm(m_unreadable)) {
        msg(m_notsaved);
        return ECANCELED;
    }
    if (own && changedondisk(fn) && !confirm(m_changed, fn)) {
        msg(m_notsaved);
        return ECANCELED;
    }
    // Through a symbolic link, the file it leads to is written, not the link.
    char target[filename_size];
    struct stat written;
    int err = followlinks(fn, target, sizeof target);
    writeresult r = err ? writeresult{err, false} : writefile(target, &written);
    if (r.err) {
        msg(r.damaged ? m_savebroken : m_savefail, fn, std::strerror(r.err));
        // The cut file is now the one on disk: saving it again asks nothing.
        if (r.damaged && own)
            notefile(fn);
        return r.err;
    }
    remember(written);
    modified = 0;
    if (own)
        edited.unread = 0;
    edited.readonly = false;
    undo_mark_saved();
    msg(m_saved, fn, static_cast<long long>(disksize()));
    return 0;
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
