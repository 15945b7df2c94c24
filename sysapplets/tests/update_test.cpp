// update: the title written over the argument strings, and the two processes
// update starts, observed from outside through /proc and strace.
#include "update.h"

#include "child_process.h"
#include "peer_program.h"
#include "temp_tree.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/resource.h>
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

// Waits until pid sleeps in a timed pause (the kernel's nanosleep). Where
// the kernel hides wait channels ("0"), the sleeping state has to do. The
// first sync may take long on a busy machine, hence the generous limit.
bool wait_for_pause(pid_t pid) {
    const std::string wchan = "/proc/" + std::to_string(pid) + "/wchan";
    return wait_until(
        [&] {
            const std::string channel = slurp(wchan);
            const bool hidden = channel.empty() || channel == "0";
            return (hidden || channel.find("nanosleep") != std::string::npos) &&
                   process_state(pid) == 'S';
        },
        60);
}

// The children of this process other than the guard's own.
std::vector<pid_t> started_by(const DaemonGuard &guard) {
    std::vector<pid_t> children = children_of(getpid());
    std::erase(children, guard.guardian());
    return children;
}

TEST(UpdateMain, ReturnsAtOnceAndLeavesASyncerAsleep) {
    DaemonGuard guard;
    ASSERT_TRUE(started_by(guard).empty());
    ArgumentBlock block{"update"};
    const auto start = std::chrono::steady_clock::now();
    int result = -1;
    guard.in_group([&] { result = sysapplets::update_main(nullptr, 1, block.argv.data()); });
    ASSERT_EQ(result, 0);
    // Far less than the daemon's first pause: update does not wait for it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_STREQ(block.argv[0], "update"); // only the child is retitled

    const auto started = started_by(guard);
    ASSERT_EQ(started.size(), 2u);
    // One of the two ends by itself with status 0 (the flush request); the
    // other keeps running.
    pid_t flusher = 0;
    int flusher_status = -1;
    wait_until(
        [&] {
            for (pid_t pid : started)
                if (waitpid(pid, &flusher_status, WNOHANG) == pid)
                    flusher = pid;
            return flusher != 0;
        },
        60);
    ASSERT_NE(flusher, 0) << "no process ended by itself";
    EXPECT_TRUE(WIFEXITED(flusher_status) && WEXITSTATUS(flusher_status) == 0);
    const pid_t syncer = started[0] == flusher ? started[1] : started[0];
    EXPECT_TRUE(wait_for_pause(syncer));
    EXPECT_EQ(process_state(syncer), 'S');
    const int wstatus = guard.end(syncer);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL);
}

// Runs body as a user of its own that may have at most process_limit
// processes, so that fork fails once it has that many.
ChildResult with_process_limit(const DaemonGuard &guard, rlim_t process_limit,
                               const std::function<void()> &body) {
    ChildResult result;
    guard.in_group([&] {
        result = run_in_child([&] {
            // A user id nothing else runs as, so only this child counts.
            const rlimit limit{process_limit, process_limit};
            if (setgid(48879) != 0 || setuid(48879) != 0 || setrlimit(RLIMIT_NPROC, &limit) != 0)
                _exit(99);
            body();
        });
    });
    return result;
}

TEST(UpdateMain, FailedForkIsReturnedAndReported) {
    if (geteuid() != 0)
        GTEST_SKIP() << "changing to another user needs root";
    DaemonGuard guard;
    // No process allowed: the first fork fails and nothing is started.
    auto r = with_process_limit(guard, 0, [] {
        ArgumentBlock block{"update"};
        sysapplets::update_children started;
        const int result = sysapplets::update_start(block.argv.data(), 30, &started);
        std::printf("%d %d %d\n", result, started.flusher, started.syncer);
        std::fflush(stdout);
        // The program reports it; the leak checker would need a process.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        if (access(SYSAPPLETS_PATH, X_OK) == 0)
            execl(SYSAPPLETS_PATH, SYSAPPLETS_PATH, "update", nullptr);
        _exit(98);
    });
    ASSERT_NE(r.status, 99) << "could not change to the limited user";
    EXPECT_EQ(r.out, "-1 0 0\n");
    if (r.status != 98) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "update: fork: Resource temporarily unavailable\n");
    }
    // One more process allowed: the flush request starts (and, unreaped,
    // still counts), then the second fork fails.
    r = with_process_limit(guard, 2, [] {
        ArgumentBlock block{"update"};
        sysapplets::update_children started;
        const int result = sysapplets::update_start(block.argv.data(), 30, &started);
        int wstatus = -1;
        const bool ended = started.flusher > 0 && waitpid(started.flusher, &wstatus, 0) > 0;
        std::printf("%d %d %d\n", result, ended && WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0,
                    started.syncer);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "-1 1 0\n");
}

// Starts strace with the given arguments in the guarded group, its output
// going to log.
pid_t start_strace(const DaemonGuard &guard, const std::vector<std::string> &args,
                   const std::string &log) {
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, guard.group());
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

// The lines of text that are complete: strace may be halfway through one.
std::vector<std::string> complete_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

bool is_sync(const std::string &call) {
    return call.rfind("sync()", 0) == 0;
}

TEST(UpdateMain, SyncerCallsSyncOncePerPeriod) {
    SUITE_REQUIRE_PROGRAMS("/usr/bin/strace");
    DaemonGuard guard;
    suite_testing::TempTree tree;
    ArgumentBlock block{"update"};
    sysapplets::update_children started;
    int result = -1;
    guard.in_group([&] { result = sysapplets::update_start(block.argv.data(), 1, &started); });
    ASSERT_EQ(result, 0);
    const std::string log = tree.path("syncer.log");
    start_strace(
        guard, {"-e", "trace=sync,clock_nanosleep,nanosleep", "-p", std::to_string(started.syncer)},
        log);
    // Two syncs in a row with exactly one pause of the period between them:
    // the order of the calls shows the loop, whatever the load.
    std::vector<std::string> calls;
    const bool seen = wait_until(
        [&] {
            calls = complete_lines(slurp(log));
            return std::count_if(calls.begin(), calls.end(), is_sync) >= 2;
        },
        60);
    ASSERT_TRUE(seen) << slurp(log);
    const auto first = std::find_if(calls.begin(), calls.end(), is_sync);
    const std::vector<std::string> loop(first, calls.end());
    ASSERT_GE(loop.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(loop[i]);
        if (i % 2 == 0) {
            EXPECT_TRUE(is_sync(loop[i]));
        } else {
            EXPECT_NE(loop[i].find("sleep("), std::string::npos);
            EXPECT_NE(loop[i].find("tv_sec=1,"), std::string::npos);
        }
    }
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
    SUITE_REQUIRE_PROGRAMS("/usr/bin/strace");
    DaemonGuard guard;
    suite_testing::TempTree tree;
    const std::string log = tree.path("update.log");
    start_strace(guard,
                 {"-f", "-q", "-e", "trace=sync,clock_nanosleep,nanosleep,exit_group",
                  SYSAPPLETS_PATH, "update"},
                 log);
    // Wait until the program and the flush request have ended and the daemon
    // has gone to sleep for its first pause.
    const std::string exited = "+++ exited with 0 +++";
    std::string text;
    wait_until(
        [&] {
            text = slurp(log);
            return text.find("tv_sec=30") != std::string::npos && count_of(text, exited) == 2;
        },
        60);
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
    // strace shows the pause as it starts; on a busy machine the daemon may
    // still be on its way into it.
    EXPECT_TRUE(wait_for_pause(pid_t(daemon)));
}

TEST(UpdateProgram, FlushRequestShowsItsTitleInProcessListings) {
    SUITE_REQUIRE_PROGRAMS("/usr/bin/strace");
    DaemonGuard guard;
    suite_testing::TempTree tree;
    // Every exit is held back (for a minute at most) so the titles can be
    // read at leisure; the guard kills the held processes afterwards.
    const pid_t tracer =
        start_strace(guard,
                     {"-f", "-q", "-e", "trace=exit_group", "-e",
                      "inject=exit_group:delay_enter=60000000", SYSAPPLETS_PATH, "update"},
                     tree.path("exits.log"));
    const std::string original = std::string(SYSAPPLETS_PATH) + '\0' + "update" + '\0';
    const std::string title = "bdflush (update)";
    // The program's two children, read in one pass, once one shows the title.
    std::map<pid_t, std::string> lines;
    const auto titled = [&](const auto &entry) { return entry.second.rfind(title, 0) == 0; };
    wait_until(
        [&] {
            lines.clear();
            for (pid_t program : children_of(tracer))
                for (pid_t child : children_of(program))
                    lines[child] = slurp("/proc/" + std::to_string(child) + "/cmdline");
            return lines.size() == 2 && std::any_of(lines.begin(), lines.end(), titled);
        },
        60);
    ASSERT_EQ(lines.size(), 2u);
    const auto flusher = std::find_if(lines.begin(), lines.end(), titled);
    ASSERT_NE(flusher, lines.end());
    const auto &syncer = *(flusher == lines.begin() ? std::next(lines.begin()) : lines.begin());
    // The title fills the storage of the old arguments, zero-padded, and
    // goes no further; the daemon keeps the arguments it was started with.
    EXPECT_EQ(flusher->second, title + std::string(original.size() - title.size(), '\0'));
    EXPECT_EQ(syncer.second, original);
}

// A test process killed while its daemon runs, as by a time-out, leaves
// nothing behind: its guard's guardian ends the daemon.
TEST(DaemonGuard, DaemonDiesWithAKilledTest) {
    DaemonGuard outer; // takes in whatever the killed test leaves
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t test = fork();
    if (test == 0) {
        setpgid(0, outer.group());
        DaemonGuard inner;
        ArgumentBlock block{"update"};
        sysapplets::update_children started;
        inner.in_group([&] { sysapplets::update_start(block.argv.data(), 30, &started); });
        if (write(channel[1], &started.syncer, sizeof started.syncer) < 0)
            _exit(1);
        raise(SIGKILL);
    }
    close(channel[1]);
    pid_t syncer = 0;
    const bool told = read(channel[0], &syncer, sizeof syncer) == sizeof syncer;
    close(channel[0]);
    const int wstatus = wait_with_timeout(test, 60);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL);
    ASSERT_TRUE(told && syncer > 0);
    // The daemon comes back to this process, its subreaper, dead.
    EXPECT_TRUE(wait_until(
        [&] {
            const char state = process_state(syncer);
            return state == 'Z' || state == 0;
        },
        60));
}

} // namespace
