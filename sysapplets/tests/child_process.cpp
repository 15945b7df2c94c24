#include "child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>


#ifdef SUITE_COVERAGE
// The coverage runtime's call that writes this process's counts out.
extern "C" void __gcov_dump(void);
#endif

namespace sysapplets_test {
namespace {

std::string read_all(int fd) {
    std::string text;
    char buf[4096];
    lseek(fd, 0, SEEK_SET);
    ssize_t got;
    while ((got = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, size_t(got));
    return text;
}

int scratch_fd() {
    char name[] = "/tmp/sysapplets-child-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    unlink(name);
    return fd;
}

void sleep_seconds(double seconds) {
    timespec ts{time_t(seconds), long((seconds - double(time_t(seconds))) * 1e9)};
    nanosleep(&ts, nullptr);
}

int kill_and_reap(pid_t pid) {
    kill(pid, SIGKILL);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    return wstatus;
}

// The group a DaemonGuard keeps: a new one led by its guardian, or, for a
// session leader (which cannot leave its group, and whose group holds only
// its own descendants), the group it leads.
bool leads_a_session() {
    return getsid(0) == getpid();
}

// The guardian of a DaemonGuard: when the process that started it ends, it
// kills the guarded group, itself included.
[[noreturn]] void guard_group(pid_t test, bool own_group, const sigset_t &wake) {
    if (own_group)
        setpgid(0, 0);
    // It must not keep the test's output pipes open for their reader.
    closefrom(0);
    // The kernel sends SIGUSR1 when the test process ends, however it ends.
    prctl(PR_SET_PDEATHSIG, SIGUSR1);
    int signal_number;
    if (getppid() == test)
        sigwait(&wake, &signal_number);
    kill(0, SIGKILL);
    _exit(0);
}

pid_t start_guardian() {
    sigset_t wake, old;
    sigemptyset(&wake);
    sigaddset(&wake, SIGUSR1);
    sigprocmask(SIG_BLOCK, &wake, &old);
    const pid_t test = getpid();
    const bool own_group = !leads_a_session();
    const pid_t pid = fork();
    if (pid == 0)
        guard_group(test, own_group, wake);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (pid < 0)
        throw std::runtime_error("fork failed");
    // Also from this side, so the group exists before anyone joins it.
    if (own_group)
        setpgid(pid, pid);
    return pid;
}

} // namespace

bool wait_until(const std::function<bool()> &done, double timeout_seconds) {
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (done())
            return true;
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9 >
            timeout_seconds)
            return false;
        sleep_seconds(0.01);
    }
}

int wait_with_timeout(pid_t pid, double timeout_seconds) {
    int wstatus = 0;
    pid_t got = 0;
    wait_until(
        [&] {
            got = waitpid(pid, &wstatus, WNOHANG);
            return got == pid || (got < 0 && errno != EINTR);
        },
        timeout_seconds);
    return got == pid ? wstatus : -1;
}

ChildResult run_in_child(const std::function<void()> &body, int timeout_seconds) {
    const int out_fd = scratch_fd();
    const int err_fd = scratch_fd();
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        body();
        std::fflush(stdout);
#ifdef SUITE_COVERAGE
        // _exit skips the coverage runtime: the child's counts go out here.
        __gcov_dump();
#endif
        _exit(0);
    }
    ProcessReaper reaper;
    reaper.add(pid);
    ChildResult result;
    const int wstatus = wait_with_timeout(pid, timeout_seconds);
    if (wstatus == -1) {
        reaper.end(pid);
        result.signal = SIGKILL;
    } else {
        reaper.release(pid);
        if (WIFEXITED(wstatus))
            result.status = WEXITSTATUS(wstatus);
        else if (WIFSIGNALED(wstatus))
            result.signal = WTERMSIG(wstatus);
    }
    result.out = read_all(out_fd);
    result.err = read_all(err_fd);
    close(out_fd);
    close(err_fd);
    return result;
}

ProcessReaper::~ProcessReaper() {
    for (pid_t pid : pids_)
        kill_and_reap(pid);
}

void ProcessReaper::add(pid_t pid) {
    if (pid > 0 && std::find(pids_.begin(), pids_.end(), pid) == pids_.end())
        pids_.push_back(pid);
}

void ProcessReaper::release(pid_t pid) {
    pids_.erase(std::remove(pids_.begin(), pids_.end(), pid), pids_.end());
}

int ProcessReaper::end(pid_t pid) {
    pids_.erase(std::remove(pids_.begin(), pids_.end(), pid), pids_.end());
    return kill_and_reap(pid);
}

DaemonGuard::DaemonGuard()
    : guardian_(start_guardian()), group_(leads_a_session() ? getpid() : guardian_) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

DaemonGuard::~DaemonGuard() {
    // A group this process leads itself is not killed whole: the sweep
    // below finds what it holds.
    if (group_ != getpid())
        kill(-group_, SIGKILL);
    for (pid_t pid : descendants_of(getpid()))
        kill(pid, SIGKILL);
    // Orphans of the killed processes come back to this process: reap until
    // no child is left.
    while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}

void DaemonGuard::in_group(const std::function<void()> &body) const {
    struct back_home {
        pid_t own = getpgrp();
        ~back_home() { setpgid(0, own); }
    } restore;
    if (getpgrp() != group_ && setpgid(0, group_) != 0)
        throw std::runtime_error("cannot join the guarded process group");
    body();
}

int DaemonGuard::end(pid_t pid) const {
    return kill_and_reap(pid);
}

std::string slurp(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text = read_all(fd);
    close(fd);
    return text;
}

// The state letter follows the command name, which is in parentheses and
// may itself hold spaces and parentheses: look after the last ')'.
char process_state(pid_t pid) {
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const size_t close_paren = stat.rfind(')');
    if (close_paren == std::string::npos || close_paren + 2 >= stat.size())
        return 0;
    return stat[close_paren + 2];
}

std::vector<pid_t> children_of(pid_t parent) {
    std::vector<pid_t> found;
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (dirent *entry = readdir(proc)) {
        char *end;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end || pid <= 0)
            continue;
        const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
        const size_t close_paren = stat.rfind(')');
        if (close_paren == std::string::npos)
            continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(stat.c_str() + close_paren + 1, " %c %ld", &state, &ppid) == 2 &&
            ppid == parent)
            found.push_back(pid_t(pid));
    }
    closedir(proc);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<pid_t> descendants_of(pid_t parent) {
    std::vector<pid_t> found = children_of(parent);
    for (size_t i = 0; i < found.size(); ++i)
        for (pid_t grandchild : children_of(found[i]))
            found.push_back(grandchild);
    return found;
}

} // namespace sysapplets_test
