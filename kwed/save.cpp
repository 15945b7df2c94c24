// Saving: the commands save, saveas and quit, and the check that the file's
// place still holds the file that was read. Another program may have
// changed that file since, or someone may have put a link in its place;
// either way the user is asked before it is overwritten. How the text gets
// onto the disk is write_file.cpp's.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

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

// Saves the text to the file that where leads to, named fn in messages;
// own when that is the file being edited. The links are followed once,
// and the check and the write both go to the place they led to.
int saveto(editor &ed, const char *fn, const place &where, bool own) {
    edited_file &edited = ed.edited;
    if (edited.unread && own && !confirm(ed, m_unreadable)) {
        msg(ed, m_notsaved);
        return ECANCELED;
    }
    place target;
    found now;
    now.err = followplace(where, &target);
    if (now.err == 0)
        now.err = statplace(target, &now.st);
    if (own && changedondisk(ed, now, target) && !confirm(ed, m_changed, fn)) {
        msg(ed, m_notsaved);
        return ECANCELED;
    }
    struct stat written;
    writeresult r{now.err, false};
    if (now.err == 0 || (now.err == ENOENT && target.folder))
        r = writefile(ed, target, now.err ? nullptr : &now.st, &written);
    if (r.err) {
        // Where there is no file, none is left unchanged.
        const char *id = r.damaged ? m_savebroken : now.err ? m_savefailnew : m_savefail;
        msg(ed, id, fn, std::strerror(r.err));
        // The damaged file is now the one on disk: saving it again asks nothing.
        struct stat st;
        if (r.damaged && own)
            notefile(ed, statplace(target, &st) == 0 ? &st : nullptr);
        return r.err;
    }
    notefile(ed, &written);
    ed.modified = 0;
    if (own)
        edited.unread = 0;
    edited.readonly = false;
    undo_mark_saved(ed);
    auto n = static_cast<long long>(disksize(ed));
    msg(ed, n == 1 ? m_saved1 : m_saved, fn, n);
    return 0;
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
    place other;
    // The file being edited is saved through the folder it was read from;
    // when that could not be opened then, it is opened now and kept.
    place &where = own ? edited.where : other;
    int err = where.folder ? 0 : openplace(fn, &where);
    if (err) {
        msg(ed, m_savefailnew, fn, std::strerror(err));
        return err;
    }
    return saveto(ed, fn, where, own);
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

// Asks for a file name to write to; false (with *r) when none is given.
bool askname(editor &ed, const char *id, char *answer, std::size_t size, result *r) {
    *r = result::cancelled;
    if (!prompt(ed, id, answer, size, history_kind::filename))
        return false;
    *r = result::failed;
    if (answer[0] == '\0') {
        msg(ed, m_noname);
        return false;
    }
    return true;
}

// Whether a new name may be written to: not a folder, and another file
// that exists only when the user says so. Its folder is opened once, in
// *where.
bool usablename(editor &ed, const char *answer, place *where, result *r) {
    *r = result::failed;
    int err = openplace(answer, where);
    if (err) {
        msg(ed, m_savefailnew, answer, std::strerror(err));
        return false;
    }
    struct stat st;
    if (statfollowed(*where, &st) == 0 && S_ISDIR(st.st_mode)) {
        msg(ed, m_isfolder, answer);
        return false;
    }
    if (isotherfile(ed, *where) && !confirm(ed, m_exists)) {
        msg(ed, m_notsaved);
        *r = result::cancelled;
        return false;
    }
    return true;
}

// With the mark set, the region goes to the file as it stands, with the
// text's line ends, and editing goes on in the text as before: a text of
// its own holds the region while it is written the way any text is saved.
result saveregion(editor &ed, offset_t from, offset_t to) {
    char answer[filename_size] = "";
    place where;
    result r;
    if (!askname(ed, m_regionprompt, answer, sizeof answer, &r) ||
        !usablename(ed, answer, &where, &r))
        return r;
    auto part = std::make_unique<editor>();
    part->edited.crlf = ed.edited.crlf;
    part->edited.finalnewline = false;
    std::size_t n = static_cast<std::size_t>(to - from);
    std::string text(n, '\0');
    copytext(ed.buffer, from, n, text.data());
    int err = raw_insert(*part, 0, text.data(), n) ? saveto(*part, answer, where, false) : ENOMEM;
    std::memcpy(ed.msgline, part->msgline, sizeof ed.msgline);
    ed.msgflag = 1;
    freebuffer(*part);
    if (err == 0)
        ed.buffer.mark = -1;
    return saved(err);
}

} // namespace

result saveas(editor &ed) {
    edited_file &edited = ed.edited;
    offset_t from, to;
    if (region(ed.buffer, &from, &to) && from < to)
        return saveregion(ed, from, to);
    char answer[filename_size];
    std::snprintf(answer, sizeof answer, "%s", edited.filename);
    result r;
    if (!askname(ed, m_saveprompt, answer, sizeof answer, &r))
        return r;
    if (std::strcmp(answer, edited.filename) == 0)
        return saved(savefile(ed, edited.filename));
    place where;
    if (!usablename(ed, answer, &where, &r))
        return r;
    int err = saveto(ed, answer, where, false);
    if (err == 0) {
        std::strcpy(edited.filename, answer);
        edited.where = std::move(where);
    }
    return saved(err);
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
