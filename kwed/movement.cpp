// Cursor movement commands: by character, word, line, page, and to the
// ends of the line and of the text.
#include "editor_core.h"

#include <cwctype>

namespace kwed {

namespace {

// The key of the last vertical move: up, down and the page keys in a row
// keep aiming for the column where the first of them started. The key
// count has already counted the key being handled, so the move before it
// in a row was made by the key before. Moves made at start-up (key count
// 0) always start afresh.
long lastvertical = -1;

void aimcolumn() {
    if (lastvertical != reader.keycount - 1 || reader.keycount == 0)
        view.goal = columnof(buffer.point);
    lastvertical = reader.keycount;
}

bool wordchar(offset_t o) {
    int len;
    std::int32_t c = charat(o, &len);
    return c == '_' || (c >= 0 && std::iswalnum(static_cast<wint_t>(c))) || c >= 0x80;
}

// Moves the cursor by n lines, keeping its column aim.
void lines(int n) {
    aimcolumn();
    offset_t size = textsize();
    for (; n > 0; --n) {
        offset_t e = lineend(buffer.point);
        if (e >= size)
            break;
        buffer.point = atcolumn(e + 1, view.goal);
    }
    for (; n < 0; ++n) {
        offset_t ls = linestart(buffer.point);
        if (ls == 0)
            break;
        buffer.point = atcolumn(linestart(ls - 1), view.goal);
    }
}

} // namespace

void left() {
    buffer.point = prevchar(buffer.point);
}
void right() {
    buffer.point = nextchar(buffer.point);
}
void up() {
    lines(-1);
}
void down() {
    lines(1);
}
void top() {
    buffer.point = 0;
}
void bottom() {
    buffer.point = textsize();
}
void linebegin() {
    buffer.point = linestart(buffer.point);
}
void lineend_cmd() {
    buffer.point = lineend(buffer.point);
}

void wordright() {
    offset_t size = textsize();
    while (buffer.point < size && wordchar(buffer.point))
        buffer.point = nextchar(buffer.point);
    while (buffer.point < size && !wordchar(buffer.point))
        buffer.point = nextchar(buffer.point);
}

void wordleft() {
    while (buffer.point > 0 && !wordchar(prevchar(buffer.point)))
        buffer.point = prevchar(buffer.point);
    while (buffer.point > 0 && wordchar(prevchar(buffer.point)))
        buffer.point = prevchar(buffer.point);
}

void pagedown() {
    int n = textrows() - 1;
    scrollrows(n);
    lines(n);
}

void pageup() {
    int n = textrows() - 1;
    scrollrows(-n);
    lines(-n);
}

} // namespace kwed
