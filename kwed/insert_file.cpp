// Inserting a file at the cursor: its bytes go into the text as one change,
// which one undo takes back.
#include "editor_core.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kwed {

namespace {

// Reads the whole file at path into out, the one way every file is
// opened: its folder first, then its name there, its links followed once,
// and only a regular file. 0, not_regular or an errno.
int readwhole(const char *path, std::string *out) {
    place where;
    place target;
    descriptor fd;
    struct stat st;
    int err = openplace(path, &where);
    if (err == 0)
        err = openfollowed(where, O_RDONLY, &target, &fd, &st);
    if (err)
        return err;
    char chunk[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        out->append(chunk, static_cast<std::size_t>(got));
    }
}

} // namespace

result insertfile(editor &ed) {
    char answer[filename_size] = "";
    if (!prompt(ed, m_insertprompt, answer, sizeof answer, history_kind::filename) ||
        answer[0] == '\0')
        return result::cancelled;
    std::string text;
    int err = readwhole(answer, &text);
    if (err) {
        fileerror(ed, m_readerr, answer, err);
        return result::failed;
    }
    // Into a text whose CRs of CR LF line ends are kept apart, a file with
    // such line ends comes in the same way.
    if (ed.edited.crlf)
        text.resize(droplinecrs(text.data(), text.size()));
    text_buffer &b = ed.buffer;
    if (!text.empty() && !edit_insert(ed, b.point, text.data(), text.size())) {
        msg(ed, m_nomem);
        return result::failed;
    }
    b.point += static_cast<offset_t>(text.size());
    auto n = static_cast<long long>(text.size());
    msg(ed, n == 1 ? m_inserted1 : m_inserted, answer, n);
    return result::ok;
}

} // namespace kwed
