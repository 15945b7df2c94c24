// kwed end to end: replacing with its questions, the search options and
// their wrap messages, and the prompts on the message line (long answers,
// a new window size, yes/no answers).
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using kwed_testing::Editor;

// Lines "line N", except "cat N" on the lines given, replaced by
// "mouse N" on the lines in mice.
std::string lines(const std::set<int> &cats, const std::set<int> &mice = {}) {
    std::string text;
    for (int i = 1; i <= 40; ++i)
        text += (mice.count(i)   ? "mouse "
                 : cats.count(i) ? "cat "
                                 : "line ") +
                std::to_string(i) + "\n";
    return text;
}

// The text under the cursor, as many bytes as want has.
std::string atcursor(const kwed_testing::TmuxSession &s, std::size_t n) {
    std::string where = s.cursor();
    auto comma = where.find(',');
    std::size_t x = std::stoul(where.substr(0, comma));
    std::string row = s.row(std::stoi(where.substr(comma + 1)));
    return x < row.size() ? row.substr(x, n) : "";
}

TEST_F(Editor, ReplaceAsksAtEachMatchCountsAndUndoesAsOneStep) {
    const std::set<int> cats = {2, 5, 30, 38};
    struct Case {
        bool backward;
        const char *answers; // one key per match offered, in order
        std::set<int> mice;  // the lines replaced
        const char *message;
    };
    // Started on line 3: the matches come as lines 5, 30, 38, then 2;
    // backward as 2, then 38, 30, 5.
    const Case cases[] = {
        {false, "ynyy", {5, 38, 2}, "Replaced 3 occurrences."},
        {false, "a", {5, 30, 38, 2}, "Replaced 4 occurrences."},
        {false, "nyC-c", {30}, "Replaced 1 occurrence."},
        {false, "nnnn", {}, "Replaced 0 occurrences."},
        {false, "yEscape", {5}, "Replaced 1 occurrence."},
        {true, "ynya", {2, 30, 5}, "Replaced 3 occurrences."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answers);
        const std::vector<int> order =
            c.backward ? std::vector<int>{2, 38, 30, 5} : std::vector<int>{5, 30, 38, 2};
        tree.file("f.txt", lines(cats));
        auto s = start("+3 f.txt");
        s->keys({"C-\\"});
        EXPECT_TRUE(s->wait_text("Replace: ")) << s->screen();
        if (c.backward) {
            s->keys({"M-b"});
            EXPECT_TRUE(s->wait_text("Replace [backward]: ")) << s->screen();
        }
        s->type("cat");
        s->keys({"Enter"});
        EXPECT_TRUE(s->wait_text(c.backward ? "Replace with [backward]: " : "Replace with: "))
            << s->screen();
        s->type("mouse");
        s->keys({"Enter"});
        std::string answers = c.answers;
        for (std::size_t i = 0, k = 0; i < answers.size(); ++k) {
            std::string key = answers[i] == 'C'   ? "C-c"
                              : answers[i] == 'E' ? "Escape"
                                                  : std::string(1, answers[i]);
            i += key.size();
            // The match shows, scrolled to, with the cursor on it.
            std::string line = "cat " + std::to_string(order[k]);
            EXPECT_TRUE(s->wait_for([&](const std::string &x) {
                return x.find("Replace this one?") != x.npos && atcursor(*s, line.size()) == line;
            })) << s->screen()
                << s->cursor();
            // Escape and the next key are one key: a second Escape cancels.
            s->keys(key == "Escape" ? std::vector<std::string>{key, key} : std::vector{key});
            if (key == "a" || key.size() > 1)
                break;
        }
        EXPECT_TRUE(s->wait_text(c.message)) << s->screen();
        // What is typed next is a change of its own, even right after the
        // text put in.
        s->type("z");
        s->keys({"C-z"});
        EXPECT_TRUE(s->wait_text("Undone.")) << s->screen();
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text("Wrote f.txt")) << s->screen();
        EXPECT_EQ(tree.read("f.txt"), lines(cats, c.mice));
        // One more undo takes the whole replace back.
        s->keys({"C-z"});
        EXPECT_TRUE(s->wait_text(c.mice.empty() ? "Nothing to undo." : "Undone.")) << s->screen();
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text("Wrote f.txt, " + std::to_string(lines(cats).size()) + " bytes"))
            << s->screen();
        s->keys({"C-q"});
        EXPECT_EQ(s->wait_exit(), 0);
        EXPECT_EQ(tree.read("f.txt"), lines(cats));
    }
}

// Replacing a by aa all at once ends, and ignoring case (switched on in
// the second question) finds every a.
TEST_F(Editor, ReplaceNeverLooksAtWhatItPutIn) {
    tree.file("f.txt", "bAnana\n");
    auto s = start("f.txt");
    s->keys({"M-r"});
    EXPECT_TRUE(s->wait_text("Replace: ")) << s->screen();
    s->type("a");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Replace with: ")) << s->screen();
    s->keys({"M-c"});
    EXPECT_TRUE(s->wait_text("Replace with [case-insensitive]: ")) << s->screen();
    s->type("aa");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Replace this one?")) << s->screen();
    s->keys({"a"});
    EXPECT_TRUE(s->wait_text("Replaced 3 occurrences.")) << s->screen();
    EXPECT_TRUE(s->wait_text("baanaanaa")) << s->screen();
    s->keys({"C-s", "C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "baanaanaa\n");
}

TEST_F(Editor, FindsWithoutCaseAndBackwardWithWrapMessages) {
    const std::string text = "Straße ÉTÉ\nfoo\nété x\nÉTé\n";
    tree.file("f.txt", text);
    auto s = start("f.txt");
    s->keys({"C-f", "M-c"});
    EXPECT_TRUE(s->wait_text("Find [case-insensitive]: ")) << s->screen();
    s->type("été");
    s->keys({"Enter"});
    struct Step {
        const char *key;
        const char *where;
        const char *message; // or ""
    };
    const Step steps[] = {
        {"", "line 1, col 8", ""},
        {"C-n", "line 3, col 1", ""},
        {"C-n", "line 4, col 1", ""},
        {"C-n", "line 1, col 8", "Search went on from the top."},
        {"M-q", "line 4, col 1", "Search went on from the bottom."},
        {"M-q", "line 3, col 1", ""},
    };
    for (const Step &st : steps) {
        if (*st.key)
            s->keys({st.key});
        EXPECT_TRUE(s->wait_text(st.where)) << st.key << s->screen();
        if (*st.message) {
            EXPECT_TRUE(s->wait_text(st.message)) << st.key << s->screen();
        } else {
            EXPECT_EQ(s->row(23).find("Search went"), std::string::npos) << st.key << s->screen();
        }
    }
    // Backward as well, offered the last text: findnext goes back too.
    s->keys({"C-f", "M-b"});
    EXPECT_TRUE(s->wait_text("Find [case-insensitive, backward]: été")) << s->screen();
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 1, col 8")) << s->screen();
    s->keys({"C-n"});
    EXPECT_TRUE(s->wait_text("line 4, col 1")) << s->screen();
    EXPECT_TRUE(s->wait_text("Search went on from the bottom.")) << s->screen();
    // Case counts again: only line 3 matches, so the search comes round to it.
    s->keys({"C-f", "M-c"});
    EXPECT_TRUE(s->wait_text("Find [backward]: été")) << s->screen();
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 3, col 1")) << s->screen();
    s->keys({"C-n"});
    EXPECT_TRUE(s->wait_text("Search went on from the bottom.")) << s->screen();
    EXPECT_TRUE(s->wait_text("line 3, col 1")) << s->screen();
    s->keys({"C-f", "C-u"});
    s->type("ÉTÉ x");
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("Not found: ÉTÉ x")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), text);
}

TEST_F(Editor, PromptScrollsLongAnswersAndRedrawsAfterResize) {
    tree.file("f.txt", "text\n");
    auto s = start("f.txt");
    std::string answer;
    for (int i = 0; i < 10; ++i)
        answer += "0123456789";
    answer += "é";
    s->keys({"C-f"});
    s->type(answer);
    // 80 columns: "Find: ", a mark for the hidden start, the last 72
    // characters of the answer and the cursor after them.
    auto shown = [&](const std::string &a) {
        std::size_t chars = 0, from = a.size();
        while (from > 0 && chars < 72)
            chars += (static_cast<unsigned char>(a[--from]) & 0xC0) != 0x80;
        return "Find: <" + a.substr(from);
    };
    EXPECT_TRUE(s->wait_text(shown(answer))) << s->screen();
    EXPECT_TRUE(s->wait_cursor("79,23")) << s->cursor();
    s->keys({"BSpace", "BSpace", "BSpace"});
    std::string less = answer.substr(0, answer.size() - 4); // é is two bytes
    EXPECT_TRUE(s->wait_for([&](const std::string &) { return s->row(23) == shown(less); }))
        << s->screen();
    EXPECT_TRUE(s->wait_cursor("79,23")) << s->cursor();
    s->keys({"C-u"});
    s->type("ext");
    EXPECT_TRUE(s->wait_cursor("9,23")) << s->cursor();
    // A new window size while the question waits: it is drawn again at once.
    ASSERT_TRUE(s->resize(50, 12));
    EXPECT_TRUE(s->wait_for([&](const std::string &) { return s->row(11) == "Find: ext"; }))
        << s->screen();
    EXPECT_TRUE(s->wait_cursor("9,11")) << s->cursor();
    s->keys({"Enter"});
    EXPECT_TRUE(s->wait_text("line 1, col 2")) << s->screen();
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
}

TEST_F(Editor, YesTakesEitherCase) {
    tree.file("f.txt", "text\n");
    tree.file("other.txt", "other\n");
    auto s = start("f.txt");
    s->type("x");
    for (const char *answer : {"n", "Y"}) {
        s->keys({"C-o", "C-u"});
        s->type("other.txt");
        s->keys({"Enter"});
        EXPECT_TRUE(s->wait_text("That file exists already; replace it? (y/n)")) << s->screen();
        EXPECT_TRUE(s->wait_cursor("44,23")) << s->cursor();
        s->keys({answer});
        EXPECT_TRUE(s->wait_text(*answer == 'n' ? "Not saved." : "Wrote other.txt")) << s->screen();
    }
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_EQ(tree.read("f.txt"), "text\n");
    EXPECT_EQ(tree.read("other.txt"), "xtext\n");
}

} // namespace
