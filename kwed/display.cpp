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

namespace {

// Whether the cursor lies on one of the rows from the first one shown on.
bool cursorshown(editor &ed) {
    if (ed.buffer.point < ed.view.page)
        return false;
    offset_t r = ed.view.page;
    for (int i = 0; i < visiblerows(ed); ++i) {
        offset_t n = nextrow(ed, r);
        if (n < 0 || n > ed.buffer.point)
            return true;
        r = n;
    }
    return false;
}

// Puts the row of the cursor at screen row `at` of the text rows.
void frameat(editor &ed, int at) {
    offset_t r = rowof(ed, ed.buffer.point);
    for (int i = 0; i < at && r > 0; ++i)
        r = prevrow(ed, r);
    ed.view.page = r;
}

void frame(editor &ed) {
    screen_view &view = ed.view;
    offset_t size = textsize(ed.buffer);
    if (view.page > size)
        view.page = size;
    // Rows start where they did unless the text before the first row shown changed.
    if ((view.page_changed < view.page || view.drawn.cols != textcols(ed)) && view.page > 0)
        view.page = rowof(ed, view.page);
    view.page_changed = PTRDIFF_MAX;
    // Nothing but the empty end of the text would show (after a cut to the
    // end, say): the lines before it show too.
    if (ed.centre_now || (view.page == size && size > 0)) {
        frameat(ed, visiblerows(ed) / 2);
        ed.centre_now = 0;
    } else if (ed.buffer.point < view.page) {
        frameat(ed, 0);
    } else if (!cursorshown(ed)) {
        frameat(ed, visiblerows(ed) - 1);
    }
}

// An invalid byte, a control character or a character the terminal has no
// glyph for: shown in another form than itself.
bool unprintable(std::int32_t c) {
    return c < 32 || c == 127 || (c > 127 && ::wcwidth(static_cast<wchar_t>(c)) < 0);
}

// The marks that show tabs and blanks when whitespace is shown: in a
// UTF-8 locale a guillemet and a middle dot, else '>' and '.'.
void addwhitespace(bool tab) {
    if (MB_CUR_MAX > 1) {
        wchar_t wc = tab ? L'\u00bb' : L'\u00b7';
        waddnwstr(stdscr, &wc, 1);
    } else {
        waddch(stdscr, tab ? '>' : '.');
    }
}

void drawchar(const editor &ed, std::int32_t c, const char *text, int len, int col) {
    if (c == '\t') {
        int i = charwidth(ed, c, col);
        if (ed.view.whitespace) {
            addwhitespace(true);
            --i;
        }
        for (; i > 0; --i)
            waddch(stdscr, ' ');
    } else if (c == ' ' && ed.view.whitespace) {
        addwhitespace(false);
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
void shownregion(const editor &ed, offset_t *lo, offset_t *hi) {
    if (!region(ed.buffer, lo, hi) || *lo == *hi)
        *lo = *hi = -1;
}

// The line number at the left of a row that begins line n (0: a row that
// goes on with a line, or shows no text), in plain video.
void drawnumber(const editor &ed, long n) {
    int width = gutter(ed);
    if (width == 0)
        return;
    attr_t attrs;
    short pair;
    wattr_get(stdscr, &attrs, &pair, nullptr);
    wattrset(stdscr, A_NORMAL);
    char number[32] = "";
    if (n > 0)
        std::snprintf(number, sizeof number, "%*ld ", width - 1, n);
    else
        std::snprintf(number, sizeof number, "%*s", width, "");
    waddstr(stdscr, number);
    wattr_set(stdscr, attrs, pair, nullptr);
}

// Draws the text rows and returns the cursor's row and column.
void drawtext(editor &ed, int rows, bool draw, int *crow, int *ccol) {
    const text_buffer &buffer = ed.buffer;
    offset_t size = textsize(buffer);
    offset_t o = ed.view.page;
    *crow = -1;
    *ccol = 0;
    offset_t lo, hi;
    shownregion(ed, &lo, &hi);
    if (draw && lo < o && o < hi)
        wattrset(stdscr, A_UNDERLINE);
    long number = draw && gutter(ed) ? static_cast<long>(lineof(ed.buffer, o)) - 1 : 0;
    for (int r = 0; r < rows; ++r) {
        bool startsline = o >= 0 && (o == 0 || byteat(buffer, o - 1) == '\n');
        if (startsline)
            ++number;
        if (draw) {
            wmove(stdscr, firstrow(ed) + r, 0);
            drawnumber(ed, startsline ? number : 0);
        }
        offset_t next = o < 0 ? -1 : nextrow(ed, o);
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
            std::int32_t c = charat(buffer, p, &len);
            if (draw && (p == lo || p == hi)) {
                if (nrun > 0)
                    waddnstr(stdscr, run, nrun);
                nrun = 0;
                wattrset(stdscr, p == lo ? A_UNDERLINE : A_NORMAL);
            }
            if (c == '\n')
                break;
            int w = charwidth(ed, c, col);
            if (draw && c >= 32 && c < 127 && !(c == ' ' && ed.view.whitespace)) {
                run[nrun++] = static_cast<char>(c);
            } else if (draw) {
                if (nrun > 0)
                    waddnstr(stdscr, run, nrun);
                nrun = 0;
                char text[4];
                copytext(buffer, p, len, text);
                drawchar(ed, c, text, len, col);
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

} // namespace

int namewidth(std::int32_t c) {
    return unprintable(c) ? 1 : glyphwidth(c);
}

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
void drawheader(editor &ed) {
    if (firstrow(ed) <= 0)
        return;
    char right[64];
    std::snprintf(right, sizeof right, getmsg(m_position),
                  static_cast<long>(lineof(ed.buffer, ed.buffer.point)),
                  static_cast<int>(charcolumn(ed, ed.buffer.point) + 1));
    char head[msgline_size];
    const edited_file &edited = ed.edited;
    std::uint32_t title = ed.settings.title;
    std::snprintf(head, sizeof head, " %s%s", title ? pooltext(ed.keys, title) : getmsg(m_title),
                  edited.filename[0] ? "  " : "");
    char marks[msgline_size];
    std::snprintf(marks, sizeof marks, "%s%s%s", ed.modified ? getmsg(m_modified) : "",
                  edited.crlf ? getmsg(m_dos) : "", edited.readonly ? getmsg(m_readonly) : "");
    int width = screenwidth();
    int rwidth = addclipped(right, width, false);
    int left = rwidth < width ? width - rwidth : width;
    int room = rwidth < width ? left - 1 : width;
    wmove(stdscr, 0, 0);
    wattron(stdscr, A_REVERSE);
    int used = addclipped(head, room);
    used += addtail(edited.filename, room - used - addclipped(marks, room, false));
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

int gutter(const editor &ed) {
    if (!ed.view.numbers)
        return 0;
    int digits = 1;
    for (offset_t n = ed.buffer.newlines + 1; n >= 10; n /= 10)
        ++digits;
    int width = digits + 1;
    return width + 1 < screenwidth() ? width : 0;
}

int textcols(const editor &ed) {
    return screenwidth() - gutter(ed);
}

namespace {

result toggled(editor &ed, bool &flag, const char *on, const char *off) {
    flag = !flag;
    msg(ed, flag ? on : off);
    return result::ok;
}

} // namespace

result linenumbers(editor &ed) {
    return toggled(ed, ed.view.numbers, m_numberson, m_numbersoff);
}

result whitespace(editor &ed) {
    return toggled(ed, ed.view.whitespace, m_spaceson, m_spacesoff);
}

int firstrow(const editor &ed) {
    return ed.settings.header;
}

int textrows(const editor &ed) {
    int rows = LINES - 1 - firstrow(ed);
    return rows > 1 ? rows : 1;
}

int visiblerows(const editor &ed) {
    int rows = textrows(ed) - helprows(ed);
    return rows > 1 ? rows : 1;
}

void notechange(editor &ed, offset_t at) {
    // A change can also join up to three bytes before it into one UTF-8
    // character, so what ends up to three bytes before it is affected too.
    offset_t from = at > 3 ? at - 3 : 0;
    if (from < ed.view.page_changed)
        ed.view.page_changed = from;
    layoutchanged(ed, from);
}

void drawmessage(editor &ed) {
    wmove(stdscr, LINES - 1, 0);
    wclrtoeol(stdscr);
    addclipped(ed.msgline, screenwidth() - 1);
    ed.msgshown = 1;
    wrefresh(stdscr);
}

result redraw(editor &ed) {
    ed.centre_now = 1;
    return result::ok;
}

offset_t rowsaway(editor &ed, offset_t r, int n) {
    for (; n > 0; --n) {
        offset_t next = nextrow(ed, r);
        if (next < 0)
            break;
        r = next;
    }
    for (; n < 0 && r > 0; ++n)
        r = prevrow(ed, r);
    return r;
}

void scrollrows(editor &ed, int n) {
    ed.view.page = rowsaway(ed, rowof(ed, ed.view.page), n);
}

namespace {

// Keys that the first message (what reading the file gave) stays for,
// unless another one takes its place. Any later message goes with the next
// key, so that none outlives what it tells of.
constexpr long startmessage_keys = 20;

// The message line: a message that waits shows; before the first key, the
// start-up hint follows it.
void drawmessageline(editor &ed) {
    long key = ed.reader.keycount;
    if (ed.msgflag) {
        ed.msgflag = 0;
        ed.msgshown = 1;
        ed.msgkey = key;
    } else if (ed.msgshown && key - ed.msgkey >= (ed.msgkey == 0 ? startmessage_keys : 1)) {
        ed.msgshown = 0;
    }
    int cols = screenwidth() - 1;
    wmove(stdscr, LINES - 1, 0);
    int used = ed.msgshown ? addclipped(ed.msgline, cols) : 0;
    if (key == 0 && ed.view.hint[0]) {
        if (used > 0)
            used += addclipped("  ", cols - used);
        addclipped(ed.view.hint, cols - used);
    }
    wclrtoeol(stdscr);
}

} // namespace

void display(editor &ed, std::int32_t disp) {
    screen_view &view = ed.view;
    // Keys already typed would change the screen again: the last of them
    // brings it up to date.
    if (keyspending(ed.reader)) {
        view.repaint_owed = view.repaint_owed || disp == 1;
        return;
    }
    if (view.repaint_owed)
        disp = 1;
    view.repaint_owed = false;
    if (disp == 1)
        clearok(curscr, TRUE);
    frame(ed);
    int rows = visiblerows(ed);
    int hrows = helprows(ed);
    offset_t lo, hi;
    shownregion(ed, &lo, &hi);
    drawn_state &drawn = view.drawn;
    int top = firstrow(ed);
    bool draw = disp == 1 || drawn.serial != ed.buffer.serial || drawn.page != view.page ||
                drawn.lines != LINES || drawn.cols != textcols(ed) || drawn.textline != top ||
                drawn.helprows != hrows || drawn.helppage != view.helppage ||
                drawn.marked[0] != lo || drawn.marked[1] != hi;
    int crow, ccol;
    drawtext(ed, rows, draw, &crow, &ccol);
    if (draw) {
        drawn = {ed.buffer.serial, view.page, LINES, textcols(ed), top, hrows,
                 view.helppage,    {lo, hi}};
        if (hrows > 0)
            drawhelp(ed, top + rows, hrows);
    }
    drawheader(ed);
    drawmessageline(ed);
    if (crow < 0)
        crow = 0;
    if (ccol >= textcols(ed))
        ccol = textcols(ed) - 1;
    wmove(stdscr, top + crow, gutter(ed) + ccol);
    // A question still waiting for its answer shows over the message line.
    drawprompt(ed);
    wrefresh(stdscr);
}

} // namespace kwed
