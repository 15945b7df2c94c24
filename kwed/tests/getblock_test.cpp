// getblock: logical lines of the run-control file, joined at a trailing
// backslash, and its three failure codes.
#include "kwed.h"
#include "temp_tree.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Blocks {
    std::vector<std::string> texts; // each block without its NUL
    std::vector<int> sizes;
    int last = 0;             // the negative code that ended the reading
    bool null_on_end = false; // the pointer was null with that code
};

Blocks read_all(std::FILE *fp) {
    Blocks b;
    for (;;) {
        char *block = reinterpret_cast<char *>(1);
        int n = kwed::getblock(fp, &block);
        if (n < 0) {
            b.last = n;
            b.null_on_end = block == nullptr;
            return b;
        }
        b.texts.emplace_back(block, n - 1);
        b.sizes.push_back(n);
        EXPECT_EQ(block[n - 1], '\0');
        std::free(block);
    }
}

Blocks read_text(const std::string &content) {
    suite_testing::TempTree tree;
    std::string path = tree.file("kwed.rc", content);
    std::FILE *fp = std::fopen(path.c_str(), "r");
    EXPECT_NE(fp, nullptr);
    Blocks b = read_all(fp);
    std::fclose(fp);
    return b;
}

TEST(Getblock, LinesComeBackWithNewlineAndSize) {
    Blocks b = read_text("\nbind up ^P\n\n");
    ASSERT_EQ(b.texts.size(), 3u);
    EXPECT_EQ(b.texts[0], "\n");
    EXPECT_EQ(b.sizes[0], 2);
    EXPECT_EQ(b.texts[1], "bind up ^P\n");
    EXPECT_EQ(b.sizes[1], 12);
    EXPECT_EQ(b.texts[2], "\n");
    EXPECT_EQ(b.last, kwed::gb_eof);
    EXPECT_TRUE(b.null_on_end);
}

TEST(Getblock, BackslashNewlineJoinsKeepingTheNextLinesBlanks) {
    Blocks b = read_text("abc\\\n def\none\\\ntwo\\\n\tthree\nend\n");
    ASSERT_EQ(b.texts.size(), 3u);
    EXPECT_EQ(b.texts[0], "abc def\n");
    EXPECT_EQ(b.sizes[0], 9);
    EXPECT_EQ(b.texts[1], "onetwo\tthree\n");
    EXPECT_EQ(b.texts[2], "end\n");
}

TEST(Getblock, TwoBackslashesEscapeNothingThreeJoin) {
    Blocks b = read_text("abc\\\\\nxyz\\\\\\\nq\n\\\\\\\\\n");
    ASSERT_EQ(b.texts.size(), 3u);
    EXPECT_EQ(b.texts[0], "abc\\\\\n");
    EXPECT_EQ(b.texts[1], "xyz\\\\q\n");
    EXPECT_EQ(b.texts[2], "\\\\\\\\\n");
}

TEST(Getblock, BackslashInsideALineStaysAndEscapesOnlyANewline) {
    Blocks b = read_text("a\\b \\\\c\\\n");
    // The last backslash joins with end of file: the line still counts.
    ASSERT_EQ(b.texts.size(), 1u);
    EXPECT_EQ(b.texts[0], "a\\b \\\\c\n");
}

TEST(Getblock, LongLinesComeBackWhole) {
    for (std::size_t len : {8189u, 8190u, 8191u, 8192u, 8193u, 16383u, 16384u, 30000u}) {
        std::string line(len, 'x');
        line[len / 2] = 'y';
        Blocks b = read_text(line + "\nnext\n");
        ASSERT_EQ(b.texts.size(), 2u) << len;
        EXPECT_EQ(b.texts[0], line + "\n") << len;
        EXPECT_EQ(b.sizes[0], static_cast<int>(len + 2)) << len;
        EXPECT_EQ(b.texts[1], "next\n") << len;
    }
}

TEST(Getblock, JoinedLineAcrossTheBufferStep) {
    std::string part(8191, 'a');
    Blocks b = read_text(part + "\\\n" + part + "\n");
    ASSERT_EQ(b.texts.size(), 1u);
    EXPECT_EQ(b.texts[0], part + part + "\n");
    EXPECT_EQ(b.sizes[0], 2 * 8191 + 2);
}

TEST(Getblock, LastLineWithoutNewlineIsItsOwnBlock) {
    Blocks b = read_text("first\nbind quit ^Q");
    ASSERT_EQ(b.texts.size(), 2u);
    EXPECT_EQ(b.texts[1], "bind quit ^Q\n");
    EXPECT_EQ(b.sizes[1], 14);
    EXPECT_EQ(b.last, kwed::gb_eof);

    // Joined into end of file, the joined text is not lost either.
    b = read_text("abc\\\ndef");
    ASSERT_EQ(b.texts.size(), 1u);
    EXPECT_EQ(b.texts[0], "abcdef\n");
    b = read_text("abc\\\n");
    ASSERT_EQ(b.texts.size(), 1u);
    EXPECT_EQ(b.texts[0], "abc\n");

    std::string tail(9000, 'z');
    b = read_text(tail);
    ASSERT_EQ(b.texts.size(), 1u);
    EXPECT_EQ(b.sizes[0], 9002);
}

TEST(Getblock, EmptyFileAndLoneBackslashAreEndOfFile) {
    for (const char *content : {"", "\\", "\\\n"}) {
        Blocks b = read_text(content);
        EXPECT_TRUE(b.texts.empty()) << content;
        EXPECT_EQ(b.last, kwed::gb_eof) << content;
        EXPECT_TRUE(b.null_on_end);
    }
}

TEST(Getblock, EndOfFileStaysEndOfFile) {
    suite_testing::TempTree tree;
    std::FILE *fp = std::fopen(tree.file("rc", "x\n").c_str(), "r");
    ASSERT_NE(fp, nullptr);
    char *block = nullptr;
    EXPECT_EQ(kwed::getblock(fp, &block), 3);
    std::free(block);
    EXPECT_EQ(kwed::getblock(fp, &block), kwed::gb_eof);
    EXPECT_EQ(kwed::getblock(fp, &block), kwed::gb_eof);
    EXPECT_EQ(block, nullptr);
    std::fclose(fp);
}

// A stream that hands out `text` and then fails.
struct failing_source {
    std::string text;
    std::size_t at = 0;
};

ssize_t failing_read(void *cookie, char *buf, std::size_t size) {
    auto *src = static_cast<failing_source *>(cookie);
    if (src->at == src->text.size()) {
        errno = EIO;
        return -1;
    }
    std::size_t n = std::min(size, src->text.size() - src->at);
    std::memcpy(buf, src->text.data() + src->at, n);
    src->at += n;
    return static_cast<ssize_t>(n);
}

Blocks read_failing(const std::string &text) {
    failing_source src{text};
    cookie_io_functions_t io{};
    io.read = failing_read;
    std::FILE *fp = fopencookie(&src, "r", io);
    EXPECT_NE(fp, nullptr);
    Blocks b = read_all(fp);
    std::fclose(fp);
    return b;
}

TEST(Getblock, ReadErrorGivesMinusTwoAndNoBuffer) {
    Blocks b = read_failing("bind up ^P\nhalf a li");
    ASSERT_EQ(b.texts.size(), 1u);
    EXPECT_EQ(b.texts[0], "bind up ^P\n");
    EXPECT_EQ(b.last, kwed::gb_error);
    EXPECT_TRUE(b.null_on_end);

    b = read_failing("");
    EXPECT_TRUE(b.texts.empty());
    EXPECT_EQ(b.last, kwed::gb_error);

    // A directory opens for reading but every read fails.
    suite_testing::TempTree tree;
    std::FILE *fp = std::fopen(tree.root().c_str(), "r");
    ASSERT_NE(fp, nullptr);
    b = read_all(fp);
    EXPECT_EQ(b.last, kwed::gb_error);
    std::fclose(fp);
}

} // namespace
