// The rescue: when the terminal goes away or the editor is told to end,
// unsaved text goes into a new file of its own, and the editor ends.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kwed {

namespace {

// The places tried for the rescued text, in order: beside the file being
// edited, in the folder it was read from (or "kwed" in the current folder
// for an unnamed text), the home folder, the current folder and /tmp.
constexpr int rescue_places = 4;
// Names tried in each: NAME.save, NAME.save1 ... NAME.save9.
constexpr int names_per_place = 10;

// Room for the name a rescue file is shown by: a folder's path, a '/'
// and a name in it.
constexpr std::size_t shown_size = PATH_MAX + NAME_MAX + 2;

// Where the folder open as p.folder is now, from the kernel's record of
// the open descriptor; false when that cannot be read.
bool folderpath(const place &p, char *out, std::size_t size) {
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", p.folder.get());
    ssize_t n = ::readlink(link, out, size - 1);
    if (n <= 0)
        return false;
    out[n] = '\0';
    return true;
}

// Beside the file being edited, in the folder that it was read from (or
// first saved to), wherever that folder is now. The message names it by
// the file's path while that path still leads to that folder, else by
// where the folder is now.
int besidefile(const edited_file &edited, int n, place *p, char *shown) {
    int written = std::snprintf(p->name, sizeof p->name, "%s.save%.0d", edited.where.name, n);
    if (written < 0 || static_cast<std::size_t>(written) >= sizeof p->name)
        return ENAMETOOLONG;
    p->folder.reset(::fcntl(edited.where.folder.get(), F_DUPFD_CLOEXEC, 0));
    if (!p->folder)
        return errno;
    place now;
    char folder[PATH_MAX];
    bool moved = !(openplace(edited.filename, &now) == 0 && samefolder(now, edited.where)) &&
                 folderpath(edited.where, folder, sizeof folder);
    if (moved)
        std::snprintf(shown, shown_size, "%s/%s", folder, p->name);
    else
        std::snprintf(shown, shown_size, "%s.save%.0d", edited.filename, n);
    return 0;
}

// Where attempt n puts the rescued text, a folder and a name in it, and
// the name the message shows for it (a zero with precision 0 prints
// nothing). 0, or why there is none: no home folder (ENOENT), a name too
// long, a folder that cannot be opened.
int rescueplace(const editor &ed, int attempt, place *p, char *shown) {
    const edited_file &edited = ed.edited;
    const char *file = edited.filename[0] ? edited.filename : "kwed";
    const char *slash = std::strrchr(file, '/');
    const char *base = slash ? slash + 1 : file;
    const char *home = std::getenv("HOME");
    int n = attempt % names_per_place;
    int written;
    switch (attempt / names_per_place) {
    case 0:
        if (edited.filename[0] && edited.where.folder)
            return besidefile(edited, n, p, shown);
        written = std::snprintf(shown, shown_size, "%s.save%.0d", file, n);
        break;
    case 1:
        if (!home || !*home)
            return ENOENT;
        written = std::snprintf(shown, shown_size, "%s/kwed.save%.0d", home, n);
        break;
    case 2:
        written = std::snprintf(shown, shown_size, "%s.save%.0d", base, n);
        break;
    default:
        written = std::snprintf(shown, shown_size, "/tmp/%s.save%.0d", base, n);
        break;
    }
    if (written < 0 || static_cast<std::size_t>(written) >= shown_size)
        return ENAMETOOLONG;
    return openplace(shown, p);
}

} // namespace

void rescue(editor &ed) {
    if (!ed.modified) {
        ed.done = 1;
        return;
    }
    // The name is taken by creating the file, so that no other file is
    // ever written over, and no temporary file is left if this ends early.
    // It is for the editing user alone, whatever the edited file's mode:
    // no one else in a group that may read the file reads it from here.
    char shown[shown_size];
    int err = EEXIST;
    for (int attempt = 0; attempt < rescue_places * names_per_place && err; ++attempt) {
        place p;
        err = rescueplace(ed, attempt, &p, shown);
        if (err == 0)
            err = writenew(ed, p, 0600);
    }
    bool told = endsignal() == SIGTERM;
    if (err)
        fatal(told ? m_termlost : m_lost, std::strerror(err));
    fatal(told ? m_termrescued : m_rescued, shown);
}

} // namespace kwed
