// load: reads the file to edit into the buffer, whole, in one go, through
// its folder, which stays open for saving.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace kwed {

edited_file edited;

namespace {

// Opens the file that the edited file's place leads to for reading, and
// notes what it is before it is read: a change after this is caught when
// saving. *target is where the links led; fd is open on success.
int openedited(place *target, descriptor *fd) {
    int err = followplace(edited.where, target);
    if (err)
        return err;
    fd->reset(::openat(target->folder.get(), target->name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    err = *fd ? 0 : errno;
    struct stat st;
    if (*fd ? ::fstat(fd->get(), &st) == 0 : statplace(*target, &st) == 0)
        notefile(&st);
    return err;
}

} // namespace

int load(const char *fn) {
    notefile(nullptr);
    freebuffer();
    place target;
    descriptor fd;
    int err = openplace(fn, &edited.where);
    if (err == 0)
        err = openedited(&target, &fd);
    if (err == 0)
        err = readfile(fd.get());
    undo_clear();
    buffer.point = 0;
    view.page = 0;
    edited.unread = err != 0 && err != ENOENT;
    edited.crlf = edited.finalnewline = false;
    if (err == 0)
        notelineends();
    // Told at once, not only when a save fails.
    edited.readonly = target.folder && !maywrite(target);
    if (err == ENOENT) {
        msg(m_newfile);
    } else if (err) {
        msg(m_readerr, fn, std::strerror(err));
        freebuffer();
    } else {
        msg(m_loaded, fn, static_cast<long long>(disksize()));
    }
    return err ? -1 : 0;
}

} // namespace kwed
