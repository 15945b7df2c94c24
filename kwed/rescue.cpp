// The rescue: when the terminal goes away or the editor is told to end,
// unsaved text goes into a new file of its own, and the editor ends.
#include "editor_core.h"
#include "write_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace kwed {

namespace {

// The places tried for the rescued text, in order: beside the file being
// edited (or "kwed" in the current folder for an unnamed text), the home
// folder, the current folder and /tmp.
constexpr int rescue_places = 4;
// Names tried in each: NAME.save, NAME.save1 ... NAME.save9.
constexpr int names_per_place = 10;

// A name for the rescued text that no file has yet, for attempt n (a zero
// with precision 0 prints nothing). Returns false when that name is taken,
// too long, or the place has none (no home folder).
bool rescuename(const editor &ed, char *name, std::size_t size, int attempt) {
    const char *file = ed.edited.filename[0] ? ed.edited.filename : "kwed";
    const char *slash = std::strrchr(file, '/');
    const char *base = slash ? slash + 1 : file;
    const char *home = std::getenv("HOME");
    int n = attempt % names_per_place;
    int written = -1;
    switch (attempt / names_per_place) {
    case 0:
        written = std::snprintf(name, size, "%s.save%.0d", file, n);
        break;
    case 1:
        if (home && *home)
            written = std::snprintf(name, size, "%s/kwed.save%.0d", home, n);
        break;
    case 2:
        written = std::snprintf(name, size, "%s.save%.0d", base, n);
        break;
    default:
        written = std::snprintf(name, size, "/tmp/%s.save%.0d", base, n);
        break;
    }
    struct stat st;
    return written > 0 && static_cast<std::size_t>(written) < size && ::lstat(name, &st) != 0 &&
           errno == ENOENT;
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
    char name[filename_size + 32];
    int err = EEXIST;
    for (int attempt = 0; attempt < rescue_places * names_per_place && err; ++attempt)
        if (rescuename(ed, name, sizeof name, attempt))
            err = writenew(ed, name, 0600);
    bool told = endsignal() == SIGTERM;
    if (err)
        fatal(told ? m_termlost : m_lost, std::strerror(err));
    fatal(told ? m_termrescued : m_rescued, name);
}

} // namespace kwed
