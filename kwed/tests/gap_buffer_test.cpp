// The text buffer against a plain string model: random edits at random
// places, with every lookup checked after each one.
#include "buffer_contents.h"
#include "editor_core.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using kwed::offset_t;

using kwed_testing::contents;

class Buffer : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(kwed::growgap(ed.buffer, 16)); }
    void TearDown() override { kwed::freebuffer(ed); }
    void put(const std::string &s) { ASSERT_TRUE(kwed::raw_insert(ed, 0, s.data(), s.size())); }
    kwed::editor ed;
};

offset_t model_linestart(const std::string &m, offset_t o) {
    auto nl = o == 0 ? std::string::npos : m.rfind('\n', o - 1);
    return nl == std::string::npos ? 0 : static_cast<offset_t>(nl + 1);
}

offset_t model_lineend(const std::string &m, offset_t o) {
    auto nl = m.find('\n', o);
    return nl == std::string::npos ? static_cast<offset_t>(m.size()) : static_cast<offset_t>(nl);
}

TEST_F(Buffer, RandomEditsMatchAStringModel) {
    std::mt19937 rng(12345);
    std::string model;
    const char *pieces[] = {"a", "\n", "xy\nz", "é", "日本", "\n\n", "needle", "nee"};
    for (int step = 0; step < 3000; ++step) {
        offset_t size = static_cast<offset_t>(model.size());
        if (rng() % 3 != 0 || size == 0) {
            std::string piece = pieces[rng() % 8];
            offset_t at = static_cast<offset_t>(rng() % (size + 1));
            ASSERT_TRUE(kwed::raw_insert(ed, at, piece.data(), piece.size()));
            model.insert(static_cast<std::size_t>(at), piece);
        } else {
            offset_t at = static_cast<offset_t>(rng() % size);
            std::size_t n = 1 + rng() % std::min<offset_t>(size - at, 7);
            kwed::raw_delete(ed, at, n);
            model.erase(static_cast<std::size_t>(at), n);
        }
        ASSERT_EQ(contents(ed.buffer), model) << step;
        size = static_cast<offset_t>(model.size());
        offset_t o = static_cast<offset_t>(rng() % (size + 1));
        ASSERT_EQ(kwed::linestart(ed.buffer, o), model_linestart(model, o)) << step;
        ASSERT_EQ(kwed::lineend(ed.buffer, o), model_lineend(model, o)) << step;
        offset_t lines = static_cast<offset_t>(std::count(model.begin(), model.begin() + o, '\n'));
        ASSERT_EQ(kwed::lineof(ed.buffer, o), lines + 1) << step;
        ASSERT_EQ(kwed::countlines(ed.buffer, 0, o), lines) << step;
        auto hit = model.find("needle", static_cast<std::size_t>(o));
        ASSERT_EQ(kwed::findtext(ed.buffer, o, "needle"),
                  hit == std::string::npos ? -1 : static_cast<offset_t>(hit))
            << step;
        // Line n starts after the (n-1)-th newline, or on the last line.
        offset_t n = 1 + static_cast<offset_t>(rng() % 20);
        offset_t start = 0;
        for (offset_t i = 1; i < n; ++i) {
            auto nl = model.find('\n', static_cast<std::size_t>(start));
            if (nl == std::string::npos)
                break;
            start = static_cast<offset_t>(nl + 1);
        }
        ASSERT_EQ(kwed::linetooffset(ed.buffer, n), start) << step;
    }
}

// Columns are remembered between lookups; edits anywhere must never
// leave a stale one behind.
TEST_F(Buffer, ColumnsStayRightThroughEditsAndMoves) {
    std::mt19937 rng(99);
    const char *pieces[] = {"a", "\t", "日", "\n", "é", "\x01", "\xE9", "bc"};
    auto naive = [this](offset_t o) {
        int col = 0;
        for (offset_t p = kwed::linestart(ed.buffer, o); p < o;) {
            int len;
            std::int32_t c = kwed::charat(ed.buffer, p, &len);
            col += kwed::charwidth(ed, c, col);
            p += len;
        }
        return col;
    };
    for (int step = 0; step < 4000; ++step) {
        offset_t size = kwed::textsize(ed.buffer);
        int op = static_cast<int>(rng() % 4);
        if (op == 0 || size == 0) {
            std::string piece = pieces[rng() % 8];
            ASSERT_TRUE(kwed::raw_insert(ed, static_cast<offset_t>(rng() % (size + 1)),
                                         piece.data(), piece.size()));
        } else if (op == 1) {
            kwed::raw_delete(ed, static_cast<offset_t>(rng() % size), 1);
        }
        // Look up a few offsets near each other, as cursor moves do; the
        // cursor stands where characters start.
        offset_t o = static_cast<offset_t>(rng() % (kwed::textsize(ed.buffer) + 1));
        offset_t start = kwed::linestart(ed.buffer, o);
        while (start < o)
            start = kwed::nextchar(ed.buffer, start);
        o = start;
        for (int i = 0; i < 3; ++i) {
            o = kwed::prevchar(ed.buffer, o);
            if (rng() % 2)
                o = kwed::nextchar(ed.buffer, kwed::nextchar(ed.buffer, o));
            ASSERT_EQ(kwed::columnof(ed, o), naive(o)) << step;
        }
    }
}

TEST_F(Buffer, FindsTextAcrossTheGap) {
    put("abc needle def");
    for (offset_t gap = 0; gap <= kwed::textsize(ed.buffer); ++gap) {
        kwed::movegap(ed.buffer, gap);
        EXPECT_EQ(kwed::findtext(ed.buffer, 0, "needle"), 4) << gap;
        EXPECT_EQ(kwed::findtext(ed.buffer, 5, "needle"), -1) << gap;
        EXPECT_EQ(kwed::findtext(ed.buffer, 0, "def"), 11) << gap;
        EXPECT_EQ(kwed::findtext(ed.buffer, 0, ""), -1) << gap;
        EXPECT_EQ(contents(ed.buffer), "abc needle def");
    }
}

TEST_F(Buffer, DecodesUtf8AndKeepsInvalidBytesAsThemselves) {
    put("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80\xC3(\xE0\x80\xAF\xED\xA0\x80z");
    int len;
    EXPECT_EQ(kwed::charat(ed.buffer, 0, &len), 'a');
    EXPECT_EQ(len, 1);
    EXPECT_EQ(kwed::charat(ed.buffer, 1, &len), 0xE9);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(kwed::charat(ed.buffer, 3, &len), 0x65E5);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(kwed::charat(ed.buffer, 6, &len), 0x1F600);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(kwed::charat(ed.buffer, 10, &len), -0xC3); // lead byte without its follower
    EXPECT_EQ(len, 1);
    EXPECT_EQ(kwed::charat(ed.buffer, 12, &len), -0xE0); // overlong form
    EXPECT_EQ(kwed::charat(ed.buffer, 15, &len), -0xED); // surrogate
    // Walking forward and back visits the same character starts.
    std::vector<offset_t> forward;
    for (offset_t o = 0; o < kwed::textsize(ed.buffer); o = kwed::nextchar(ed.buffer, o))
        forward.push_back(o);
    std::vector<offset_t> back;
    for (offset_t o = kwed::textsize(ed.buffer); o > 0;) {
        o = kwed::prevchar(ed.buffer, o);
        back.insert(back.begin(), o);
    }
    EXPECT_EQ(forward, back);
    EXPECT_EQ(forward.size(), 13u);
    // A truncated sequence at the very end stays a byte.
    kwed::freebuffer(ed);
    put("x\xE6\x97");
    EXPECT_EQ(kwed::charat(ed.buffer, 1, &len), -0xE6);
    EXPECT_EQ(kwed::prevchar(ed.buffer, 3), 2);
}

TEST_F(Buffer, EncodesEveryLengthOfUtf8) {
    char out[4];
    EXPECT_EQ(kwed::utf8encode('A', out), 1);
    EXPECT_EQ(std::string(out, 1), "A");
    EXPECT_EQ(kwed::utf8encode(0xE9, out), 2);
    EXPECT_EQ(std::string(out, 2), "\xC3\xA9");
    EXPECT_EQ(kwed::utf8encode(0x65E5, out), 3);
    EXPECT_EQ(std::string(out, 3), "\xE6\x97\xA5");
    EXPECT_EQ(kwed::utf8encode(0x1F600, out), 4);
    EXPECT_EQ(std::string(out, 4), "\xF0\x9F\x98\x80");
}

TEST_F(Buffer, ReadsWholeFilesAndReportsWhyNot) {
    char name[] = "/tmp/kwed-load-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    std::string big(300000, 'q');
    big[123456] = '\n';
    ASSERT_EQ(write(fd, big.data(), big.size()), static_cast<ssize_t>(big.size()));
    close(fd);
    auto readnamed = [this](const char *path) {
        int in = open(path, O_RDONLY);
        int err = kwed::readfile(ed, in);
        close(in);
        return err;
    };
    EXPECT_EQ(readnamed(name), 0);
    EXPECT_EQ(contents(ed.buffer), big);
    EXPECT_EQ(kwed::lineof(ed.buffer, kwed::textsize(ed.buffer)), 2);
    unlink(name);
    EXPECT_EQ(readnamed("/"), EISDIR);
    EXPECT_EQ(kwed::textsize(ed.buffer), 0);
    EXPECT_EQ(readnamed(name), EBADF);
}

} // namespace

namespace {

// Forward and backward, with and without case, at every gap position:
// matches that the gap cuts in two are found, and letters of any script
// match in either case, also where the two forms differ in length.
TEST_F(Buffer, FindsWithOptionsAcrossTheGap) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const std::string text = "Été NEEDLE x needle \xC9T\xC9 \u212Aelvin";
    put(text);
    struct Case {
        const char *pattern;
        offset_t from;
        bool nocase, backward;
        offset_t at, end;
    };
    const Case cases[] = {
        {"needle", 0, false, false, 15, 21},   {"needle", 0, true, false, 6, 12},
        {"NEEDLE", 7, true, false, 15, 21},    {"needle", 15, false, true, -1, 0},
        {"needle", 16, false, true, 15, 21},   {"needle", 15, true, true, 6, 12},
        {"été", 1, true, false, -1, 0},        {"été", 0, true, false, 0, 5},
        {"ÉTÉ", 30, true, true, 0, 5},         {"été", 0, false, false, -1, 0},
        {"\xC9t\xC9", 0, true, false, 22, 25}, // bytes that are no UTF-8
        {"kel", 0, true, false, 26, 31},       // the Kelvin sign is a k
        {"KEL", 31, true, true, 26, 31},       {"", 0, true, false, -1, 0},
    };
    for (offset_t gap = 0; gap <= kwed::textsize(ed.buffer); ++gap) {
        kwed::movegap(ed.buffer, gap);
        for (const Case &c : cases) {
            offset_t end = 0;
            EXPECT_EQ(kwed::findmatch(ed.buffer, c.from, c.pattern, {c.nocase, c.backward}, &end),
                      c.at)
                << c.pattern << " from " << c.from << " gap " << gap;
            if (c.at >= 0) {
                EXPECT_EQ(end, c.end) << c.pattern << " gap " << gap;
            }
        }
        ASSERT_EQ(contents(ed.buffer), text);
    }
}

} // namespace
