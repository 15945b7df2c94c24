// What a file's bytes become in the text and back on disk (CR LF line ends,
// the final newline), and how a pasted block is read and inserted.
#include "buffer_contents.h"
#include "editor_core.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

using kwed_testing::contents;

class FileBytes : public ::testing::Test {
  protected:
    void SetUp() override { ed.reader.keycount = 1; }
    void TearDown() override { kwed::freebuffer(ed); }
    suite_testing::TempTree tree;
    kwed::editor ed;
};

// Loading and saving unchanged gives the bytes back, through a new file
// renamed over the old one and written in place (a file with two names);
// a final newline deleted comes back on saving (unless nothing is left),
// none is added.
TEST_F(FileBytes, LineEndsAndFinalNewlineRoundTrip) {
    struct {
        const char *bytes;
        const char *text;
        bool crlf;
    } cases[] = {
        {"a\r\nb\r\n", "a\nb\n", true},
        {"\r\n", "\n", true},
        {"a\r\r\nb\r\n", "a\r\nb\n", true},
        {"a\r\nb", "a\nb", true},
        {"a\r\nb\nc\r\n", "a\r\nb\nc\r\n", false},
        {"a\nb\r\n", "a\nb\r\n", false},
        {"x\ry", "x\ry", false},
        {"", "", false},
        {"a\nb", "a\nb", false},
        {"a\n", "a\n", false},
    };
    for (const auto &c : cases) {
        std::string bytes = c.bytes;
        for (bool inplace : {false, true}) {
            std::string file = tree.file(inplace ? "two.txt" : "one.txt", bytes);
            if (inplace) {
                std::remove(tree.path("link.txt").c_str());
                tree.hardlink("two.txt", "link.txt");
            }
            kwed::load(ed, file.c_str());
            std::snprintf(ed.edited.filename, kwed::filename_size, "%s", file.c_str());
            EXPECT_EQ(contents(ed.buffer), c.text) << bytes;
            EXPECT_EQ(ed.edited.crlf, c.crlf) << bytes;
            EXPECT_EQ(kwed::disksize(ed), static_cast<kwed::offset_t>(bytes.size())) << bytes;
            ASSERT_EQ(kwed::savefile(ed, file.c_str()), 0) << bytes << ed.msgline;
            EXPECT_EQ(tree.read(inplace ? "link.txt" : "one.txt"), bytes) << inplace;
            kwed::offset_t size = kwed::textsize(ed.buffer);
            if (size > 0 && kwed::byteat(ed.buffer, size - 1) == '\n') {
                ++ed.reader.keycount;
                kwed::edit_delete(ed, size - 1, 1);
                // A text made empty is saved empty.
                std::string want = size == 1 ? "" : bytes;
                EXPECT_EQ(kwed::disksize(ed), static_cast<kwed::offset_t>(want.size())) << bytes;
                ASSERT_EQ(kwed::savefile(ed, file.c_str()), 0) << bytes << ed.msgline;
                EXPECT_EQ(tree.read(inplace ? "link.txt" : "one.txt"), want) << inplace;
            }
        }
    }
}

// Terminal input from a pipe: what getkey makes of it.
class PastedInput : public FileBytes {
  protected:
    void SetUp() override {
        FileBytes::SetUp();
        ASSERT_TRUE(kwed::growgap(ed.buffer, 64));
        ed.reader.shown = true; // no screen to draw
        saved_stdin = dup(STDIN_FILENO);
    }
    void TearDown() override {
        dup2(saved_stdin, STDIN_FILENO);
        close(saved_stdin);
        FileBytes::TearDown();
    }
    // Makes the bytes the terminal's input, which then ends.
    static void input(const std::string &bytes) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fds[1]);
        dup2(fds[0], STDIN_FILENO);
        close(fds[0]);
    }
    int saved_stdin = -1;
    kwed::keymap_t map[1] = {{kwed::k_end, 0, 0}};
};

// The marks end the block, CR LF and a lone CR are LF, every other byte
// stays as it came; a block that the input cuts short ends there.
TEST_F(PastedInput, BlockIsOneKeyWithItsBytesAsTheyCame) {
    struct {
        std::string in;
        std::string pasted;
        int next; // the key after the block, or 0 when none is read
    } cases[] = {
        {"\033[200~a\r\nb\rc\nd\033[201~x", "a\nb\nc\nd", 'x'},
        {"\033[200~\x11\x0b\t\xff\033[201~\033[201~", "\x11\x0b\t\xff", kwed::unbound_key},
        {"\033[200~a\r\033[201~\r", "a\n", '\r'},
        {"\033[200~a\033[20x~\033[201\033[201~", "a\033[20x~\033[201", 0},
        {"\033[200~\033[201~", "", 0},
        {"\033[200~never ends\r", "never ends\n", 0},
    };
    for (const auto &c : cases) {
        input(c.in);
        ed.reader.inlen = ed.reader.inpos = ed.reader.npending = 0;
        EXPECT_EQ(kwed::getkey(ed, map), kwed::pasted_key) << c.in;
        EXPECT_EQ(ed.reader.pasted, c.pasted) << c.in;
        if (c.next) {
            EXPECT_EQ(kwed::getkey(ed, map), c.next) << c.in;
        }
    }
}

// However long, a paste is one insertion and one undo step, and its bytes
// go in with no key of them run.
TEST_F(PastedInput, LongPasteIsOneUndoStep) {
    std::string block;
    for (int i = 0; i < 1000; ++i)
        block += "line\t\x11\x0b " + std::to_string(i) + "\r";
    input("\033[200~" + block + "\033[201~");
    ed.input = kwed::getkey(ed, map);
    ASSERT_EQ(ed.input, kwed::pasted_key);
    kwed::insertpasted(ed);
    for (char &ch : block)
        ch = ch == '\r' ? '\n' : ch;
    EXPECT_EQ(contents(ed.buffer), block);
    EXPECT_EQ(ed.buffer.point, static_cast<kwed::offset_t>(block.size()));
    EXPECT_EQ(ed.buffer.undo.changes.size(), 1u);
    EXPECT_TRUE(ed.reader.pasted.empty());
    ASSERT_TRUE(kwed::undo_last(ed));
    EXPECT_EQ(contents(ed.buffer), "");
    EXPECT_EQ(ed.modified, 0);
}

} // namespace
