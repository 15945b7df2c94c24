// Live processes that the test starts and owns, listed by the real program
// and cross-checked against the system's ps.
#include "peer_program.h"
#include "run_program.h"
#include "test_child.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <vector>

using suite_testing::run;

namespace {

std::vector<std::string> words(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

// Every line of `listing` whose process-number column (at `column`) is pid.
bool lists(const std::string &listing, pid_t pid, std::size_t column = 0) {
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);) {
        const auto w = words(line);
        if (w.size() > column && w[column] == std::to_string(pid))
            return true;
    }
    return false;
}

std::string unique_name(const char *pattern) {
    char name[32];
    std::snprintf(name, sizeof name, pattern, static_cast<int>(getpid()) % 100000);
    return name;
}

// ppid, pid, pgid, sid, tpgid and state as brevic's jobs format shows them,
// in the order the system's ps prints them for -o pid=,ppid=,pgid=,sid=,tpgid=,s=.
std::vector<std::string> brevic_ids(pid_t pid) {
    const auto result = run({BREVIC_PATH, "j", "h", "-p", std::to_string(pid)});
    const auto w = words(result.out);
    if (result.status != 0 || w.size() < 9)
        return {"unreadable:" + result.out};
    return {w[1], w[0], w[2], w[3], w[5], w[6]};
}

std::vector<std::string> ps_ids(pid_t pid) {
    const auto result =
        run({"/usr/bin/ps", "-o", "pid=,ppid=,pgid=,sid=,tpgid=,s=", "-p", std::to_string(pid)});
    return words(result.out);
}

// The system's ps, where there is one, to compare with: the host has it,
// the small test systems that boot other kernels do not.
bool has_system_ps() {
    return suite_testing::missing_program({"/usr/bin/ps"}).empty();
}

} // namespace

TEST(BrevicLive, NamesWithBlanksAndParenthesesAreReadWhole) {
    const std::string name = unique_name("a) b (%d)");
    test_child child({.name = name});
    ASSERT_GT(child.pid(), 0);
    const auto plain = run({BREVIC_PATH, "-p", child.pid_text()});
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.out.find("00:00:00 " + name + "\n"), std::string::npos) << plain.out;
    const auto bracketed = run({BREVIC_PATH, child.pid_text()});
    EXPECT_NE(bracketed.out.find(" [" + name + "]\n"), std::string::npos) << bracketed.out;
    const auto by_name = run({BREVIC_PATH, "-o", "pid=", "-C", name});
    EXPECT_EQ(by_name.out, child.pid_text() + "\n");
    EXPECT_EQ(by_name.status, 0);
}

TEST(BrevicLive, LongNamesAreCutAtFifteenCharacters) {
    const std::string name = unique_name("L%05d-abcdefghij"); // 16 characters
    test_child child({.name = name});
    ASSERT_GT(child.pid(), 0);
    const auto full = run({BREVIC_PATH, "-C", name});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, "  PID TTY         TIME CMD\n");
    const auto cut = run({BREVIC_PATH, "-C", name.substr(0, 15)});
    EXPECT_EQ(cut.status, 0);
    EXPECT_TRUE(lists(cut.out, child.pid())) << cut.out;
}

TEST(BrevicLive, TerminalDecidesTheScopeOfDefaultAAndX) {
    if (!pseudo_terminals_available())
        GTEST_SKIP() << "no pseudo-terminals here";
    test_child detached({.name = unique_name("nt%d"), .new_session = true});
    test_child attached({.name = unique_name("tt%d"), .with_terminal = true});
    ASSERT_GT(detached.pid(), 0);
    ASSERT_GT(attached.pid(), 0);
    const auto own = run({BREVIC_PATH});
    EXPECT_TRUE(lists(own.out, attached.pid())) << own.out;
    EXPECT_FALSE(lists(own.out, detached.pid())) << own.out;
    const auto a = run({BREVIC_PATH, "a"});
    EXPECT_TRUE(lists(a.out, attached.pid()));
    EXPECT_FALSE(lists(a.out, detached.pid()));
    const auto x = run({BREVIC_PATH, "x"});
    EXPECT_TRUE(lists(x.out, attached.pid()));
    EXPECT_TRUE(lists(x.out, detached.pid()));
    const auto all = run({BREVIC_PATH, "-o", "pid=", "-e"});
    EXPECT_TRUE(lists(all.out, attached.pid()) && lists(all.out, detached.pid()));
    EXPECT_EQ(all.out.find_first_not_of("0123456789\n"), std::string::npos);
    const auto one = run({BREVIC_PATH, "-p", detached.pid_text()});
    EXPECT_NE(one.out.find(" 0,0  "), std::string::npos) << one.out;
}

TEST(BrevicLive, NumbersAndStateMatchTheSystemPs) {
    SUITE_REQUIRE_PROGRAMS("/usr/bin/ps");
    test_child named({.name = unique_name("x) y %d")});
    test_child detached({.name = unique_name("nt%d"), .new_session = true});
    test_child attached(
        {.name = unique_name("tt%d"), .with_terminal = pseudo_terminals_available()});
    test_child zombie({.name = unique_name("z%d"), .exit_at_once = true});
    for (const test_child *child : {&named, &detached, &attached, &zombie}) {
        ASSERT_GT(child->pid(), 0);
        const auto ours = brevic_ids(child->pid());
        EXPECT_EQ(ours, ps_ids(child->pid())) << "process " << child->pid();
    }
    EXPECT_EQ(brevic_ids(zombie.pid()).back(), "Z");
}

// A process may name itself with C1 controls, which terminals take as the
// start of an escape sequence (0x9B is CSI): raw, or as U+009B in UTF-8.
// Each shows as one '?', as the system's ps shows it; bytes that belong to a
// UTF-8 character (the euro's 0x82) and C0 controls stay as they were.
TEST(BrevicLive, ControlCharactersInNamesShowAsQuestionMarks) {
    const bool have_ps = has_system_ps();
    const std::pair<std::string, std::string> cases[] = {
        {"raw\x9bJ", "raw?J"},
        {"utf\xc2\x9bJ", "utf?J"},
        {"c1\xc2\x80k\xc2\x9fx\x85", "c1?k?x?"},
        {"eur\xe2\x82\xac\xc3\xa9", "eur\xe2\x82\xac\xc3\xa9"},
        {"esc\x1b[2J\x7f", "esc?[2J?"},
    };
    for (const auto &[name, shown] : cases) {
        test_child child({.name = name});
        ASSERT_GT(child.pid(), 0);
        const auto listed = run({BREVIC_PATH, "-p", child.pid_text()});
        EXPECT_EQ(listed.status, 0);
        EXPECT_NE(listed.out.find("00:00:00 " + shown + "\n"), std::string::npos)
            << testing::PrintToString(listed.out);
        if (have_ps) {
            EXPECT_EQ(run({"/usr/bin/ps", "-o", "comm=", "-p", child.pid_text()}).out, shown + "\n")
                << "the system's ps differs";
        }
    }
}

// The kernel gives a process that is not dumpable to root in /proc, whoever
// runs it; its owner is still the user it runs as, for the UID and USER
// columns and for the selection of the caller's own processes.
TEST(BrevicLive, NonDumpableProcessKeepsItsOwner) {
    if (geteuid() != 0)
        GTEST_SKIP() << "a process of another user needs root to start";
    constexpr uid_t other = 65534;
    test_child child(
        {.name = unique_name("nd%d"), .new_session = true, .user = other, .not_dumpable = true});
    ASSERT_GT(child.pid(), 0);
    struct stat st {};
    ASSERT_EQ(stat(("/proc/" + child.pid_text() + "/stat").c_str(), &st), 0);
    ASSERT_EQ(st.st_uid, 0u) << "the kernel left the stat file to its user";
    const auto uid_column = run({BREVIC_PATH, "l", "h", "-p", child.pid_text()});
    const auto w = words(uid_column.out);
    ASSERT_GE(w.size(), 2u) << uid_column.out;
    EXPECT_EQ(w[1], std::to_string(other));
    if (has_system_ps()) {
        EXPECT_EQ(words(run({"/usr/bin/ps", "-o", "euid=", "-p", child.pid_text()}).out),
                  std::vector<std::string>{std::to_string(other)});
    }
    const auto full = run({BREVIC_PATH, "-f", "h", "-p", child.pid_text()});
    EXPECT_NE(words(full.out).at(0), "root") << full.out;
    // Listed among every process, and not among root's own.
    EXPECT_TRUE(lists(run({BREVIC_PATH, "-e", "l"}).out, child.pid(), 2));
    EXPECT_FALSE(lists(run({BREVIC_PATH, "x"}).out, child.pid()));
}

TEST(BrevicLive, AProcessThatIsGoneGivesStatusOne) {
    pid_t gone;
    {
        test_child child({.name = "gone"});
        gone = child.pid();
    }
    const auto result = run({BREVIC_PATH, "-p", std::to_string(gone)});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "  PID TTY         TIME CMD\n");
    EXPECT_EQ(run({BREVIC_PATH, "h", "-p", std::to_string(gone)}).out, "");
}
