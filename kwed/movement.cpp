// Cursor movement commands: by character, word, line, page, and to the
// ends of the line and of the text.
#include "editor_core.h"

#include <cwctype>

namespace kwed {

namespace {

// The key of the last vertical move: up and down in a row keep aiming
// for the column where the first of them started.
long lastvertical = -1;

void aimcolumn() {
    if (lastvertical != keycount || keycount == 0)
        goal = columnof(point);
    lastvertical = keycount;
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
        offset_t e = lineend(point);
        if (e >= size)
            break;
        point = atcolumn(e + 1, goal);
    }
    for (; n < 0; ++n) {
        offset_t ls = linestart(point);
        if (ls == 0)
            break;
        point = atcolumn(linestart(ls - 1), goal);
    }
}

} // namespace

void left() {
    point = prevchar(point);
}
void right() {
    point = nextchar(point);
}
void up() {
    lines(-1);
}
void down() {
    lines(1);
}
void top() {
    point = 0;
}
void bottom() {
    point = textsize();
}
void linebegin() {
    point = linestart(point);
}
void lineend_cmd() {
    point = lineend(point);
}

void wordright() {
    offset_t size = textsize();
    while (point < size && wordchar(point))
        point = nextchar(point);
    while (point < size && !wordchar(point))
        point = nextchar(point);
}

void wordleft() {
    while (point > 0 && !wordchar(prevchar(point)))
        point = prevchar(point);
    while (point > 0 && wordchar(prevchar(point)))
        point = prevchar(point);
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
