// Where the rows of a wrapped line start, and the column of an offset on
// its line. Both follow from a walk that begins at the start of the line,
// so on a long line two things keep them quick: marks, places on the line
// whose row start or column is known, from the nearest of which a walk
// begins; and runs of plain ASCII, which are crossed in large steps since
// each of their bytes takes exactly one column.
#include "editor_core.h"

#include <algorithm>
#include <vector>

namespace kwed {

namespace {

// Marks are kept at least this many bytes apart.
constexpr offset_t mark_step = 4096;
// Further than this past the last mark, the line's start is looked up
// afresh rather than searching the bytes in between for a newline.
constexpr offset_t mark_reach = 65536;

offset_t lastmark(const line_marks &m) {
    return m.marks.empty() ? m.line : m.marks.back().at;
}

// The start of o's line; the marks are dropped when they belong to
// another line or layout.
offset_t startof(const editor &ed, line_marks &m, offset_t o, int cols) {
    if (m.cols != cols || m.tabs != tabsize(ed))
        m = {-1, cols, tabsize(ed), {}};
    offset_t last = lastmark(m);
    if (m.line >= 0 && o >= m.line &&
        (o <= last || (o - last <= mark_reach && countlines(ed.buffer, last, o) == 0)))
        return m.line;
    offset_t ls = linestart(ed.buffer, o);
    if (ls != m.line) {
        m.line = ls;
        m.marks.clear();
    }
    return ls;
}

// The last mark at or before o, or the line's start.
line_mark nearest(const line_marks &m, offset_t o) {
    auto it = std::upper_bound(m.marks.begin(), m.marks.end(), o,
                               [](offset_t x, const line_mark &k) { return x < k.at; });
    return it == m.marks.begin() ? line_mark{m.line, 0} : *(it - 1);
}

// Notes the places from + k * stride (k >= 0) up to `to`, whose columns
// are col + k * colstride, as far apart as marks go.
void notestride(line_marks &m, offset_t from, offset_t to, offset_t stride, int colstride,
                int col) {
    for (offset_t want = lastmark(m) + mark_step; want <= to; want = lastmark(m) + mark_step) {
        offset_t k = want <= from ? 0 : (want - from + stride - 1) / stride;
        offset_t at = from + k * stride;
        if (at > to)
            break;
        m.marks.push_back({at, col + static_cast<int>(k) * colstride});
    }
}

void forget(line_marks &m, offset_t from) {
    if (m.line < 0)
        return;
    if (from <= m.line) {
        m.line = -1;
        m.marks.clear();
        return;
    }
    while (!m.marks.empty() && m.marks.back().at >= from)
        m.marks.pop_back();
}

// The start of the last row that begins at or before o, walking from the
// row that starts at r.
offset_t walkrows(editor &ed, offset_t r, offset_t o, int cols) {
    const text_buffer &b = ed.buffer;
    offset_t size = textsize(b);
    for (;;) {
        // A row of plain text is cols bytes long, unless a character of
        // no width follows and joins it: the next row starts with it.
        offset_t rows = (plainend(b, r, o) - r) / cols;
        if (rows > 0 && r + rows * cols < size && byteat(b, r + rows * cols) >= 0x80)
            --rows;
        offset_t next = r + rows * cols;
        if (rows == 0) {
            next = nextrow(ed, r);
            if (next < 0 || next > o)
                return r;
        }
        notestride(ed.view.rowmarks, r, next, rows > 0 ? cols : next - r, 0, 0);
        r = next;
    }
}

} // namespace

offset_t nextrow(const editor &ed, offset_t o) {
    offset_t size = textsize(ed.buffer);
    int col = 0;
    int cols = textcols(ed);
    while (o < size) {
        int len;
        std::int32_t c = charat(ed.buffer, o, &len);
        if (c == '\n')
            return col >= cols ? o : o + 1;
        int w = charwidth(ed, c, col);
        if (col + w > cols && col > 0)
            return o;
        col += w;
        o += len;
    }
    return col >= cols ? size : -1;
}

offset_t rowof(editor &ed, offset_t o) {
    int cols = textcols(ed);
    startof(ed, ed.view.rowmarks, o, cols);
    return walkrows(ed, nearest(ed.view.rowmarks, o).at, o, cols);
}

offset_t prevrow(editor &ed, offset_t s) {
    // The row before the one that starts at s holds the byte before s.
    return s <= 0 ? 0 : rowof(ed, s - 1);
}

void layoutchanged(editor &ed, offset_t from) {
    forget(ed.view.rowmarks, from);
    forget(ed.view.columnmarks, from);
    if (from <= ed.view.charcount.at)
        ed.view.charcount.line = -1;
}

// Plain ASCII is one character a byte and is crossed in runs; a combining
// character belongs to the one before it on its line.
long charcolumn(editor &ed, offset_t o) {
    const text_buffer &b = ed.buffer;
    auto &cache = ed.view.charcount;
    offset_t ls = linestart(b, o);
    offset_t p = ls;
    long n = 0;
    if (cache.line == ls && cache.at <= o) {
        p = cache.at;
        n = cache.count;
    }
    while (p < o) {
        offset_t q = plainend(b, p, o);
        if (q > p) {
            n += static_cast<long>(q - p);
            p = q;
            continue;
        }
        int len;
        std::int32_t c = charat(b, p, &len);
        n += combining(c) && p > ls ? 0 : 1;
        p += len;
    }
    cache.line = ls;
    cache.at = o;
    cache.count = n;
    return n;
}

int columnof(editor &ed, offset_t o) {
    line_marks &columnmarks = ed.view.columnmarks;
    startof(ed, columnmarks, o, 0);
    line_mark m = nearest(columnmarks, o);
    offset_t p = m.at;
    int col = m.col;
    while (p < o) {
        offset_t q = plainend(ed.buffer, p, o);
        if (q > p) {
            notestride(columnmarks, p, q, 1, 1, col);
            col += static_cast<int>(q - p);
            p = q;
            continue;
        }
        // A character that o falls inside counts whole.
        int len;
        std::int32_t c = charat(ed.buffer, p, &len);
        col += charwidth(ed, c, col);
        p += len;
        notestride(columnmarks, p, p, 1, 0, col);
    }
    return col;
}

offset_t atcolumn(const editor &ed, offset_t ls, int want) {
    const text_buffer &b = ed.buffer;
    offset_t size = textsize(b);
    int col = 0;
    offset_t p = ls;
    while (p < size) {
        if (col < want) {
            offset_t q = plainend(b, p, std::min(size, p + (want - col)));
            col += static_cast<int>(q - p);
            if (q > p) {
                p = q;
                continue;
            }
        }
        int len;
        std::int32_t c = charat(b, p, &len);
        if (c == '\n')
            break;
        int w = charwidth(ed, c, col);
        if (col + w > want)
            break;
        col += w;
        p += len;
    }
    return p;
}

} // namespace kwed
