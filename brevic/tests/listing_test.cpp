// The listing over a made-up /proc tree: exact lines of all nine formats,
// the selection rules, skipped entries and the exit results.
#include "brevic.h"
#include "temp_tree.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <unistd.h>
#include <vector>

using suite_testing::TempTree;

namespace {

std::string stat_line(int pid, const char *name, int tty_nr) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "%d (%s) S 4000 4242 4100 %d 4242 4194560 111 0 7 0 9006100 0 0 0 20 0 1 0 "
                  "12345 6442450944 300000 18446744073709551615 1 2 3 4 5 0 0 0 0 1193046 0 0 "
                  "17 1 0 0 0 0 0\n",
                  pid, name, tty_nr);
    return line;
}

class BrevicListing : public ::testing::Test {
  protected:
    void add(int pid, const char *name, int tty_nr, uid_t owner = 0) {
        const std::string path =
            tree.file(std::to_string(pid) + "/stat", stat_line(pid, name, tty_nr));
        ASSERT_EQ(chown(path.c_str(), owner, 0), 0);
    }

    // The listing's output with the process lines sorted (directory order is
    // the file system's), and whether it printed any process.
    std::pair<std::string, bool> list(std::vector<const char *> args, uid_t caller = 0) {
        args.insert(args.begin(), "brevic");
        brevic::ps_options options{};
        EXPECT_TRUE(brevic::parse_arguments(static_cast<int>(args.size()), args.data(),
                                            brevic::classic_pid_ceiling, options));
        char *text = nullptr;
        size_t size = 0;
        FILE *out = open_memstream(&text, &size);
        DIR *proc = opendir(tree.root().c_str());
        const bool printed = brevic::run_listing(out, options, proc, caller);
        closedir(proc);
        fclose(out);
        std::istringstream in(std::string(text, size));
        free(text);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line + "\n");
        const auto first =
            options.h_count != 0 || lines.empty() ? lines.begin() : lines.begin() + 1;
        std::sort(first, lines.end());
        std::string joined;
        for (const auto &line : lines)
            joined += line;
        return {joined, printed};
    }

    std::string pids(std::vector<const char *> args, uid_t caller = 0) {
        args.insert(args.end(), {"-o", "pid="});
        return list(args, caller).first;
    }

    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "the made-up processes need owners of their own";
    }

    TempTree tree;
};

} // namespace

TEST_F(BrevicListing, EveryFormatLineByLine) {
    add(4242, "my) proc x", 34817);
    const std::pair<const char *, const char *> cases[] = {
        {"-p4242", "  PID TTY         TIME CMD\n"
                   " 4242 136,1   1-01:01:01 my) proc x\n"},
        {"-f", "USER       PID  PPID  C STIME   TTY       TIME CMD\n"
               "root      4242  4000  ? STIME 136,1   1-01:01:01 [my) proc x]\n"},
        {"-j", "  PID  PGID   SID TTY         TIME CMD\n"
               " 4242  4242  4100 136,1   1-01:01:01 my) proc x\n"},
        {"-l",
         "  F S   UID   PID  PPID  C PRI  NI ADDR SZ WCHAN    TTY       TIME CMD\n"
         "100 S     0  4242  4000  ?  20   0 - 1572864 123456 136,1   1-01:01:01 my) proc x\n"},
        {"j", " PPID   PID  PGID   SID   TTY   TPGID S   UID     TIME COMMAND\n"
              " 4000  4242  4242  4100 136,1    4242 S     0 1-01:01:01 [my) proc x]\n"},
        {"l", "  F   UID   PID  PPID PRI  NI   VSZ  RSS WCHAN  S   TTY       TIME COMMAND\n"
              "100     0  4242  4000  20   0 6291456 1200000 123456 S 136,1   1-01:01:01 [my) proc "
              "x]\n"},
        {"u", "USER       PID %CPU %MEM   VSZ  RSS   TTY   S START     TIME COMMAND\n"
              "root      4242  ?.?  ?.? 6291456 1200000 136,1   S STIME 1-01:01:01 [my) proc x]\n"},
        {"v", "  PID   TTY   S     TIME  MAJFL TRS DRS   RSS %MEM COMMAND\n"
              " 4242 136,1   S 1-01:01:01      7   -   - 1200000  ?.? [my) proc x]\n"},
        {"-opid=", "4242\n"},
    };
    for (const auto &[arg, expected] : cases)
        EXPECT_EQ(list({arg}), std::make_pair(std::string(expected), true)) << arg;
}

TEST_F(BrevicListing, UserWithoutPasswordEntryShowsTheNumber) {
    if (getpwuid(54321) != nullptr)
        GTEST_SKIP() << "uid 54321 has a password entry here";
    add(77, "nobody-known", 1025, 54321);
    EXPECT_EQ(list({"-f", "h", "a"}).first,
              "54321       77  4000  ? STIME   4,1   1-01:01:01 [nobody-known]\n");
}

TEST_F(BrevicListing, SelectionByTerminalOwnerAndName) {
    add(100, "mine", 34817);
    add(101, "mine", 0);  // no controlling terminal today
    add(102, "mine", -1); // no controlling terminal, the old way
    add(103, "theirs", 34818, 4321);
    add(104, "theirs", 0, 4321);
    add(105, "abcdefghijklmnop", 0);
    tree.file("abc/stat", stat_line(106, "dir", 1025));
    tree.file("107x/stat", stat_line(107, "dir", 1025));
    tree.symlink("100", "self");
    EXPECT_EQ(pids({}), "100\n");
    EXPECT_EQ(pids({"a"}), "100\n103\n");
    EXPECT_EQ(pids({"x"}), "100\n101\n102\n105\n");
    EXPECT_EQ(pids({"ax"}), "100\n101\n102\n103\n104\n105\n");
    EXPECT_EQ(pids({"-e"}), pids({"-A"}));
    EXPECT_EQ(pids({"x"}, 4321), "103\n104\n");
    EXPECT_EQ(pids({"-C", "theirs"}), "103\n104\n");
    EXPECT_EQ(pids({"-C", "abcdefghijklmnop"}), "");
    EXPECT_EQ(pids({"-C", "abcdefghijklmno"}), "105\n");
    EXPECT_EQ(pids({"-p", "104"}), "104\n");
    EXPECT_EQ(list({"-C", "none"}),
              std::make_pair(std::string("  PID TTY         TIME CMD\n"), false));
}

TEST_F(BrevicListing, UnreadableEntriesAreSkipped) {
    add(200, "good", 1025);
    tree.file("201/stat", "201 (no closing parenthesis S 1 1 1 1025 1 0 0 0 0 0 0 0 0 0 20 0 1 0 "
                          "5 1 1 1 1 1 1 1 1 0 0 0\n");
    tree.file("202/stat", "202 (short) S 1 1 1 1025 1\n");
    tree.file("203/stat", stat_line(999, "other pid", 1025));
    tree.file("204/stat",
              "204 (few fields) S 1 1 1 1025 1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 1 1 1 1 1 1 1 1\n");
    tree.dir("205");
    EXPECT_EQ(pids({"ax"}), "200\n");
    for (const char *pid : {"201", "202", "203", "204", "205", "206"})
        EXPECT_EQ(list({"h", "-p", pid}), std::make_pair(std::string(), false)) << pid;
}

TEST(BrevicPidCeiling, FollowsTheKernelButNeverDropsBelowTheClassicLimit) {
    const std::pair<const char *, long> cases[] = {
        {"4194304\n", 4194303},     {"32768\n", 32767}, {"1000\n", 32767},
        {"99999999999\n", 4194303}, {"junk\n", 32767},  {"", 32767}};
    for (const auto &[text, ceiling] : cases) {
        TempTree tree;
        tree.file("sys/kernel/pid_max", text);
        EXPECT_EQ(brevic::read_pid_ceiling(tree.root().c_str()), ceiling) << text;
    }
    TempTree empty;
    EXPECT_EQ(brevic::read_pid_ceiling(empty.root().c_str()), 32767);
}
