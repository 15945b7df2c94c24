// The screen end to end: the column that up and down aim for, the rows at
// the end of a long line, the header with a long file name, and the
// message row after a new window size.
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using kwed_testing::Editor;
using kwed_testing::quote;

// Runs of vertical moves keep aiming at the column where the first began,
// through short and empty lines and page moves; a character typed there
// shows where the cursor went.
TEST_F(Editor, VerticalMovesKeepTheColumnWhereTheRunBegan) {
    std::string lines = "abcdefghij\nxy\n\n0123456789abc\n";
    for (int i = 0; i < 40; ++i)
        lines += "line " + std::to_string(i) + " of the rest\n";
    struct {
        std::vector<std::string> keys;
        const char *position;
        std::string saved;
    } cases[] = {
        {{"End", "Down", "Down", "Down"}, "line 4, col 11", "0123456789Zabc\n"},
        {{"End", "Down", "Down", "Up", "Up"}, "line 1, col 11", "abcdefghijZ\n"},
        // A page down and up come back to the column too; a move of
        // another kind in between starts a new run.
        {{"End", "NPage", "Up", "PPage", "Up"}, "line 1, col 11", "abcdefghijZ\n"},
        {{"End", "Down", "Left", "Down"}, "line 3, col 1", "xy\nZ\n0123"},
    };
    for (const auto &c : cases) {
        tree.file("f.txt", lines);
        auto s = start("f.txt");
        s->keys(c.keys);
        EXPECT_TRUE(s->wait_text(c.position)) << c.position << "\n" << s->screen();
        s->type("Z");
        s->keys({"C-s", "C-q"});
        EXPECT_EQ(s->wait_exit(), 0);
        EXPECT_NE(tree.read("f.txt").find(c.saved), std::string::npos) << c.position;
    }
}

// End on a line of about 2 MB: the last rows, with a tab, a wide character
// that wraps to the next row and an invalid byte, are those a walk from
// the line's start gives, and the header counts the column in characters.
TEST_F(Editor, EndOfALongLineShowsItsLastRowsAndColumn) {
    std::string plain;
    while (plain.size() < 2000037)
        plain += "lorem ipsum dolor sit amet ";
    plain.resize(2000037); // 25000 rows of 80 and 37 bytes
    std::string tail = "\t" + std::string(39, 'y') + "日本\xE9" + "end";
    tree.file("long.txt", plain + tail + "\nnext\n");
    auto s = start("long.txt");
    auto began = std::chrono::steady_clock::now();
    s->keys({"End"});
    EXPECT_TRUE(s->wait_text("line 1, col 2000084")) << s->screen();
    EXPECT_TRUE(s->wait_cursor("11,22")) << s->cursor();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
    EXPECT_EQ(s->row(20), plain.substr(2000037 - 37 - 80, 80));
    EXPECT_EQ(s->row(21), plain.substr(2000000) + "   " + std::string(39, 'y'));
    EXPECT_EQ(s->row(22), "日本<E9>end");
    // Back over the invalid byte and the wide characters, then on to the
    // next line and up again: the column is aimed at as before.
    s->keys({"Left", "Left", "Left", "Left", "Left"});
    EXPECT_TRUE(s->wait_text("line 1, col 2000079")) << s->screen();
    EXPECT_TRUE(s->wait_cursor("2,22")) << s->cursor();
    s->keys({"Down", "Up"});
    EXPECT_TRUE(s->wait_text("line 1, col 2000079")) << s->screen();
    s->type("Z");
    EXPECT_TRUE(s->wait_text("日Z本<E9>end")) << s->screen();
    s->keys({"C-s", "C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("long.txt"),
              plain + "\t" + std::string(39, 'y') + "日Z本\xE9" + "end\nnext\n");
}

// A long file name loses its start, so that its end shows; a blank always
// parts it from the position. A message text given in the key map keeps
// its leading blanks.
TEST_F(Editor, HeaderShowsTheEndOfALongName) {
    tree.file("etc/kwed.rc",
              tree.read(SOURCE_DIR "/kwed-classic.rc") + ".message 38   (changed)\n");
    std::string name = "dir-" + std::string(90, 'n') + "-tail.txt"; // 103 bytes
    tree.file(name, "text\n");
    struct {
        const char *keys;
        std::string header;
    } cases[] = {
        // 80 columns: " kwed  " (7), the name in 58, a blank, the position.
        {"", " kwed  <" + name.substr(103 - 57) + " line 1, col 1 "},
        {"x", " kwed  <" + name.substr(103 - 46) + "  (changed) line 1, col 2 "},
    };
    auto s = start(quote(name));
    for (const auto &c : cases) {
        s->type(c.keys);
        EXPECT_TRUE(s->wait_for([&](const std::string &x) { return x.rfind(c.header, 0) == 0; }))
            << c.header << "\n"
            << s->screen();
    }
    s->keys({"C-s", "C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read(name), "xtext\n");
}

// After the window shrinks, its new bottom row held a text row: that row is
// the message row now and shows no text, also after ^L; a later message
// shows there, and goes with the next key.
TEST_F(Editor, MessageRowIsClearAfterANewWindowSize) {
    std::string lines;
    for (int i = 1; i <= 40; ++i)
        lines += "row " + std::to_string(i) + "\n";
    tree.file("f.txt", lines);
    auto s = start("f.txt");
    EXPECT_TRUE(s->wait_text("row 22")) << s->screen();
    auto shows = [&](int rows, const std::string &last) {
        return s->wait_for([&](const std::string &x) {
            std::vector<std::string> r;
            for (std::size_t p = 0, e; (e = x.find('\n', p)) != x.npos; p = e + 1)
                r.push_back(x.substr(p, e - p));
            return static_cast<int>(r.size()) == rows &&
                   r[rows - 2] == "row " + std::to_string(rows - 2) && r[rows - 1] == last;
        });
    };
    // What reading the file gave stays for a while, on the new last row,
    // and the line of keys after it until the first key.
    const std::string read = "Read f.txt, " + std::to_string(lines.size()) + " bytes.";
    EXPECT_TRUE(s->resize(60, 12));
    EXPECT_TRUE(shows(12, read + "  F1 help  ^S save  ^Q quit  ^F find")) << s->screen();
    s->keys({"C-l"});
    EXPECT_TRUE(shows(12, read)) << s->screen();
    s->keys({"C-s"});
    EXPECT_TRUE(shows(12, "Wrote f.txt, " + std::to_string(lines.size()) + " bytes."))
        << s->screen();
    s->keys({"Home"});
    EXPECT_TRUE(shows(12, "")) << s->screen();
    EXPECT_TRUE(s->resize(70, 8));
    EXPECT_TRUE(shows(8, "")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), lines);
}

} // namespace
