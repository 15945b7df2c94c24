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

struct mark {
    offset_t at;
    int col; // the column at `at` (0 for row starts)
};

// Known places on one line, in increasing order. They hold while the text
// before them, the screen width and the tab size stay as they were; they
// also tell that no newline lies between the line's start and the last one.
struct line_marks {
    offset_t line = -1; // the start of the line, or -1
    int cols = 0;
    int tabs = 0;
    std::vector<mark> marks;
};
line_marks rowmarks;    // where rows start
line_marks columnmarks; // columns of characters

offset_t lastmark(const line_marks &m) {
    return m.marks.empty() ? m.line : m.marks.back().at;
}

// The start of o's line; the marks are dropped when they belong to
// another line or layout.
offset_t startof(line_marks &m, offset_t o, int cols) {
    if (m.cols != cols || m.tabs != tabsize())
        m = {-1, cols, tabsize(), {}};
    offset_t last = lastmark(m);
    if (m.line >= 0 && o >= m.line &&
        (o <= last || (o - last <= mark_reach && countlines(last, o) == 0)))
        return m.line;
    offset_t ls = linestart(o);
    if (ls != m.line) {
        m.line = ls;
        m.marks.clear();
    }
    return ls;
}

// The last mark at or before o, or the line's start.
mark nearest(const line_marks &m, offset_t o) {
    auto it = std::upper_bound(m.marks.begin(), m.marks.end(), o,
                               [](offset_t x, const mark &k) { return x < k.at; });
    return it == m.marks.begin() ? mark{m.line, 0} : *(it - 1);
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
offset_t walkrows(offset_t r, offset_t o, int cols) {
    offset_t size = textsize();
    for (;;) {
        // A row of plain text is cols bytes long, unless a character of
        // no width follows and joins it: the next row starts with it.
        offset_t rows = (plainend(r, o) - r) / cols;
        if (rows > 0 && r + rows * cols < size && byteat(r + rows * cols) >= 0x80)
            --rows;
        offset_t next = r + rows * cols;
        if (rows == 0) {
            next = nextrow(r);
            if (next < 0 || next > o)
                return r;
        }
        notestride(rowmarks, r, next, rows > 0 ? cols : next - r, 0, 0);
        r = next;
    }
}

} // namespace

offset_t nextrow(offset_t o) {
    offset_t size = textsize();
    int col = 0;
    int cols = screenwidth();
    while (o < size) {
        int len;
        std::int32_t c = charat(o, &len);
        if (c == '\n')
            return col >= cols ? o : o + 1;
        int w = charwidth(c, col);
        if (col + w > cols && col > 0)
            return o;
        col += w;
        o += len;
    }
    return col >= cols ? size : -1;
}

offset_t rowof(offset_t o) {
    int cols = screenwidth();
    startof(rowmarks, o, cols);
    return walkrows(nearest(rowmarks, o).at, o, cols);
}

offset_t prevrow(offset_t s) {
    // The row before the one that starts at s holds the byte before s.
    return s <= 0 ? 0 : rowof(s - 1);
}

void layoutchanged(offset_t from) {
    forget(rowmarks, from);
    forget(columnmarks, from);
}

int columnof(offset_t o) {
    startof(columnmarks, o, 0);
    mark m = nearest(columnmarks, o);
    offset_t p = m.at;
    int col = m.col;
    while (p < o) {
        offset_t q = plainend(p, o);
        if (q > p) {
            notestride(columnmarks, p, q, 1, 1, col);
            col += static_cast<int>(q - p);
            p = q;
            continue;
        }
        // A character that o falls inside counts whole.
        int len;
        std::int32_t c = charat(p, &len);
        col += charwidth(c, col);
        p += len;
        notestride(columnmarks, p, p, 1, 0, col);
    }
    return col;
}

offset_t atcolumn(offset_t ls, int want) {
    offset_t size = textsize();
    int col = 0;
    offset_t p = ls;
    while (p < size) {
        if (col < want) {
            offset_t q = plainend(p, std::min(size, p + (want - col)));
            col += static_cast<int>(q - p);
            if (q > p) {
                p = q;
                continue;
            }
        }
        int len;
        std::int32_t c = charat(p, &len);
        if (c == '\n')
            break;
        int w = charwidth(c, col);
        if (col + w > want)
            break;
        col += w;
        p += len;
    }
    return p;
}

} // namespace kwed
