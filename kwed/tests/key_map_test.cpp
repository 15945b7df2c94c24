// initkey: the records a run-control file gives, against the terminal
// description of xterm (loaded without a terminal).
#include "editor_core.h"
#include "temp_tree.h"

#include <curses.h>
#include <term.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct record {
    int code;
    std::string bytes;
    std::string text;
    bool operator==(const record &) const = default;
};

class KeyMap : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        int err = 0;
        ASSERT_EQ(setupterm("xterm", -1, &err), OK);
    }
    void TearDown() override {
        kwed::finikey(map);
        map = nullptr;
    }
    std::vector<record> load(const std::string &text) {
        rc = tree.file("k.rc", text);
        kwed::rc_keys keys = kwed::initkey(rc.c_str());
        map = keys.map;
        settings = keys.settings;
        std::vector<record> out;
        for (kwed::keymap_t *k = map; k && k->code != kwed::k_end; ++k)
            out.push_back({k->code, k->rhs ? kwed::keybytes(map, *k) : "",
                           k->rhs ? kwed::keytext(map, *k) : ""});
        return out;
    }
    static int code(const char *name) { return kwed::findcommand(name)->code; }

    suite_testing::TempTree tree;
    std::string rc;
    kwed::keymap_t *map = nullptr;
    kwed::rc_settings settings;
};

TEST_F(KeyMap, CommandsAreSortedAndFoundByName) {
    for (std::size_t i = 1; i < kwed::commands.size(); ++i)
        EXPECT_LT(std::string(kwed::commands[i - 1].name), kwed::commands[i].name);
    for (std::size_t i = 0; i < kwed::commands.size(); ++i)
        EXPECT_EQ(kwed::findcommand(kwed::commands[i].name), &kwed::commands[i]);
    EXPECT_EQ(kwed::findcommand("nosuch"), nullptr);
    EXPECT_EQ(kwed::findcommand(""), nullptr);
    EXPECT_EQ(kwed::findcommand("zzz"), nullptr);
}

// Between them the default map and the earlier one bind every command
// (the default leaves out only what the keys of small editors lack), and
// no key of either runs two commands: none hides another.
TEST_F(KeyMap, TheTwoFilesBindEveryCommandAndNoKeyTwice) {
    std::vector<bool> bound(kwed::commands.size());
    for (const char *file : {"/kwed.rc", "/kwed-classic.rc"}) {
        auto got = load(tree.read(std::string(SOURCE_DIR) + file));
        ASSERT_NE(map, nullptr) << file;
        for (std::size_t i = 0; i < kwed::commands.size(); ++i)
            for (const record &r : got)
                bound[i] = bound[i] || (r.code == kwed::commands[i].code && !r.bytes.empty());
        for (std::size_t i = 0; i < got.size(); ++i) {
            for (std::size_t j = i + 1; j < got.size(); ++j) {
                if (!got[i].bytes.empty() && got[i].code != got[j].code) {
                    EXPECT_NE(got[i].bytes, got[j].bytes) << file << got[i].text << got[j].text;
                }
            }
        }
        kwed::finikey(map);
        map = nullptr;
    }
    for (std::size_t i = 0; i < kwed::commands.size(); ++i)
        EXPECT_TRUE(bound[i]) << kwed::commands[i].name;
}

TEST_F(KeyMap, BindingsCommentsAndContinuedLines) {
    auto got = load("# a comment\n"
                    "   # an indented one\n"
                    "\n"
                    "quit ^Q \\e[1;5Q\n"
                    "up $(kcuu1) \\\n"
                    "   \\e[A\n"
                    "literal ^P\n"
                    "save ^s"); // no final newline: still read
    ASSERT_NE(map, nullptr);
    std::vector<record> want = {{code("quit"), "\x11", "^Q"},
                                {code("quit"), "\x1b[1;5Q", "\\e[1;5Q"},
                                {code("up"), tigetstr("kcuu1"), "$(kcuu1)"},
                                {code("up"), "\x1b[A", "\\e[A"},
                                {code("literal"), "\x10", "^P"},
                                {code("save"), "\x13", "^s"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(code("literal"), kwed::k_literal);
    kwed::editor ed;
    ed.keys = map;
    EXPECT_STREQ(kwed::keyfor(ed, code("up")), "$(kcuu1)");
    EXPECT_EQ(kwed::keyfor(ed, code("paste")), nullptr);
    EXPECT_STREQ(kwed::keyfor(ed, code("literal")), "^P");
    ed.keys = nullptr;
}

// Directives give the settings, and no records of the key map.
TEST_F(KeyMap, DirectivesGiveTheSettings) {
    EXPECT_EQ(load("quit ^Q\n").size(), 1u);
    EXPECT_EQ(settings.title, 0u);
    EXPECT_EQ(settings.tabsize, 0u);
    EXPECT_EQ(settings.header, 1);
    EXPECT_EQ(settings.modeless, 1);
    kwed::finikey(map);
    auto got = load(".title My Editor  \n.tabsize 4\n.noheader\n.view\nquit ^Q\n");
    ASSERT_NE(map, nullptr);
    std::vector<record> want = {{code("quit"), "\x11", "^Q"}};
    EXPECT_EQ(got, want);
    EXPECT_STREQ(kwed::pooltext(map, settings.title), "My Editor");
    EXPECT_EQ(settings.tabsize, 4u);
    EXPECT_EQ(settings.header, 0);
    EXPECT_EQ(settings.modeless, 0);
}

TEST_F(KeyMap, ACapabilityTheTerminalLacksBindsNothing) {
    ASSERT_EQ(tigetstr("kund"), nullptr); // xterm has no Undo key
    auto got = load("undo $(kund) ^Z\ngotoline ^G\n");
    ASSERT_NE(map, nullptr);
    std::vector<record> want = {{code("undo"), "\x1a", "^Z"}, {code("gotoline"), "\x07", "^G"}};
    EXPECT_EQ(got, want);
}

TEST_F(KeyMap, MessageEntriesReplaceTextsWithTheSameConversions) {
    std::string config = std::to_string(std::strtol(kwed::f_config, nullptr, 0));
    load(".message 26 Nicht gefunden: %s\n.message 0x17 Geschrieben: %s, %lld Bytes.\n"
         ".message " +
         config + " Schlechte Datei.\n.message 39 Zeile %ld, Spalte %d\nquit ^Q\n");
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(kwed::getmsg(kwed::m_notfound), "Nicht gefunden: %s");
    EXPECT_STREQ(kwed::getmsg(kwed::m_saved), "Geschrieben: %s, %lld Bytes.");
    EXPECT_STREQ(kwed::getmsg(kwed::f_config), "Schlechte Datei.\n"); // keeps its newline
    EXPECT_STREQ(kwed::getmsg(kwed::m_position), "Zeile %ld, Spalte %d");
    kwed::finikey(map);
    map = nullptr;
    EXPECT_STREQ(kwed::getmsg(kwed::m_notfound), "Not found: %s");
    // The length of a number counts too: message 39 takes a long and an int.
    for (const char *bad :
         {".message 26 %d\n", ".message 26 %s %s\n", ".message 128 x\n", ".message -1 x\n",
          ".message x y\n", ".message 39 %d %d\n", ".message 26 %n%s\n"}) {
        EXPECT_EQ(load(bad), std::vector<record>{}) << bad;
        EXPECT_EQ(map, nullptr) << bad;
    }
}

// A message text starts after the one blank that ends its number and keeps
// its blanks; only the line's end (and a carriage return) is not part of it.
TEST_F(KeyMap, MessageTextsKeepTheirBlanks) {
    struct {
        const char *line;
        const char *text;
    } cases[] = {
        {".message 38  [changed]\n", " [changed]"},
        {".message 38 -- \t\n", "-- \t"},
        {".message 38\t\tx \r\n", "\tx "},
        {".message 38 \n", ""},
        {".message 39   %ld:%d  \n", "  %ld:%d  "},
        {".message 38 no newline at the end", "no newline at the end"},
    };
    for (const auto &c : cases) {
        load(std::string(c.line));
        ASSERT_NE(map, nullptr) << c.line;
        const char *id = c.line[10] == '9' ? kwed::m_position : kwed::m_modified;
        EXPECT_STREQ(kwed::getmsg(id), c.text) << c.line;
        kwed::finikey(map);
        map = nullptr;
    }
}

} // namespace
