// Rows and columns of long lines: however a place on a line is reached
// (straight to the end, backwards row by row, across an edit), its row
// start and column are those of a walk from the start of the text.
#include "buffer_contents.h"
#include "editor_core.h"

#include <curses.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using kwed::offset_t;

// The row starts of the whole text, one row after another.
std::vector<offset_t> walkedrows(const kwed::editor &ed) {
    std::vector<offset_t> rows;
    for (offset_t r = 0; r >= 0; r = kwed::nextrow(ed, r))
        rows.push_back(r);
    return rows;
}

offset_t walkedrowof(const std::vector<offset_t> &rows, offset_t o) {
    return *(std::upper_bound(rows.begin(), rows.end(), o) - 1);
}

// The column of every offset, from a walk over each line; an offset inside
// a character has the column after it.
std::vector<int> walkedcolumns(const kwed::editor &ed) {
    std::vector<int> cols(static_cast<std::size_t>(kwed::textsize(ed.buffer)) + 1);
    int col = 0;
    for (offset_t p = 0; p < kwed::textsize(ed.buffer);) {
        int len;
        std::int32_t c = kwed::charat(ed.buffer, p, &len);
        cols[p] = col;
        col = c == '\n' ? 0 : col + kwed::charwidth(ed, c, col);
        for (int i = 1; i < len; ++i)
            cols[p + i] = col;
        p += len;
    }
    cols.back() = col;
    return cols;
}

// Plain text of n bytes.
std::string plain(std::size_t n) {
    std::string s;
    while (s.size() < n)
        s += "lorem ipsum dolor sit amet ";
    s.resize(n);
    return s;
}

// Pieces of many widths, the wide and joining ones among them.
std::string mixed(unsigned seed, int n) {
    const char *pieces[] = {
        "ab",    "\t",   "\xE6\x97\xA5\xE6\x9C\xAC", "e\xCC\x81", "\xE9", "\x01",
        "x\t\t", "\x7F", "\xF0\x9F\x98\x80",         "word "};
    std::mt19937 rng(seed);
    std::string s;
    for (int i = 0; i < n; ++i)
        s += rng() % 4 ? pieces[rng() % 10] : plain(rng() % 200);
    return s;
}

TEST(Layout, LongLinesWrapAsAWalkFromTheirStart) {
    ASSERT_TRUE(std::setlocale(LC_ALL, "C.UTF-8"));
    struct {
        const char *what;
        std::string text;
        int cols;
    } cases[] = {
        {"plain rows, then tabs and wide characters", plain(120001) + mixed(1, 400), 80},
        {"a character of no width after full plain rows",
         plain(80 * 1000) + "\xCC\x81" + plain(80 * 70) + "\xCC\x81\xCC\x81" + mixed(2, 300), 80},
        {"a full row before the newline, and another line",
         plain(80 * 1500) + "\n" + plain(50000) + mixed(3, 200) + "\n", 80},
        {"narrow screen, wide characters at the row ends",
         mixed(4, 2000) + plain(60003) + mixed(5, 300), 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        kwed::editor ed;
        ASSERT_TRUE(kwed::growgap(ed.buffer, 16));
        ASSERT_TRUE(kwed::raw_insert(ed, 0, c.text.data(), c.text.size()));
        COLS = c.cols;
        std::vector<offset_t> rows = walkedrows(ed);
        std::vector<int> cols = walkedcolumns(ed);
        offset_t last = kwed::lineend(ed.buffer, 0);
        // Several edits: each is checked straight after it, End first.
        for (int edit = 0; edit < 3; ++edit) {
            EXPECT_EQ(kwed::rowof(ed, last), walkedrowof(rows, last));
            EXPECT_EQ(kwed::columnof(ed, last), cols[last]);
            // Backwards row by row, as the screen is framed from the end.
            offset_t r = kwed::rowof(ed, last);
            for (int i = 0; i < 300 && r > 0; ++i) {
                offset_t before = kwed::prevrow(ed, r);
                ASSERT_EQ(before, walkedrowof(rows, r - 1)) << r;
                r = before;
            }
            for (offset_t o = last; o >= 0 && o > last - 6000; --o) {
                ASSERT_EQ(kwed::rowof(ed, o), walkedrowof(rows, o)) << o;
                ASSERT_EQ(kwed::columnof(ed, o), cols[o]) << o;
            }
            for (offset_t o = 0; o < kwed::textsize(ed.buffer); o += 997) {
                ASSERT_EQ(kwed::rowof(ed, o), walkedrowof(rows, o)) << o;
                ASSERT_EQ(kwed::columnof(ed, o), cols[o]) << o;
            }
            // A wide character and a tab into the line, near its end.
            offset_t at = kwed::prevchar(ed.buffer, last - 3000 + edit * 1000);
            ASSERT_TRUE(kwed::raw_insert(ed, at, "\t\xE6\x97\xA5", 4));
            rows = walkedrows(ed);
            cols = walkedcolumns(ed);
            last = kwed::lineend(ed.buffer, 0);
        }
        // From a column far along a long line, atcolumn finds the offset
        // that the walk puts there.
        for (offset_t o = last; o > last - 2000; o = kwed::prevchar(ed.buffer, o)) {
            offset_t found = kwed::atcolumn(ed, 0, cols[o]);
            ASSERT_EQ(cols[found], cols[o]) << o;
        }
        kwed::freebuffer(ed);
    }
}

// Edits that split, join or complete characters just before places that
// were looked up: what is known past them must not outlive them.
TEST(Layout, EditsOnALongLineKeepRowsAndColumnsRight) {
    ASSERT_TRUE(std::setlocale(LC_ALL, "C.UTF-8"));
    const char *pieces[] = {"\xE6", "\x97\xA5", "\xCC", "\x81", "\t", "a", "\n", "\xE6\x97\xA5"};
    std::mt19937 rng(7);
    kwed::editor ed;
    ASSERT_TRUE(kwed::growgap(ed.buffer, 16));
    std::string text = mixed(9, 1200);
    ASSERT_TRUE(kwed::raw_insert(ed, 0, text.data(), text.size()));
    COLS = 80;
    offset_t cursor = kwed::textsize(ed.buffer);
    for (int step = 0; step < 800; ++step) {
        offset_t size = kwed::textsize(ed.buffer);
        // Look far along the line first, then edit a little before it.
        kwed::rowof(ed, cursor);
        kwed::columnof(ed, cursor);
        offset_t at = cursor - static_cast<offset_t>(rng() % 12);
        at = std::clamp<offset_t>(at, 0, size);
        if (rng() % 3 == 0 && at < size) {
            kwed::raw_delete(ed, at, 1);
        } else {
            const char *piece = pieces[rng() % 8];
            ASSERT_TRUE(kwed::raw_insert(ed, at, piece, std::strlen(piece)));
        }
        std::vector<offset_t> rows = walkedrows(ed);
        std::vector<int> cols = walkedcolumns(ed);
        for (offset_t o : {cursor, at, kwed::textsize(ed.buffer), cursor + 5}) {
            o = std::clamp<offset_t>(o, 0, kwed::textsize(ed.buffer));
            ASSERT_EQ(kwed::rowof(ed, o), walkedrowof(rows, o)) << step;
            ASSERT_EQ(kwed::columnof(ed, o), cols[o]) << step;
        }
        cursor = static_cast<offset_t>(rng() % kwed::textsize(ed.buffer));
    }
    kwed::freebuffer(ed);
}

} // namespace
