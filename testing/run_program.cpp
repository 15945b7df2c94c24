#include "run_program.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace suite_testing {
namespace {

double now_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

[[noreturn]] void exec_child(const std::vector<std::string> &argv, const RunOptions &options,
                             int in_fd, int out_fd, int err_fd) {
    dup2(in_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    for (int fd = 3; fd < 256; ++fd)
        close(fd);
    signal(SIGPIPE, SIG_DFL);
    for (const auto &name : options.unset_env)
        unsetenv(name.c_str());
    for (const auto &[name, value] : options.env)
        if (!name.empty())
            setenv(name.c_str(), value.c_str(), 1);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0)
        _exit(126);
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    if (!options.argv0.empty())
        args[0] = const_cast<char *>(options.argv0.c_str());
    args.push_back(nullptr);
    execv(argv[0].c_str(), args.data());
    _exit(127);
}

// Moves data between the child's pipes until both output pipes close.
void pump(int in_w, int out_r, int err_r, std::string_view input, RunResult &result, pid_t pid,
          double deadline) {
    size_t written = 0;
    if (input.empty() && in_w >= 0) {
        close(in_w);
        in_w = -1;
    }
    char buf[65536];
    while (out_r >= 0 || err_r >= 0) {
        pollfd fds[3];
        int n = 0;
        int out_i = -1, err_i = -1, in_i = -1;
        if (out_r >= 0) fds[out_i = n++] = {out_r, POLLIN, 0};
        if (err_r >= 0) fds[err_i = n++] = {err_r, POLLIN, 0};
        if (in_w >= 0) fds[in_i = n++] = {in_w, POLLOUT, 0};
        // Once the deadline has passed the child is killed; its pipes then
        // close, unless something it started still holds them open.
        int left_ms = int((deadline - now_seconds()) * 1000);
        if (left_ms <= 0 && !result.timed_out) {
            kill(pid, SIGKILL);
            result.timed_out = true;
        }
        int ready = poll(fds, nfds_t(n), result.timed_out ? 100 : left_ms);
        if (ready == 0 && result.timed_out && now_seconds() > deadline + 2)
            break;
        auto drain = [&](int idx, int &fd, std::string &into) {
            if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR)))
                return;
            ssize_t got = read(fd, buf, sizeof buf);
            if (got > 0)
                into.append(buf, size_t(got));
            else if (got == 0 || errno != EINTR) {
                close(fd);
                fd = -1;
            }
        };
        drain(out_i, out_r, result.out);
        drain(err_i, err_r, result.err);
        if (in_i >= 0 && (fds[in_i].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t put = write(in_w, input.data() + written, input.size() - written);
            if (put > 0)
                written += size_t(put);
            if (put < 0 && errno != EINTR && errno != EAGAIN)
                written = input.size();
            if (written == input.size()) {
                close(in_w);
                in_w = -1;
            }
        }
    }
    if (in_w >= 0)
        close(in_w);
}

} // namespace

RunResult run(const std::vector<std::string> &argv, const RunOptions &options) {
    if (argv.empty())
        throw std::invalid_argument("run: no program");
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        throw std::runtime_error(std::string("pipe: ") + strerror(errno));
    int null_fd = options.no_stdin ? open("/dev/null", O_RDONLY | O_CLOEXEC) : -1;
    // A child that stops reading its input must not kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + strerror(errno));
    if (pid == 0)
        exec_child(argv, options, options.no_stdin ? null_fd : in[0], out[1], err[1]);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (null_fd >= 0)
        close(null_fd);
    RunResult result;
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    pump(options.no_stdin ? (close(in[1]), -1) : in[1], out[0], err[0], options.input, result,
         pid, now_seconds() + options.timeout_seconds);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus))
        result.signal = WTERMSIG(wstatus);
    return result;
}

} // namespace suite_testing
