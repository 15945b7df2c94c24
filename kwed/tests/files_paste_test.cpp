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
    void SetUp() override {
        kwed::undo_clear();
        kwed::freebuffer();
        kwed::reader.keycount = 1;
    }
    void TearDown() override {
        kwed::undo_clear();
        kwed::freebuffer();
        kwed::filename[0] = '\0';
    }
    suite_testing::TempTree tree;
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
            kwed::load(file.c_str());
            std::snprintf(kwed::filename, kwed::filename_size, "%s", file.c_str());
            EXPECT_EQ(contents(), c.text) << bytes;
            EXPECT_EQ(kwed::edited.crlf, c.crlf) << bytes;
            EXPECT_EQ(kwed::disksize(), static_cast<kwed::offset_t>(bytes.size())) << bytes;
            ASSERT_EQ(kwed::savefile(file.c_str()), 0) << bytes << kwed::msgline;
            EXPECT_EQ(tree.read(inplace ? "link.txt" : "one.txt"), bytes) << inplace;
            kwed::offset_t size = kwed::textsize();
            if (size > 0 && kwed::byteat(size - 1) == '\n') {
                ++kwed::reader.keycount;
                kwed::edit_delete(size - 1, 1);
                // A text made empty is saved empty.
                std::string want = size == 1 ? "" : bytes;
                EXPECT_EQ(kwed::disksize(), static_cast<kwed::offset_t>(want.size())) << bytes;
                ASSERT_EQ(kwed::savefile(file.c_str()), 0) << bytes << kwed::msgline;
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
        ASSERT_TRUE(kwed::growgap(64));
        kwed::reader = {};
        kwed::reader.shown = true; // no screen to draw
        saved_stdin = dup(STDIN_FILENO);
    }
    void TearDown() override {
        dup2(saved_stdin, STDIN_FILENO);
        close(saved_stdin);
        kwed::reader = {};
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
        kwed::reader.inlen = kwed::reader.inpos = kwed::reader.npending = 0;
        EXPECT_EQ(kwed::getkey(map), kwed::pasted_key) << c.in;
        EXPECT_EQ(kwed::reader.pasted, c.pasted) << c.in;
        if (c.next) {
            EXPECT_EQ(kwed::getkey(map), c.next) << c.in;
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
    kwed::input = kwed::getkey(map);
    ASSERT_EQ(kwed::input, kwed::pasted_key);
    kwed::insertpasted();
    for (char &ch : block)
        ch = ch == '\r' ? '\n' : ch;
    EXPECT_EQ(contents(), block);
    EXPECT_EQ(kwed::buffer.point, static_cast<kwed::offset_t>(block.size()));
    EXPECT_EQ(kwed::buffer.undo.changes.size(), 1u);
    EXPECT_TRUE(kwed::reader.pasted.empty());
    ASSERT_TRUE(kwed::undo_last());
    EXPECT_EQ(contents(), "");
    EXPECT_EQ(kwed::modified, 0);
}

} // namespace
