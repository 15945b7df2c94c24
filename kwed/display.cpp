// The screen: a header line (when textline is 1), the text rows and the
// message line at the bottom. Long lines wrap onto further rows. The text
// rows are drawn again only when the text, the first row shown or the
// screen size changed; curses then sends only the cells that differ.
#include "editor_core.h"

#include <curses.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <poll.h>
#include <unistd.h>

namespace kwed {

screen_view view;

namespace {

// What the text rows showed when they were last drawn.
struct drawn_state {
    unsigned serial = ~0u;
    offset_t page = -1;
    int lines = 0;
    int cols = 0;
    int textline = -1;
    int helprows = -1;
    offset_t marked[2] = {-1, -1};
};
drawn_state drawn;
int msgshown = 0;

// The lowest offset changed since the first row shown was last checked.
offset_t page_changed = 0;

int visiblerows() {
    int rows = textrows() - helprows();
    return rows > 1 ? rows : 1;
}

// Whether the cursor lies on one of the rows from the first one shown on.
bool cursorshown() {
    if (buffer.point < view.page)
        return false;
    offset_t r = view.page;
    for (int i = 0; i < visiblerows(); ++i) {
        offset_t n = nextrow(r);
        if (n < 0 || n > buffer.point)
            return true;
        r = n;
    }
    return false;
}

// Puts the row of the cursor at screen row `at` of the text rows.
void frameat(int at) {
    offset_t r = rowof(buffer.point);
    for (int i = 0; i < at && r > 0; ++i)
        r = prevrow(r);
    view.page = r;
}

void frame() {
    offset_t size = textsize();
    if (view.page > size)
        view.page = size;
    // Rows start where they did unless the text before the first row shown changed.
    if ((page_changed < view.page || drawn.cols != COLS) && view.page > 0)
        view.page = rowof(view.page);
    page_changed = PTRDIFF_MAX;
    if (centre_now) {
        frameat(visiblerows() / 2);
        centre_now = 0;
    } else if (buffer.point < view.page) {
        frameat(0);
    } else if (!cursorshown()) {
        frameat(visiblerows() - 1);
    }
}

// An invalid byte, a control character or a character the terminal has no
// glyph for: shown in another form than itself.
bool unprintable(std::int32_t c) {
    return c < 32 || c == 127 || (c > 127 && ::wcwidth(static_cast<wchar_t>(c)) < 0);
}

void drawchar(std::int32_t c, const char *text, int len, int col) {
    if (c == '\t') {
        for (int i = charwidth(c, col); i > 0; --i)
            waddch(stdscr, ' ');
    } else if (unprintable(c)) {
        char shown[16];
        if (c < 0)
            std::snprintf(shown, sizeof shown, "<%02X>", static_cast<unsigned>(-c));
        else if (c < 128)
            std::snprintf(shown, sizeof shown, "^%c", c == 127 ? '?' : c + '@');
        else
            std::snprintf(shown, sizeof shown, "?");
        wattron(stdscr, A_REVERSE);
        waddstr(stdscr, shown);
        wattroff(stdscr, A_REVERSE);
    } else if (c < 128) {
        waddnstr(stdscr, text, len);
    } else {
        wchar_t wc = static_cast<wchar_t>(c);
        waddnwstr(stdscr, &wc, 1);
    }
}

// The region as it is underlined: [lo, hi), both -1 when none shows.
void shownregion(offset_t *lo, offset_t *hi) {
    if (!region(lo, hi) || *lo == *hi)
        *lo = *hi = -1;
}

// Draws the text rows and returns the cursor's row and column.
void drawtext(int rows, bool draw, int *crow, int *ccol) {
    offset_t size = textsize();
    offset_t o = view.page;
    *crow = -1;
    *ccol = 0;
    offset_t lo, hi;
    shownregion(&lo, &hi);
    if (draw && lo < o && o < hi)
        wattrset(stdscr, A_UNDERLINE);
    for (int r = 0; r < rows; ++r) {
        if (draw)
            wmove(stdscr, textline + r, 0);
        offset_t next = o < 0 ? -1 : nextrow(o);
        offset_t end = next < 0 ? size : next;
        int col = 0;
        // Plain ASCII goes to curses in runs, the rest one character at a time.
        char run[256];
        int nrun = 0;
        for (offset_t p = o; o >= 0 && p < end;) {
            if (p == buffer.point) {
                *crow = r;
                *ccol = col;
            }
            int len;
            std::int32_t c = charat(p, &len);
            if (draw && (p == lo || p == hi)) {
                if (nrun > 0)
                    waddnstr(stdscr, run, nrun);
                nrun = 0;
                wattrset(stdscr, p == lo ? A_UNDERLINE : A_NORMAL);
            }
            if (c == '\n')
                break;
            int w = charwidth(c, col);
            if (draw && c >= 32 && c < 127) {
                run[nrun++] = static_cast<char>(c);
            } else if (draw) {
                if (nrun > 0)
                    waddnstr(stdscr, run, nrun);
                nrun = 0;
                char text[4];
                copytext(p, len, text);
                drawchar(c, text, len, col);
            }
            if (nrun == static_cast<int>(sizeof run)) {
                waddnstr(stdscr, run, nrun);
                nrun = 0;
            }
            col += w;
            p += len;
        }
        if (nrun > 0)
            waddnstr(stdscr, run, nrun);
        if (o >= 0 && *crow < 0 && buffer.point == end && next < 0) {
            *crow = r;
            *ccol = col;
        }
        if (draw)
            wclrtoeol(stdscr);
        if (*crow >= 0 && !draw)
            return;
        o = next;
    }
    wattrset(stdscr, A_NORMAL);
}

// The columns a character of a name or message takes: one for those
// shown as '?', tabs among them.
int namewidth(std::int32_t c) {
    return unprintable(c) ? 1 : charwidth(c, 0);
}

} // namespace

// Control characters and bytes that are no UTF-8 show as '?': a file
// name must not move the cursor to another row or send bytes to the
// terminal.
int addclipped(const char *s, int cols, bool draw) {
    const auto *p = reinterpret_cast<const unsigned char *>(s);
    std::size_t n = std::strlen(s);
    int used = 0;
    while (n > 0) {
        int len;
        std::int32_t c = decodeutf8(p, n, &len);
        bool odd = unprintable(c);
        int w = namewidth(c);
        if (used + w > cols)
            break;
        if (draw && odd) {
            waddch(stdscr, '?');
        } else if (draw && c < 128) {
            waddch(stdscr, static_cast<chtype>(c));
        } else if (draw) {
            wchar_t wc = static_cast<wchar_t>(c);
            waddnwstr(stdscr, &wc, 1);
        }
        used += w;
        p += len;
        n -= static_cast<std::size_t>(len);
    }
    return used;
}

namespace {

// Adds as much of the end of s as fits in cols columns: when not all of
// it fits, a '<' stands for what is left out at its start.
int addtail(const char *s, int cols) {
    int total = addclipped(s, INT_MAX, false);
    if (total <= cols || cols < 1)
        return addclipped(s, cols);
    const auto *p = reinterpret_cast<const unsigned char *>(s);
    std::size_t n = std::strlen(s);
    while (n > 0 && total > cols - 1) {
        int len;
        total -= namewidth(decodeutf8(p, n, &len));
        p += len;
        n -= static_cast<std::size_t>(len);
    }
    waddch(stdscr, '<');
    return 1 + addclipped(reinterpret_cast<const char *>(p), cols - 1);
}

// The header: title, file name and [modified] on the left, the cursor's
// position on the right. A long name loses its start, so that its end and
// the position show, with at least one blank between them. [DOS] and
// [read-only] follow [modified] for files that are so.
void drawheader() {
    if (textline <= 0)
        return;
    char right[64];
    std::snprintf(right, sizeof right, getmsg(m_position), static_cast<long>(lineof(buffer.point)),
                  columnof(buffer.point) + 1);
    char head[msgline_size];
    const char *title = key_mode[1].lhs ? pooltext(key_mode[1].lhs) : getmsg(m_title);
    std::snprintf(head, sizeof head, " %s%s", title, filename[0] ? "  " : "");
    char marks[msgline_size];
    std::snprintf(marks, sizeof marks, "%s%s%s", modified ? getmsg(m_modified) : "",
                  edited.crlf ? getmsg(m_dos) : "", edited.readonly ? getmsg(m_readonly) : "");
    int width = screenwidth();
    int rwidth = addclipped(right, width, false);
    int left = rwidth < width ? width - rwidth : width;
    int room = rwidth < width ? left - 1 : width;
    wmove(stdscr, 0, 0);
    wattron(stdscr, A_REVERSE);
    int used = addclipped(head, room);
    used += addtail(filename, room - used - addclipped(marks, room, false));
    for (used += addclipped(marks, room - used); used < left; ++used)
        waddch(stdscr, ' ');
    if (rwidth < width)
        addclipped(right, rwidth);
    wattroff(stdscr, A_REVERSE);
}

} // namespace

int screenwidth() {
    return COLS > 0 ? COLS : 1;
}

int textrows() {
    int rows = LINES - 1 - textline;
    return rows > 1 ? rows : 1;
}

void notechange(offset_t at) {
    // A change can also join up to three bytes before it into one UTF-8
    // character, so what ends up to three bytes before it is affected too.
    offset_t from = at > 3 ? at - 3 : 0;
    if (from < page_changed)
        page_changed = from;
    layoutchanged(from);
}

void drawmessage() {
    wmove(stdscr, LINES - 1, 0);
    wclrtoeol(stdscr);
    addclipped(msgline, screenwidth() - 1);
    msgshown = 1;
    wrefresh(stdscr);
}

void redraw() {
    centre_now = 1;
}

void scrollrows(int n) {
    offset_t r = rowof(view.page);
    for (; n > 0; --n) {
        offset_t next = nextrow(r);
        if (next < 0)
            break;
        r = next;
    }
    for (; n < 0 && r > 0; ++n)
        r = prevrow(r);
    view.page = r;
}

void display(std::int32_t disp) {
    // Keys already typed would change the screen again: the last of them
    // brings it up to date.
    static bool repaint_owed = false;
    if (keyspending()) {
        repaint_owed = repaint_owed || disp == 1;
        return;
    }
    if (repaint_owed)
        disp = 1;
    repaint_owed = false;
    if (disp == 1)
        clearok(curscr, TRUE);
    frame();
    int rows = visiblerows();
    int hrows = helprows();
    offset_t lo, hi;
    shownregion(&lo, &hi);
    bool draw = disp == 1 || drawn.serial != buffer.serial || drawn.page != view.page ||
                drawn.lines != LINES || drawn.cols != COLS || drawn.textline != textline ||
                drawn.helprows != hrows || drawn.marked[0] != lo || drawn.marked[1] != hi;
    // After a repaint or a new size, the window's bottom row may hold
    // what stood there before: the message row is cleared then too.
    bool fresh = disp == 1 || drawn.lines != LINES || drawn.cols != COLS;
    int crow, ccol;
    drawtext(rows, draw, &crow, &ccol);
    if (draw) {
        drawn = {buffer.serial, view.page, LINES, COLS, textline, hrows, {lo, hi}};
        if (hrows > 0)
            drawhelp(textline + rows, hrows);
    }
    drawheader();
    if (msgflag) {
        wmove(stdscr, LINES - 1, 0);
        addclipped(msgline, screenwidth() - 1);
        wclrtoeol(stdscr);
        msgflag = 0;
        msgshown = 1;
    } else if (msgshown || fresh) {
        wmove(stdscr, LINES - 1, 0);
        wclrtoeol(stdscr);
        msgshown = 0;
    }
    if (crow < 0)
        crow = 0;
    if (ccol >= screenwidth())
        ccol = screenwidth() - 1;
    wmove(stdscr, textline + crow, ccol);
    // A question still waiting for its answer shows over the message line.
    drawprompt();
    wrefresh(stdscr);
}

} // namespace kwed
