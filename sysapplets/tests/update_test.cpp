// update: the title written over the argument strings, and the two processes
// update starts, observed from outside through /proc and strace.
#include "update.h"

#include "child_process.h"
#include "temp_tree.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace sysapplets_test;

// An argument vector laid out like the kernel's: texts end to end.
struct ArgumentBlock {
    explicit ArgumentBlock(std::initializer_list<std::string_view> args) {
        for (auto arg : args) {
            offsets.push_back(storage.size());
            storage.append(arg);
            storage.push_back('\0');
        }
        storage.append("ENV=after"); // what follows must never be touched
        storage.push_back('\0');
        for (size_t at : offsets)
            argv.push_back(storage.data() + at);
        argv.push_back(nullptr);
    }
    std::string storage;
    std::vector<size_t> offsets;
    std::vector<char *> argv;
};

TEST(UpdateTitle, RoomSpansTheContiguousArgumentStrings) {
    ArgumentBlock block{"update", "-x", "abc"};
    EXPECT_EQ(sysapplets::title_room(block.argv.data()), 14u);
    char *none[] = {nullptr};
    EXPECT_EQ(sysapplets::title_room(none), 0u);
    EXPECT_EQ(sysapplets::title_room(nullptr), 0u);
    // A vector whose second text lies elsewhere gives only argv[0]'s room.
    char elsewhere[] = "elsewhere";
    block.argv[1] = elsewhere;
    EXPECT_EQ(sysapplets::title_room(block.argv.data()), 7u);
}

TEST(UpdateTitle, LongProgramNameHoldsTheWholeTitle) {
    ArgumentBlock block{"/usr/local/sbin/a-long-program-name"};
    sysapplets::retitle(block.argv.data(), "bdflush (update)");
    EXPECT_STREQ(block.argv[0], "bdflush (update)");
    // The rest of the old name is cleared, the environment after it kept.
    EXPECT_EQ(block.storage.substr(16, 20), std::string(20, '\0'));
    EXPECT_EQ(block.storage.substr(36), std::string("ENV=after") + '\0');
}

TEST(UpdateTitle, ShortNameBorrowsTheFollowingArguments) {
    ArgumentBlock block{"up", "date", "now-and-later"};
    sysapplets::retitle(block.argv.data(), "bdflush (update)");
    EXPECT_STREQ(block.argv[0], "bdflush (update)");
    EXPECT_EQ(block.storage.substr(block.offsets[2] + 14), std::string("ENV=after") + '\0');
}

TEST(UpdateTitle, TitleIsCutToTheRoomThereIs) {
    ArgumentBlock block{"u", "dt"};
    sysapplets::retitle(block.argv.data(), "bdflush (update)");
    EXPECT_EQ(block.storage, std::string("bdfl") + '\0' + "ENV=after" + '\0');
    char *none[] = {nullptr};
    sysapplets::retitle(none, "bdflush (update)"); // nothing to write over
}

// Kills every descendant of this process when it goes away, including
// daemons that were orphaned and handed to us as their subreaper.
struct ChildSweeper {
    ChildSweeper() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~ChildSweeper() {
        // The reaper, destroyed after this, kills them all and reaps those
        // that are our children.
        for (pid_t pid : descendants_of(getpid()))
            reaper.add(pid);
        prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
    ProcessReaper reaper;
};

// Waits until pid sleeps in a timed pause (the kernel's nanosleep). Where
// the kernel hides wait channels ("0"), the sleeping state has to do.
bool wait_for_pause(pid_t pid) {
    const std::string wchan = "/proc/" + std::to_string(pid) + "/wchan";
    for (int i = 0; i < 500; ++i) {
        const std::string channel = slurp(wchan);
        const bool hidden = channel.empty() || channel == "0";
        if ((hidden || channel.find("nanosleep") != std::string::npos) && process_state(pid) == 'S')
            return true;
        usleep(10000);
    }
    return false;
}

TEST(UpdateMain, ReturnsAtOnceAndLeavesASyncerAsleep) {
    ChildSweeper sweeper;
    ASSERT_TRUE(children_of(getpid()).empty());
    ArgumentBlock block{"update"};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(sysapplets::update_main(nullptr, 1, block.argv.data()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_STREQ(block.argv[0], "update"); // only the child is retitled

    const auto started = children_of(getpid());
    ASSERT_EQ(started.size(), 2u);
    for (pid_t pid : started)
        sweeper.reaper.add(pid);
    // One of the two ends by itself with status 0 (the flush request); the
    // other keeps running.
    pid_t flusher = 0;
    int flusher_status = -1;
    for (int i = 0; i < 500 && !flusher; ++i) {
        for (pid_t pid : started) {
            int wstatus;
            if (waitpid(pid, &wstatus, WNOHANG) == pid) {
                flusher = pid;
                flusher_status = wstatus;
                sweeper.reaper.release(pid);
            }
        }
        usleep(10000);
    }
    ASSERT_NE(flusher, 0) << "no process ended by itself";
    EXPECT_TRUE(WIFEXITED(flusher_status) && WEXITSTATUS(flusher_status) == 0);
    const pid_t syncer = started[0] == flusher ? started[1] : started[0];
    EXPECT_TRUE(wait_for_pause(syncer));
    EXPECT_EQ(process_state(syncer), 'S');
    const int wstatus = sweeper.reaper.end(syncer);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL);
}

bool have_strace() {
    struct stat st;
    return stat("/usr/bin/strace", &st) == 0;
}

// Starts strace with the given arguments, its output going to log.
pid_t start_strace(const std::vector<std::string> &args, const std::string &log) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        // The leak checker of a sanitizer build cannot work under a tracer.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        std::vector<std::string> all{"/usr/bin/strace", "-o", log};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (auto &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

size_t count_of(const std::string &text, const std::string &what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST(UpdateMain, SyncerCallsSyncOncePerPeriod) {
    if (!have_strace())
        GTEST_SKIP() << "strace is not installed";
    ChildSweeper sweeper;
    suite_testing::TempTree tree;
    ArgumentBlock block{"update"};
    sysapplets::update_children started;
    ASSERT_EQ(sysapplets::update_start(block.argv.data(), 1, &started), 0);
    sweeper.reaper.add(started.flusher);
    sweeper.reaper.add(started.syncer);
    ASSERT_TRUE(wait_for_pause(started.syncer));
    const std::string log = tree.path("syncer.log");
    const pid_t tracer =
        start_strace({"-e", "trace=sync", "-p", std::to_string(started.syncer)}, log);
    sweeper.reaper.add(tracer);
    usleep(3500000);
    kill(tracer, SIGINT); // strace detaches and ends
    EXPECT_NE(wait_with_timeout(tracer, 10), -1);
    sweeper.reaper.release(tracer);
    const std::string calls = tree.read("syncer.log");
    EXPECT_GE(count_of(calls, "sync()"), 2u) << calls;
    EXPECT_LE(count_of(calls, "sync()"), 5u) << calls;
    EXPECT_EQ(process_state(started.syncer), 'S');
}

// One line of strace -f output: the pid and the rest.
std::map<long, std::vector<std::string>> lines_by_pid(const std::string &log) {
    std::map<long, std::vector<std::string>> by_pid;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const size_t text = line.find_first_not_of(' ', space);
        if (text != std::string::npos)
            by_pid[std::stol(line.substr(0, space))].push_back(line.substr(text));
    }
    return by_pid;
}

TEST(UpdateProgram, StartsADaemonThatSyncsAtOnceThenSleeps30Seconds) {
    if (!have_strace())
        GTEST_SKIP() << "strace is not installed";
    ChildSweeper sweeper;
    suite_testing::TempTree tree;
    const std::string log = tree.path("update.log");
    const pid_t tracer =
        start_strace({"-f", "-q", "-e", "trace=sync,clock_nanosleep,nanosleep,exit_group",
                      SYSAPPLETS_PATH, "update"},
                     log);
    sweeper.reaper.add(tracer);
    // Wait until the program and the flush request have ended and the daemon
    // has gone to sleep for its first pause.
    const std::string exited = "+++ exited with 0 +++";
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        text = slurp(log);
        if (text.find("tv_sec=30") != std::string::npos && count_of(text, exited) == 2)
            break;
        usleep(10000);
    }
    const auto by_pid = lines_by_pid(text);
    ASSERT_EQ(by_pid.size(), 3u) << text;
    EXPECT_EQ(count_of(text, exited), 2u) << text;
    long daemon = 0;
    for (const auto &[pid, lines] : by_pid)
        if (lines.back().find(exited) == std::string::npos)
            daemon = pid;
    ASSERT_NE(daemon, 0) << text;
    // The daemon's first call is sync, its pause comes after.
    const auto &calls = by_pid.at(daemon);
    EXPECT_EQ(calls.front().rfind("sync(", 0), 0u) << text;
    EXPECT_NE(calls.back().find("sleep("), std::string::npos) << text;
    EXPECT_NE(calls.back().find("tv_sec=30"), std::string::npos) << text;
    EXPECT_EQ(process_state(pid_t(daemon)), 'S');
    // Ending the daemon lets strace end too.
    kill(pid_t(daemon), SIGKILL);
    EXPECT_NE(wait_with_timeout(tracer, 10), -1);
    sweeper.reaper.release(tracer);
}

TEST(UpdateProgram, FlushRequestShowsItsTitleInProcessListings) {
    if (!have_strace())
        GTEST_SKIP() << "strace is not installed";
    ChildSweeper sweeper;
    suite_testing::TempTree tree;
    // Every exit is held back for a second, long enough to read the title of
    // the flush request's process before it ends.
    const pid_t tracer =
        start_strace({"-f", "-q", "-e", "trace=exit_group", "-e",
                      "inject=exit_group:delay_enter=1000000", SYSAPPLETS_PATH, "update"},
                     tree.path("exits.log"));
    sweeper.reaper.add(tracer);
    const std::string original = std::string(SYSAPPLETS_PATH) + '\0' + "update" + '\0';
    const std::string title = "bdflush (update)";
    std::string flusher_line, syncer_line;
    pid_t syncer = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (flusher_line.empty() && std::chrono::steady_clock::now() < deadline) {
        for (pid_t program : children_of(tracer))
            for (pid_t child : children_of(program)) {
                const auto line = slurp("/proc/" + std::to_string(child) + "/cmdline");
                if (line.rfind(title, 0) == 0) {
                    flusher_line = line;
                } else {
                    syncer_line = line;
                    syncer = child;
                }
            }
        usleep(10000);
    }
    // The title fills the storage of the old arguments, zero-padded, and
    // goes no further; the daemon keeps the arguments it was started with.
    EXPECT_EQ(flusher_line, title + std::string(original.size() - title.size(), '\0'));
    EXPECT_EQ(syncer_line, original);
    // With the daemon ended, the held-back exits complete and strace ends.
    if (syncer > 0)
        kill(syncer, SIGKILL);
    EXPECT_NE(wait_with_timeout(tracer, 10), -1);
    sweeper.reaper.release(tracer);
}

} // namespace
