// What a file's bytes become on the screen and on disk: CR LF line ends,
// the final newline, files that cannot be written, and pasted text.
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using kwed_testing::Editor;

// A row without the blanks that clearing it may have left at its end.
std::string trimmed(std::string row) {
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}

// The row of the screen that holds text, or -1.
int rowwith(const kwed_testing::TmuxSession &s, const std::string &text) {
    for (int r = 0; r < 24; ++r)
        if (s.row(r).find(text) != std::string::npos)
            return r;
    return -1;
}

// Once the editor has ended, the shell's terminal echoes what is pasted;
// the paste marks would show as ^[[200~ had the editor left them on.
void expectpastemarksoff(const kwed_testing::TmuxSession &s) {
    s.paste("AFTER");
    EXPECT_TRUE(s.wait_text("AFTER")) << s.screen();
    EXPECT_EQ(s.screen().find("200~"), std::string::npos) << s.screen();
}

// A file with CR LF line ends shows none of its CRs, is marked [DOS] and is
// saved with them; mixed line ends stay as they are, CRs shown; a final
// newline that was there is put back, none is added where there was none.
TEST_F(Editor, LineEndsAndFinalNewlineSurviveEditing) {
    struct {
        const char *name;
        const char *before; // null: a new file
        std::vector<std::string> keys;
        const char *row1; // the first text row after the keys
        bool dos;
        const char *after;
    } cases[] = {
        {"crlf", "one\r\ntwo\r\n", {"C-End", "BSpace"}, "Xone", true, "Xone\r\ntwo\r\n"},
        {"mixed", "a\r\nb\nc\r\n", {}, "Xa^M", false, "Xa\r\nb\nc\r\n"},
        {"final", "abc\n", {"C-End", "BSpace"}, "Xabc", false, "Xabc\n"},
        {"nofinal", "abc", {}, "Xabc", false, "Xabc"},
        {"new", nullptr, {"Enter"}, "X", false, "X\n"},
    };
    for (const auto &c : cases) {
        std::string name = std::string(c.name) + ".txt";
        if (c.before)
            tree.file(name, c.before);
        auto s = start(name);
        s->type("X");
        if (!c.keys.empty())
            s->keys(c.keys);
        EXPECT_TRUE(s->wait_text("[modified]")) << c.name << s->screen();
        EXPECT_EQ(trimmed(s->row(1)), c.row1) << c.name << s->screen();
        EXPECT_EQ(s->row(0).find("[DOS]") != std::string::npos, c.dos) << c.name << s->row(0);
        EXPECT_EQ(s->screen().find("^M") != std::string::npos,
                  !c.dos && c.before && std::string(c.before).find('\r') != std::string::npos)
            << c.name << s->screen();
        s->keys({"C-s"});
        std::string wrote =
            "Wrote " + name + ", " + std::to_string(std::string(c.after).size()) + " bytes.";
        EXPECT_TRUE(s->wait_text(wrote)) << c.name << s->screen();
        s->keys({"C-q"});
        EXPECT_EQ(s->wait_exit(), 0) << c.name;
        EXPECT_EQ(tree.read(name), c.after) << c.name;
    }
}

// The rescue of unsaved text on a termination signal keeps the file's CR LF
// line ends, also of a pasted line, and the terminal's paste marking is off
// again afterwards.
TEST_F(Editor, RescueKeepsLineEndsAndTerminalIsHandedBack) {
    tree.file("run.sh", "sh -c 'echo $$ > kwed.pid; exec \"$0\" \"$@\"' \"$@\"\n");
    tree.file("f.txt", "one\r\ntwo\r\n");
    auto s = start("f.txt", "", true, "sh run.sh");
    s->keys({"Down"});
    s->paste("Z\n");
    EXPECT_TRUE(s->wait_text("line 3, col 1")) << s->screen();
    pid_t pid = std::stoi(tree.read("kwed.pid"));
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_TRUE(s->wait_text("the unsaved text was kept in f.txt.save")) << s->screen();
    EXPECT_EQ(tree.read("f.txt.save"), "one\r\nZ\r\ntwo\r\n");
    expectpastemarksoff(*s);
}

// A pasted block goes in as it came, key-binding bytes, tabs and bytes that
// are no UTF-8 included, with one undo step for all of it, however long.
TEST_F(Editor, PastedBlockGoesInLiterallyAsOneUndoStep) {
    tree.file("f.txt", "first\n");
    std::string block;
    for (int i = 1; i <= 1000; ++i)
        block += "p" + std::to_string(i) + "\tq\x11r\x0bs\n";
    block += "end \xE9 ^Q";
    auto s = start("f.txt");
    s->paste(block);
    EXPECT_TRUE(s->wait_text("line 1001, col 9")) << s->screen();
    EXPECT_TRUE(s->wait_text("end <E9> ^Qfirst")) << s->screen();
    int r = rowwith(*s, "p1000");
    ASSERT_GT(r, 0) << s->screen();
    EXPECT_EQ(s->row(r), "p1000   q^Qr^Ks") << s->screen();
    s->keys({"C-z"});
    EXPECT_TRUE(s->wait_text("line 1, col 1")) << s->screen();
    EXPECT_TRUE(s->wait_for([&](const std::string &) { return trimmed(s->row(1)) == "first"; }))
        << s->screen();
    EXPECT_EQ(rowwith(*s, "p1"), -1) << s->screen();
    EXPECT_TRUE(s->wait_for([](const std::string &x) { return x.find("[modified]") == x.npos; }))
        << s->screen();
    // Pasted again; a paste into a question gives its first line as the
    // answer, and answers nothing in a yes/no question.
    s->paste("a\tb\x11\nc");
    EXPECT_TRUE(s->wait_text("cfirst")) << s->screen();
    s->keys({"C-f"});
    s->paste("irs\nzzz");
    EXPECT_TRUE(s->wait_text("Find: irs")) << s->screen();
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 2, col 3")) << s->screen();
    s->keys({"C-q"});
    EXPECT_TRUE(s->wait_text("Save changes?")) << s->screen();
    s->paste("y");
    s->keys({"C-c"});
    EXPECT_TRUE(s->wait_for([](const std::string &x) { return x.find("Save changes") == x.npos; }));
    s->type("Q");
    EXPECT_TRUE(s->wait_text("cfQirst")) << s->screen();
    s->keys({"C-s"});
    EXPECT_TRUE(s->wait_text("Wrote f.txt, 13 bytes.")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "a\tb\x11\ncfQirst\n");
    expectpastemarksoff(*s);
}

} // namespace
