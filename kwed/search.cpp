// Finding text and going to a line.
#include "editor_core.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kwed {

namespace {

// The last text looked for; find offers it again.
char pattern[256];

void search() {
    offset_t from = buffer.point < textsize() ? nextchar(buffer.point) : buffer.point;
    offset_t at = findtext(from, pattern);
    if (at < 0) {
        at = findtext(0, pattern);
        if (at >= 0 && at < from)
            msg(m_wrapped);
        else
            at = -1;
    }
    if (at < 0) {
        msg(m_notfound, pattern);
        return;
    }
    buffer.point = at;
}

} // namespace

void find() {
    char answer[sizeof pattern];
    std::strcpy(answer, pattern);
    if (!prompt(m_findprompt, answer, sizeof answer) || answer[0] == '\0')
        return;
    std::strcpy(pattern, answer);
    search();
}

void findnext() {
    if (pattern[0] == '\0')
        find();
    else
        search();
}

void gotoline() {
    char answer[32] = "";
    if (!prompt(m_lineprompt, answer, sizeof answer) || answer[0] == '\0')
        return;
    char *end;
    errno = 0;
    long long n = std::strtoll(answer, &end, 10);
    while (*end == ' ')
        ++end;
    if (end == answer || *end != '\0' || errno == ERANGE) {
        msg(m_badline, answer);
        return;
    }
    buffer.point = linetooffset(n < 1 ? 1 : static_cast<offset_t>(n));
    centre_now = 1;
}

} // namespace kwed
