// The tmux driver of the end-to-end tests.
#include "tmux_session.h"

#include "run_program.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace kwed_testing {

namespace {

int counter = 0;

} // namespace

std::string quote(const std::string &s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::vector<std::string> TmuxSession::tmux(std::vector<std::string> args) const {
    std::vector<std::string> argv = {"/usr/bin/tmux", "-L", socket_, "-f", "/dev/null"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

TmuxSession::TmuxSession(const std::string &command, const std::string &cwd, int width,
                         int height) {
    socket_ = "kwed-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    status_file_ = cwd + "/.exit-status-" + socket_;
    std::remove(status_file_.c_str());
    // The pane stays open after the program ends, so that its last screen
    // can be read. A watcher ends the server when the test process is gone
    // (a crash, or a timeout that kills it before the destructor runs), so
    // that no server and no editor outlive the test.
    std::string server = "/usr/bin/tmux -L " + socket_;
    std::string watcher = "(trap '' HUP; while kill -0 " + std::to_string(getpid()) +
                          " 2>/dev/null; do sleep 1; done; s=$(" + server +
                          " display-message -p '#{socket_path}'); " + server +
                          " kill-server; rm -f \"$s\") >/dev/null 2>&1 &";
    std::string script = watcher + " cd " + quote(cwd) + " && " + command + "; echo $? > " +
                         quote(status_file_) + "; sleep 3600";
    suite_testing::RunOptions options;
    options.no_stdin = true;
    options.timeout_seconds = 30;
    auto result =
        // Without the alternate screen, what the program leaves on the screen
        // at its end stays there to be checked.
        suite_testing::run(
            tmux({"start-server", ";", "set-option", "-g", "alternate-screen", "off", ";",
                  "new-session", "-d", "-s", "kwed", "-x", std::to_string(width), "-y",
                  std::to_string(height), "sh", "-c", script}),
            options);
    started_ = result.status == 0;
    if (started_) {
        std::string path =
            suite_testing::run(tmux({"display-message", "-p", "#{socket_path}"}), options).out;
        socket_path_ = path.substr(0, path.find('\n'));
    }
}

TmuxSession::~TmuxSession() {
    hangup();
    if (!socket_path_.empty())
        std::remove(socket_path_.c_str());
    std::remove(status_file_.c_str());
}

std::string TmuxSession::screen() const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    return suite_testing::run(tmux({"capture-pane", "-p", "-J", "-t", "kwed"}), options).out;
}

std::string TmuxSession::styled() const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    return suite_testing::run(tmux({"capture-pane", "-p", "-e", "-J", "-t", "kwed"}), options).out;
}

std::string TmuxSession::row(int n) const {
    std::istringstream in(screen());
    std::string line;
    for (int i = 0; std::getline(in, line); ++i)
        if (i == n)
            return line;
    return "";
}

void TmuxSession::keys(const std::vector<std::string> &names) const {
    std::vector<std::string> args = {"send-keys", "-t", "kwed"};
    args.insert(args.end(), names.begin(), names.end());
    suite_testing::RunOptions options;
    options.no_stdin = true;
    suite_testing::run(tmux(args), options);
}

void TmuxSession::type(const std::string &text) const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    suite_testing::run(tmux({"send-keys", "-t", "kwed", "-l", "--", text}), options);
}

void TmuxSession::paste(const std::string &text) const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    suite_testing::run(tmux({"set-buffer", "-b", "test", "--", text}), options);
    suite_testing::run(tmux({"paste-buffer", "-p", "-d", "-b", "test", "-t", "kwed"}), options);
}

std::string TmuxSession::cursor() const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    std::string out =
        suite_testing::run(tmux({"display-message", "-p", "-t", "kwed", "#{cursor_x},#{cursor_y}"}),
                           options)
            .out;
    return out.substr(0, out.find('\n'));
}

void TmuxSession::hangup() const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    options.timeout_seconds = 30;
    suite_testing::run(tmux({"kill-server"}), options);
}

bool TmuxSession::resize(int width, int height) const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    return suite_testing::run(tmux({"resize-window", "-t", "kwed", "-x", std::to_string(width),
                                    "-y", std::to_string(height)}),
                              options)
               .status == 0;
}

std::string TmuxSession::pane_tty() const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    std::string out =
        suite_testing::run(tmux({"display-message", "-p", "-t", "kwed", "#{pane_tty}"}), options)
            .out;
    return out.substr(0, out.find('\n'));
}

std::string TmuxSession::terminal_modes(const std::string &tty) const {
    suite_testing::RunOptions options;
    options.no_stdin = true;
    return suite_testing::run({"/bin/stty", "-a", "-F", tty}, options).out;
}

bool TmuxSession::ended() const {
    std::ifstream in(status_file_);
    int status;
    return static_cast<bool>(in >> status);
}

bool TmuxSession::wait_for(const std::function<bool(const std::string &)> &pred,
                           double seconds) const {
    if (!started_)
        return false;
    using clock = std::chrono::steady_clock;
    auto end = clock::now() + std::chrono::duration<double>(seconds);
    bool gone = false;
    for (;;) {
        if (pred(screen()))
            return true;
        auto now = clock::now();
        // Once the program has ended, only its last output can still reach
        // the screen: a short grace for tmux to draw it, so that a test
        // whose editor died fails soon instead of at every timeout.
        if (!gone && ended()) {
            gone = true;
            auto grace = now + std::chrono::seconds(3);
            if (grace < end)
                end = grace;
        }
        if (now > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool TmuxSession::wait_text(const std::string &text, double seconds) const {
    return wait_for([&](const std::string &s) { return s.find(text) != std::string::npos; },
                    seconds);
}

bool TmuxSession::wait_cursor(const std::string &where, double seconds) const {
    return wait_for([&](const std::string &) { return cursor() == where; }, seconds);
}

int TmuxSession::wait_exit(double seconds) const {
    if (!started_)
        return -1;
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        std::ifstream in(status_file_);
        int status;
        if (in >> status)
            return status;
        if (std::chrono::steady_clock::now() > end)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace kwed_testing
