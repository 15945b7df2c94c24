// What the message line tells of the text on request: where the cursor is
// (line, column and character, each of how many), and how many words,
// lines and characters the text or the region holds.
#include "editor_core.h"

#include <cwctype>

namespace kwed {

namespace {

int percent(long long part, long long whole) {
    return whole > 0 ? static_cast<int>(part * 100 / whole) : 0;
}

// Characters (a letter with its combining accents counts once) in [from, to).
long long characters(const text_buffer &b, offset_t from, offset_t to) {
    long long n = 0;
    for (offset_t o = from; o < to; o = nextcluster(b, o))
        ++n;
    return n;
}

struct counts {
    long long words = 0;
    long long lines = 0;
    long long chars = 0;
};

// Words are runs of characters that are not blank; a last line without a
// newline counts as a line.
counts count(const text_buffer &b, offset_t from, offset_t to) {
    counts c;
    bool inword = false;
    for (offset_t o = from; o < to;) {
        int len;
        std::int32_t cp = charat(b, o, &len);
        bool blank = cp >= 0 && std::iswspace(static_cast<wint_t>(cp));
        c.words += !blank && !inword ? 1 : 0;
        inword = !blank;
        c.lines += cp == '\n' ? 1 : 0;
        if (!combining(cp))
            ++c.chars;
        o += len;
    }
    if (to > from && byteat(b, to - 1) != '\n')
        ++c.lines;
    return c;
}

} // namespace

result position(editor &ed) {
    text_buffer &b = ed.buffer;
    offset_t size = textsize(b);
    long line = static_cast<long>(lineof(b, b.point));
    long lines = static_cast<long>(b.newlines + 1);
    offset_t ls = linestart(b, b.point);
    long col = static_cast<long>(characters(b, ls, b.point)) + 1;
    long cols = static_cast<long>(characters(b, ls, lineend(b, b.point))) + 1;
    long long at = characters(b, 0, b.point) + 1;
    long long all = at - 1 + characters(b, b.point, size) + 1;
    msg(ed, m_where, line, lines, percent(line, lines), col, cols, percent(col, cols), at, all,
        percent(at, all));
    return result::ok;
}

result wordcount(editor &ed) {
    const text_buffer &b = ed.buffer;
    offset_t from = 0, to = textsize(b);
    bool marked = region(b, &from, &to);
    counts c = count(b, from, to);
    msg(ed, marked ? m_regioncounted : m_counted, c.words, c.lines, c.chars);
    return result::ok;
}

} // namespace kwed
