// A child process that a test starts and owns: it takes a command name,
// optionally a session of its own or a terminal, reports that it is ready,
// then waits to be killed. The object kills and reaps it, even when the
// test fails; PR_SET_PDEATHSIG ends it should the test program die first.
#pragma once

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// Whether this machine hands out pseudo-terminals (a bare container may have
// no /dev/ptmx); without one no child can have a controlling terminal.
inline bool pseudo_terminals_available() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return false;
    const bool usable = ::grantpt(master) == 0 && ::unlockpt(master) == 0;
    ::close(master);
    return usable;
}

struct child_setup {
    std::string name;           // command name set through PR_SET_NAME
    bool new_session = false;   // no controlling terminal
    bool with_terminal = false; // a new session that takes a pseudo-terminal
    bool exit_at_once = false;  // left unreaped: a zombie
    uid_t user = 0;             // runs as this user and group (needs root), 0 = as we do
    bool not_dumpable = false;  // PR_SET_DUMPABLE 0: its /proc files become root's
};

class test_child {
  public:
    explicit test_child(const child_setup &setup) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        std::string slave;
        if (setup.with_terminal && !open_terminal(slave))
            return;
        pid_ = ::fork();
        if (pid_ == 0)
            run_child(setup, slave.c_str(), ready[1]);
        ::close(ready[1]);
        pollfd fd{ready[0], POLLIN, 0};
        char byte = 0;
        // Generous: a loaded machine may take long to schedule the child.
        if (pid_ < 0 || ::poll(&fd, 1, 120000) != 1 || ::read(ready[0], &byte, 1) != 1)
            stop();
        ::close(ready[0]);
        if (pid_ > 0 && setup.exit_at_once) {
            siginfo_t info{};
            ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT);
        } else if (pid_ > 0) {
            wait_until_asleep();
        }
    }
    ~test_child() {
        stop();
        if (master_ >= 0)
            ::close(master_);
    }
    test_child(const test_child &) = delete;
    test_child &operator=(const test_child &) = delete;

    pid_t pid() const { return pid_; }
    std::string pid_text() const { return std::to_string(pid_); }

  private:
    bool open_terminal(std::string &slave) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return false;
        const char *name = ::ptsname(master_);
        slave = name != nullptr ? name : "";
        return name != nullptr;
    }

    // The child is still running between its ready byte and pause(); a test
    // that compares its state letter must see it asleep, so wait (generously,
    // polling) until the kernel shows it so.
    void wait_until_asleep() const {
        const std::string path = "/proc/" + std::to_string(pid_) + "/stat";
        for (int tries = 0; tries < 120000; ++tries) {
            char text[512] = {};
            const int fd = ::open(path.c_str(), O_RDONLY);
            const ssize_t got = fd >= 0 ? ::read(fd, text, sizeof text - 1) : -1;
            if (fd >= 0)
                ::close(fd);
            const char *close = got > 0 ? std::strrchr(text, ')') : nullptr;
            if (close == nullptr || (close[1] != '\0' && close[2] == 'S'))
                return;
            const timespec pause_time{0, 1000000};
            ::nanosleep(&pause_time, nullptr);
        }
    }

    [[noreturn]] static void run_child(const child_setup &setup, const char *slave, int ready) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::prctl(PR_SET_NAME, setup.name.c_str());
        if (setup.new_session || setup.with_terminal)
            ::setsid();
        if (setup.with_terminal && ::open(slave, O_RDWR) < 0)
            ::_exit(2);
        if (setup.user != 0 && (::setgid(setup.user) != 0 || ::setuid(setup.user) != 0))
            ::_exit(3);
        if (setup.not_dumpable)
            ::prctl(PR_SET_DUMPABLE, 0);
        if (::write(ready, "r", 1) != 1 || setup.exit_at_once)
            ::_exit(0);
        for (;;)
            ::pause();
    }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
    int master_ = -1;
};
