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

// A name for the rescued text that no file has yet: beside the file being
// edited (or "kwed" in the current folder for an unnamed text), else in the
// home folder; attempts 0 to 9 and 10 to 19 give .save, .save1 ... .save9
// (a zero with precision 0 prints nothing). Returns false when that name is
// taken, too long, or there is no home folder.
bool rescuename(const editor &ed, char *name, std::size_t size, int attempt) {
    const char *home = std::getenv("HOME");
    const char *base = ed.edited.filename[0] ? ed.edited.filename : "kwed";
    if (attempt >= 10 && (!home || !*home))
        return false;
    int n = attempt < 10 ? std::snprintf(name, size, "%s.save%.0d", base, attempt)
                         : std::snprintf(name, size, "%s/kwed.save%.0d", home, attempt - 10);
    struct stat st;
    return n > 0 && static_cast<std::size_t>(n) < size && ::lstat(name, &st) != 0 &&
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
    for (int attempt = 0; attempt < 20 && err; ++attempt)
        if (rescuename(ed, name, sizeof name, attempt))
            err = writenew(ed, name, 0600);
    bool told = endsignal() == SIGTERM;
    if (err)
        fatal(told ? m_termlost : m_lost, std::strerror(err));
    fatal(told ? m_termrescued : m_rescued, name);
}

} // namespace kwed
