// load: reads the file to edit into the buffer, whole, in one go.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <cstring>

namespace kwed {

edited_file edited;

int load(const char *fn) {
    // What the file is before it is read: a change after this is caught
    // when saving.
    notefile(fn);
    int err = readfile(fn);
    undo_clear();
    buffer.point = 0;
    view.page = 0;
    edited.unread = err != 0 && err != ENOENT;
    edited.crlf = edited.finalnewline = false;
    if (err == 0)
        notelineends();
    // Told at once, not only when a save fails.
    edited.readonly = !maywrite(fn);
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
