// load: reads the file to edit into the buffer, whole, in one go, through
// its folder, which stays open for saving.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace kwed {

namespace {

// Opens the file that the edited file's place leads to for reading, and
// notes what it is before it is read: a change after this is caught when
// saving. *target is where the links led; fd is open on success.
int openedited(editor &ed, place *target, descriptor *fd) {
    struct stat st;
    int err = openfollowed(ed.edited.where, O_RDONLY, target, fd, &st);
    if (err == 0 || statplace(*target, &st) == 0)
        notefile(ed, &st);
    return err;
}

} // namespace

int load(editor &ed, const char *fn) {
    edited_file &edited = ed.edited;
    notefile(ed, nullptr);
    freebuffer(ed);
    place target;
    descriptor fd;
    int err = openplace(fn, &edited.where);
    if (err == 0)
        err = openedited(ed, &target, &fd);
    if (err == 0)
        err = readfile(ed, fd.get());
    ed.buffer.point = 0;
    ed.view.page = 0;
    edited.unread = err != 0 && err != ENOENT;
    edited.crlf = false;
    // A new file ends in a newline; one that did not keeps to that.
    edited.finalnewline = err == ENOENT;
    if (err == 0)
        notelineends(ed);
    // Told at once, not only when a save fails.
    edited.readonly = target.folder && !maywrite(target);
    if (err == ENOENT && !edited.where.folder) {
        // The folder is missing, not only the file: saving will fail
        // until it is made.
        char folder[filename_size];
        std::snprintf(folder, sizeof folder, "%s", fn);
        char *slash = std::strrchr(folder, '/');
        if (slash)
            *slash = '\0';
        msg(ed, m_nofolder, !slash ? "." : folder[0] ? folder : "/");
    } else if (err == ENOENT) {
        msg(ed, m_newfile);
    } else if (err) {
        fileerror(ed, m_readerr, fn, err);
        freebuffer(ed);
    } else {
        auto n = static_cast<long long>(disksize(ed));
        msg(ed, n == 1 ? m_loaded1 : m_loaded, fn, n);
    }
    return err ? -1 : 0;
}

} // namespace kwed
