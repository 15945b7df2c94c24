// Saving: the commands save, saveas and quit, and the check that the file's
// place still holds the file that was read. Another program may have
// changed that file since, someone may have put a link in its place (one
// that points to no file, even), or the file's path may lead to another
// folder by now; each time the user is asked before anything is written.
// How the text gets onto the disk is write_file.cpp's.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kwed {

namespace {

// What saving found where the file is: 0 and its status, ENOENT when there
// is none, or the errno of the step that failed.
struct found {
    int err = 0;
    struct stat st = {};
};

// Whether what is at the file's place now is another file than the one
// remembered, or the same one changed. Only "not there" is an answer when
// the place cannot be looked at: any other failure (a loop of links, a
// folder that cannot be searched) counts as a change, so that the user is
// asked.
bool changedondisk(const editor &ed, const found &now, const place &target) {
    const diskfile &d = ed.edited.disk;
    if (!d.known)
        return false;
    if (now.err)
        return now.err != ENOENT || d.exists;
    if (!d.exists)
        return true;
    // The kernel's own files have no size and make up their times.
    if (pseudofile(target.folder.get()))
        return false;
    const struct stat &st = now.st;
    return st.st_dev != d.dev || st.st_ino != d.ino || st.st_size != d.size ||
           st.st_mtim.tv_sec != d.mtime.tv_sec || st.st_mtim.tv_nsec != d.mtime.tv_nsec;
}

// Whether where leads to a file that exists and is not the one being
// edited: saving there would replace another file's contents.
bool isotherfile(const editor &ed, const place &where) {
    const edited_file &edited = ed.edited;
    struct stat other;
    if (statfollowed(where, &other) != 0)
        return false;
    struct stat own;
    return edited.filename[0] == '\0' || !edited.where.folder ||
           statfollowed(edited.where, &own) != 0 || own.st_dev != other.st_dev ||
           own.st_ino != other.st_ino;
}

// Nothing is saved, at the user's word.
int declined(editor &ed) {
    msg(ed, m_notsaved);
    return ECANCELED;
}

// Whether a file may be made where the links at where lead to none: a
// link at the name that points to no file may have been put there to have
// this user make a file elsewhere, so the user is asked, with what the
// link says. No link there: a new file is made at the name itself.
bool maycreate(editor &ed, const char *fn, const place &where) {
    struct stat st;
    if (statplace(where, &st) != 0 || !S_ISLNK(st.st_mode))
        return true;
    char text[PATH_MAX] = "?";
    ssize_t n = ::readlinkat(where.folder.get(), where.name, text, sizeof text - 1);
    if (n > 0)
        text[n] = '\0';
    return confirm(ed, m_dangling, fn, text);
}

// Writes text (ed's own, or a text holding a part of it) to the file that
// where leads to, named fn in messages; own when that is the file being
// edited. The links are followed once, and the check and the write both go
// to the place they led to. The questions are ed's. 0 and *written, or
// why not (said on ed's message line).
int writeto(editor &ed, editor &text, const char *fn, const place &where, bool own,
            struct stat *written) {
    edited_file &edited = ed.edited;
    if (edited.unread && own && !confirm(ed, m_unreadable))
        return declined(ed);
    place target;
    found now;
    now.err = followplace(where, &target);
    if (now.err == 0)
        now.err = statplace(target, &now.st);
    if (own && changedondisk(ed, now, target) && !confirm(ed, m_changed, fn))
        return declined(ed);
    bool create = now.err == ENOENT && target.folder;
    if (create && !maycreate(ed, fn, where))
        return declined(ed);
    writeresult r{now.err, false};
    if (now.err == 0 || create)
        r = writefile(text, target, now.err ? nullptr : &now.st, written);
    if (r.err) {
        // Where there is no file, none is left unchanged.
        const char *id = r.damaged ? m_savebroken : now.err ? m_savefailnew : m_savefail;
        fileerror(ed, id, fn, r.err);
        // The damaged file is now the one on disk: saving it again asks nothing.
        struct stat st;
        if (r.damaged && own)
            notefile(ed, statplace(target, &st) == 0 ? &st : nullptr);
        return r.err;
    }
    return 0;
}

// Says that fn was written, with the bytes text put on disk.
void notesaved(editor &ed, const editor &text, const char *fn) {
    auto n = static_cast<long long>(disksize(text));
    msg(ed, n == 1 ? m_saved1 : m_saved, fn, n);
}

// Saves the text to the file that where leads to, as writeto does; the
// file written is then the one on disk that the text matches.
int saveto(editor &ed, const char *fn, const place &where, bool own) {
    edited_file &edited = ed.edited;
    struct stat written;
    if (int err = writeto(ed, ed, fn, where, own, &written))
        return err;
    notefile(ed, &written);
    ed.modified = 0;
    if (own)
        edited.unread = 0;
    edited.readonly = false;
    undo_mark_saved(ed);
    notesaved(ed, ed, fn);
    return 0;
}

// Whether fn, whose folder has just been opened as where, may be written
// as another file than the one being edited: a folder is refused, and a
// file there is replaced only when the user says so; for a region, the
// file being edited too. 0, or why not.
int mayreplace(editor &ed, const char *fn, const place &where, bool region) {
    struct stat st;
    bool there = statfollowed(where, &st) == 0;
    if (there && S_ISDIR(st.st_mode)) {
        msg(ed, m_isfolder, fn);
        return EISDIR;
    }
    if ((region ? there : isotherfile(ed, where)) && !confirm(ed, m_exists))
        return declined(ed);
    return 0;
}

// Saves the text to fn, whose folder has just been opened as where, as to
// another file than the one being edited: a folder is refused, and
// another file there is replaced only when the user says so. Once saved,
// fn is the file being edited, through where.
int saveafresh(editor &ed, const char *fn, place &&where) {
    int err = mayreplace(ed, fn, where, false);
    if (err == 0)
        err = saveto(ed, fn, where, false);
    if (err == 0) {
        edited_file &edited = ed.edited;
        if (std::strcmp(fn, edited.filename) != 0)
            std::snprintf(edited.filename, sizeof edited.filename, "%s", fn);
        edited.where = std::move(where);
        edited.unread = 0;
    }
    return err;
}

} // namespace

void notefile(editor &ed, const struct stat *st) {
    diskfile &disk = ed.edited.disk;
    if (st)
        disk = {true, true, st->st_dev, st->st_ino, st->st_size, st->st_mtim};
    else
        disk = {true, false};
}

int savefile(editor &ed, const char *fn) {
    edited_file &edited = ed.edited;
    bool own = std::strcmp(fn, edited.filename) == 0;
    bool held = own && edited.where.folder;
    // The file being edited is saved through the folder it was read from
    // while its path still leads to that folder. Once a file system is
    // mounted over it, or it is moved or made again, the folder at the path
    // is another one (or none), and the user is asked.
    place now;
    int err = openplace(fn, &now);
    if (held && err == 0 && samefolder(now, edited.where))
        return saveto(ed, fn, edited.where, true);
    if (held && !confirm(ed, m_folderchanged, fn))
        return declined(ed);
    if (err) {
        msg(ed, m_savefailnew, fn, std::strerror(err));
        return err;
    }
    if (held)
        return saveafresh(ed, fn, std::move(now));
    if (!own)
        return saveto(ed, fn, now, false);
    // Its folder could not be opened when the file was read; this one is
    // kept from now on.
    edited.where = std::move(now);
    return saveto(ed, fn, edited.where, true);
}

namespace {

result saved(int err) {
    return err == 0 ? result::ok : err == ECANCELED ? result::cancelled : result::failed;
}

} // namespace

result save(editor &ed) {
    if (ed.edited.filename[0] == '\0')
        return saveas(ed);
    return saved(savefile(ed, ed.edited.filename));
}

namespace {

// Asks for the name of a file to write to, answer holding the proposal.
// 0, or why not (ECANCELED when the question was cancelled).
int askname(editor &ed, const char *id, char *answer, std::size_t size) {
    if (!prompt(ed, id, answer, size, history_kind::filename))
        return ECANCELED;
    if (answer[0] == '\0') {
        msg(ed, m_noname);
        return ENOENT;
    }
    return 0;
}

// Looks a new name up afresh: its folder is opened once, in *where, and
// writing, and for the text every save after it, goes through that folder.
int opennew(editor &ed, const char *fn, place *where) {
    int err = openplace(fn, where);
    if (err)
        msg(ed, m_savefailnew, fn, std::strerror(err));
    return err;
}

// With the mark set, the region goes to a file of its own, with the
// text's line ends, and editing goes on in the text as before: a text of
// its own holds the region while it is written the way any text is.
int saveregion(editor &ed, offset_t from, offset_t to) {
    char answer[filename_size] = "";
    place where;
    int err = askname(ed, m_regionprompt, answer, sizeof answer);
    if (err == 0)
        err = opennew(ed, answer, &where);
    if (err == 0)
        err = mayreplace(ed, answer, where, true);
    if (err)
        return err;
    auto part = std::make_unique<editor>();
    part->edited.crlf = ed.edited.crlf;
    part->edited.finalnewline = false;
    std::size_t n = static_cast<std::size_t>(to - from);
    std::string text(n, '\0');
    copytext(ed.buffer, from, n, text.data());
    struct stat written;
    if (!raw_insert(*part, 0, text.data(), n)) {
        msg(ed, m_nomem);
        err = ENOMEM;
    } else {
        err = writeto(ed, *part, answer, where, false, &written);
    }
    if (err == 0) {
        notesaved(ed, *part, answer);
        ed.buffer.mark = -1;
    }
    freebuffer(*part);
    return err;
}

} // namespace

result saveas(editor &ed) {
    edited_file &edited = ed.edited;
    offset_t from, to;
    if (region(ed.buffer, &from, &to) && from < to)
        return saved(saveregion(ed, from, to));
    char answer[filename_size];
    std::snprintf(answer, sizeof answer, "%s", edited.filename);
    int err = askname(ed, m_saveprompt, answer, sizeof answer);
    if (err)
        return saved(err);
    if (std::strcmp(answer, edited.filename) == 0)
        return saved(savefile(ed, edited.filename));
    place where;
    err = opennew(ed, answer, &where);
    return saved(err ? err : saveafresh(ed, answer, std::move(where)));
}

// With unsaved changes, y saves them first (asking for a name when there
// is none) and n leaves them; any other key goes back to the text.
result quit(editor &ed) {
    if (ed.modified) {
        int c = askkey(ed, m_quitprompt);
        if (c == 'y' || c == 'Y') {
            result r = save(ed);
            if (r != result::ok)
                return r;
        } else if (c != 'n' && c != 'N') {
            return result::cancelled;
        }
    }
    ed.done = 1;
    return result::ok;
}

} // namespace kwed
