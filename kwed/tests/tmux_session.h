// Runs kwed inside a detached tmux server of its own, so that tests can
// type into a real terminal and read its screen without one of their own.
// The server is killed when the session object goes away, also when a
// test fails half-way.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kwed_testing {

// s quoted for sh: in single quotes, any single quote in it escaped.
std::string quote(const std::string &s);

class TmuxSession {
  public:
    // Starts `command` (run by sh in `cwd`) in an 80x24 window. Its exit
    // status is written to status_file once it ends.
    TmuxSession(const std::string &command, const std::string &cwd, int width = 80,
                int height = 24);
    ~TmuxSession();
    TmuxSession(const TmuxSession &) = delete;
    TmuxSession &operator=(const TmuxSession &) = delete;

    bool started() const { return started_; }
    // The screen as text, one line per row.
    std::string screen() const;
    // The screen with its attributes as the escape sequences that set them.
    std::string styled() const;
    // Row n of the screen (0 is the top one).
    std::string row(int n) const;
    // tmux key names ("C-s", "Up", "Enter") or, with literal, plain text.
    void keys(const std::vector<std::string> &names) const;
    void type(const std::string &text) const;
    // Pastes text as a terminal does: LF sent as CR, and between the marks
    // of a bracketed paste when the program has asked for them.
    void paste(const std::string &text) const;
    // The cursor as "x,y".
    std::string cursor() const;
    // Ends the server at once, as closing the terminal window would: the
    // program's terminal hangs up.
    void hangup() const;
    // Gives the window a new size.
    bool resize(int width, int height) const;
    // The terminal device of the window, and its settings as stty shows them.
    std::string pane_tty() const;
    std::string terminal_modes(const std::string &tty) const;

    // Polls the screen until the predicate holds; false after the timeout.
    bool wait_for(const std::function<bool(const std::string &)> &pred, double seconds = 30) const;
    bool wait_text(const std::string &text, double seconds = 30) const;
    // Polls until the cursor is at "x,y": the program places it last, after
    // the rows of the same update, which may reach tmux in parts.
    bool wait_cursor(const std::string &where, double seconds = 30) const;
    // Waits for the program to end and returns its exit status, or -1.
    int wait_exit(double seconds = 30) const;

  private:
    // Whether the program has ended (its exit status is written).
    bool ended() const;
    std::vector<std::string> tmux(std::vector<std::string> args) const;
    std::string socket_;
    std::string socket_path_; // removed at the end: tmux leaves it behind
    std::string status_file_;
    bool started_ = false;
};

} // namespace kwed_testing
