// Hang-up, termination, stop and continue. Closing the terminal window,
// losing the connection or a shutdown must not take unsaved text with
// them, and a stop from the shell must give the terminal back as it was.
// The signals are held back while the editor works and let through only
// while it waits for input; the handlers only note the signal. The key
// reader then ends the editor through the same rescue as at the end of
// input, or stops it as a job and draws the screen again when it goes on.
// A rescue thus always runs to its end, and no write of the text is ever
// cut off half-way by them.
#include "editor_core.h"

#include <curses.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace kwed {

namespace {

// What the handlers noted: a hang-up or termination, a stop, a continue.
volatile std::sig_atomic_t caught = 0;
volatile std::sig_atomic_t stopped = 0;
volatile std::sig_atomic_t continued = 0;

// The signal mask while waiting for input, which lets the signals through,
// once they are set up.
struct wait_mask {
    bool armed = false;
    sigset_t mask;
};
wait_mask waiting;

extern "C" void onendsignal(int sig) {
    caught = sig;
}

extern "C" void onjobsignal(int sig) {
    if (sig == SIGTSTP)
        stopped = 1;
    else
        continued = 1;
}

constexpr int held[] = {SIGHUP, SIGTERM, SIGTSTP, SIGCONT};
// A new window size, which curses notes in a handler of its own, is held
// back the same way, so that one that comes while the editor works is taken
// up at the next wait for a key, not at the next signal after it.
constexpr int window_size = SIGWINCH;

bool sethandler(int sig, void (*handler)(int)) {
    struct sigaction sa = {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // Calls that the handler interrupts go on, except the wait for input.
    sa.sa_flags = SA_RESTART;
    return sigaction(sig, &sa, nullptr) == 0;
}

} // namespace

int catchendsignals() {
    sigset_t ends;
    sigemptyset(&ends);
    for (int sig : held)
        sigaddset(&ends, sig);
    sigaddset(&ends, window_size);
    if (sigprocmask(SIG_BLOCK, &ends, &waiting.mask) != 0)
        return -1;
    for (int sig : held)
        sigdelset(&waiting.mask, sig);
    sigdelset(&waiting.mask, window_size);
    if (!sethandler(SIGHUP, onendsignal) || !sethandler(SIGTERM, onendsignal) ||
        !sethandler(SIGTSTP, onjobsignal) || !sethandler(SIGCONT, onjobsignal))
        return -1;
    waiting.armed = true;
    return 0;
}

int endsignal() {
    return caught;
}

suspension takesuspend() {
    suspension s = stopped ? suspension::stop : continued ? suspension::resumed : suspension::none;
    stopped = 0;
    continued = 0;
    return s;
}

int waitinput(int ms) {
    pollfd p = {STDIN_FILENO, POLLIN, 0};
    if (!waiting.armed)
        return ::poll(&p, 1, ms);
    struct timespec limit = {ms / 1000, (ms % 1000) * 1000000L};
    return ::ppoll(&p, 1, ms < 0 ? nullptr : &limit, &waiting.mask);
}

void resumejob(editor &ed) {
    // The shell may have set the terminal its own way in between.
    reset_prog_mode();
    lineinput(0);
    keysapart();
    bracketpaste(true);
    msg(ed, m_suspended);
    display(ed, 1);
}

void stopjob(editor &ed) {
    bracketpaste(false);
    endwin();
    // Stopped by the default action, let through for this once.
    std::signal(SIGTSTP, SIG_DFL);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    std::raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    // Here the shell has continued the editor. The continue is dealt with
    // here, so it is taken off the signals that wait.
    sigprocmask(SIG_BLOCK, &tstp, nullptr);
    sethandler(SIGTSTP, onjobsignal);
    sigset_t cont;
    sigemptyset(&cont);
    sigaddset(&cont, SIGCONT);
    struct timespec now = {};
    while (sigtimedwait(&cont, nullptr, &now) == SIGCONT) {
    }
    stopped = 0;
    continued = 0;
    resumejob(ed);
}

result suspend(editor &ed) {
    stopjob(ed);
    return result::ok;
}

} // namespace kwed
