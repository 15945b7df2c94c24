// Test helpers for code that changes the process it runs in (directory,
// environment, exit) or that starts processes of its own.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sysapplets_test {

struct ChildResult {
    std::string out; // what the child wrote to standard output
    std::string err; // what it wrote to standard error
    int status = -1; // exit status, or -1 when a signal ended it
    int signal = 0;
};

// Runs body in a forked child whose standard output and error are captured;
// the child ends with status 0 when body returns. Ended with SIGKILL if it
// runs longer than timeout_seconds.
ChildResult run_in_child(const std::function<void()> &body, int timeout_seconds = 20);

// Kills (SIGKILL) and reaps every process handed to it when it goes away, so
// a failing test leaves nothing running.
class ProcessReaper {
  public:
    ProcessReaper() = default;
    ProcessReaper(const ProcessReaper &) = delete;
    ProcessReaper &operator=(const ProcessReaper &) = delete;
    ~ProcessReaper();
    void add(pid_t pid);
    // Forgets pid: it has been reaped elsewhere.
    void release(pid_t pid);
    // Kills and reaps pid now; returns its wait status.
    int end(pid_t pid);

  private:
    std::vector<pid_t> pids_;
};

// The children of this process, from /proc.
std::vector<pid_t> children_of(pid_t parent);

// The children of parent, their children and so on.
std::vector<pid_t> descendants_of(pid_t parent);

// Field 3 of /proc/<pid>/stat: the one-letter process state, or 0.
char process_state(pid_t pid);

// The whole of a (small) file, or an empty string when it cannot be read.
std::string slurp(const std::string &path);

// Waits until pid has ended and returns its wait status; -1 after the
// timeout (the process is left running).
int wait_with_timeout(pid_t pid, double timeout_seconds);

// Checks done every 10 ms until it holds or timeout_seconds have passed, and
// returns whether it held. Waits end as soon as they can, so timeouts can be
// generous enough for a loaded machine.
bool wait_until(const std::function<bool()> &done, double timeout_seconds);

// Keeps the processes a test starts (daemons included) from outliving it,
// however the test ends. They are started in a process group of their own
// (for a session leader, the one it leads already): through in_group, or by
// a forked child that joins group() before exec. A guardian process in that
// group waits for this process to end; should it end without cleaning up
// (killed by a time-out, crashed), the guardian kills the whole group. While
// the guard lives this process is the subreaper of what it starts, so
// orphaned daemons come back to it; the destructor kills the group and every
// descendant and reaps them all.
class DaemonGuard {
  public:
    DaemonGuard();
    DaemonGuard(const DaemonGuard &) = delete;
    DaemonGuard &operator=(const DaemonGuard &) = delete;
    ~DaemonGuard();
    pid_t group() const { return group_; }
    pid_t guardian() const { return guardian_; }
    // Runs body with this process in the group, so that whatever body forks
    // starts there.
    void in_group(const std::function<void()> &body) const;
    // Kills (SIGKILL) and reaps one child now; returns its wait status.
    int end(pid_t pid) const;

  private:
    pid_t guardian_;
    pid_t group_;
};

} // namespace sysapplets_test
