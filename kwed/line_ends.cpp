// Line ends as the file on disk has them. A file whose every LF follows a
// CR (and that has at least one) has CR LF line ends: the CRs are taken out
// of the text when it is read and put back when it is saved, so that they
// neither show as ^M nor get lost. A file with mixed line ends is edited as
// its bytes are, CRs shown, since taking some out would not give the same
// bytes back. Whether the file ended in a newline is noted too.
#include "editor_core.h"

#include <cstring>

namespace kwed {

namespace {

// Whether every LF in [p, end) follows a CR, and there is one.
bool allcrlf(const char *p, const char *end) {
    const char *start = p;
    bool any = false;
    while (const void *nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
        const char *at = static_cast<const char *>(nl);
        if (at == start || at[-1] != '\r')
            return false;
        any = true;
        p = at + 1;
    }
    return any;
}

// Takes the CR before each LF out of [p, end); returns the new end.
char *dropcr(char *p, char *end) {
    char *out = p;
    while (void *nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
        char *at = static_cast<char *>(nl);
        std::size_t keep = static_cast<std::size_t>(at - 1 - p);
        std::memmove(out, p, keep);
        out += keep;
        *out++ = '\n';
        p = at + 1;
    }
    std::memmove(out, p, static_cast<std::size_t>(end - p));
    return out + (end - p);
}

} // namespace

std::size_t droplinecrs(char *p, std::size_t n) {
    if (!allcrlf(p, p + n))
        return n;
    return static_cast<std::size_t>(dropcr(p, p + n) - p);
}

void notelineends(editor &ed) {
    text_buffer &buffer = ed.buffer;
    edited_file &edited = ed.edited;
    // The text read is whole before the gap.
    movegap(buffer, textsize(buffer));
    edited.finalnewline = buffer.gap > buffer.buf && buffer.gap[-1] == '\n';
    std::size_t read = static_cast<std::size_t>(buffer.gap - buffer.buf);
    std::size_t kept = droplinecrs(buffer.buf, read);
    edited.crlf = kept != read; // each line ended in CR LF, and there was one
    buffer.gap = buffer.buf + kept;
}

offset_t disksize(const editor &ed) {
    const text_buffer &buffer = ed.buffer;
    const edited_file &edited = ed.edited;
    offset_t size = textsize(buffer);
    offset_t eol = edited.crlf ? 2 : 1;
    offset_t lines = buffer.newlines;
    if (edited.finalnewline && size > 0 && byteat(buffer, size - 1) != '\n')
        ++lines;
    return size + lines * eol - buffer.newlines;
}

} // namespace kwed
