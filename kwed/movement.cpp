// Cursor movement commands: by character, word, line, page, and to the
// ends of the line and of the text.
#include "editor_core.h"

#include <cwctype>

namespace kwed {

namespace {

// Up, down and the page keys in a row keep aiming for the column where the
// first of them started. The key count has already counted the key being
// handled, so the move before it in a row was made by the key before.
// Moves made at start-up (key count 0) always start afresh.
void aimcolumn(editor &ed) {
    screen_view &view = ed.view;
    long key = ed.reader.keycount;
    if (view.lastvertical != key - 1 || key == 0)
        view.goal = columnof(ed, ed.buffer.point);
    view.lastvertical = key;
}

bool wordchar(const text_buffer &b, offset_t o) {
    int len;
    std::int32_t c = charat(b, o, &len);
    return c == '_' || (c >= 0 && std::iswalnum(static_cast<wint_t>(c))) || c >= 0x80;
}

// Moves the cursor by n lines, keeping its column aim; false when it
// could not move at all.
bool lines(editor &ed, int n) {
    aimcolumn(ed);
    text_buffer &b = ed.buffer;
    offset_t before = b.point;
    offset_t size = textsize(b);
    for (; n > 0; --n) {
        offset_t e = lineend(b, b.point);
        if (e >= size)
            break;
        b.point = atcolumn(ed, e + 1, ed.view.goal);
    }
    for (; n < 0; ++n) {
        offset_t ls = linestart(b, b.point);
        if (ls == 0)
            break;
        b.point = atcolumn(ed, linestart(b, ls - 1), ed.view.goal);
    }
    return b.point != before;
}

result moved(bool ok) {
    return ok ? result::ok : result::failed;
}

// Moves the cursor to o; fails when it is there already.
result moveto(text_buffer &b, offset_t o) {
    bool ok = o != b.point;
    b.point = o;
    return moved(ok);
}

} // namespace

result left(editor &ed) {
    return moveto(ed.buffer, prevcluster(ed.buffer, ed.buffer.point));
}
result right(editor &ed) {
    return moveto(ed.buffer, nextcluster(ed.buffer, ed.buffer.point));
}
result up(editor &ed) {
    return moved(lines(ed, -1));
}
result down(editor &ed) {
    return moved(lines(ed, 1));
}
result top(editor &ed) {
    return moveto(ed.buffer, 0);
}
result bottom(editor &ed) {
    return moveto(ed.buffer, textsize(ed.buffer));
}
result linebegin(editor &ed) {
    return moveto(ed.buffer, linestart(ed.buffer, ed.buffer.point));
}
result lineend_cmd(editor &ed) {
    return moveto(ed.buffer, lineend(ed.buffer, ed.buffer.point));
}

result wordright(editor &ed) {
    text_buffer &b = ed.buffer;
    offset_t o = b.point;
    offset_t size = textsize(b);
    while (o < size && wordchar(b, o))
        o = nextchar(b, o);
    while (o < size && !wordchar(b, o))
        o = nextchar(b, o);
    return moveto(b, o);
}

result wordleft(editor &ed) {
    text_buffer &b = ed.buffer;
    offset_t o = b.point;
    while (o > 0 && !wordchar(b, prevchar(b, o)))
        o = prevchar(b, o);
    while (o > 0 && wordchar(b, prevchar(b, o)))
        o = prevchar(b, o);
    return moveto(b, o);
}

namespace {

// The offset at column col of the row that starts at r: on the row, and
// never inside a character.
offset_t inrow(editor &ed, offset_t r, int col) {
    const text_buffer &b = ed.buffer;
    offset_t o = atcolumn(ed, linestart(b, r), columnof(ed, r) + col);
    offset_t next = nextrow(ed, r);
    if (next >= 0 && o >= next && next > r && byteat(b, next - 1) != '\n')
        o = prevcluster(b, next);
    return o;
}

// A page is the screen's rows less one, which shows again: the first row
// shown moves by that many rows, wrapped lines counted row by row, and so
// does the cursor, which keeps its column on the row.
result page(editor &ed, int direction) {
    int n = visiblerows(ed) - 1;
    if (n < 1)
        n = 1;
    text_buffer &b = ed.buffer;
    offset_t row = rowof(ed, b.point);
    int col = columnof(ed, b.point) - columnof(ed, row);
    scrollrows(ed, direction * n);
    return moveto(b, inrow(ed, rowsaway(ed, row, direction * n), col));
}

} // namespace

result pagedown(editor &ed) {
    return page(ed, 1);
}

result pageup(editor &ed) {
    return page(ed, -1);
}

} // namespace kwed
