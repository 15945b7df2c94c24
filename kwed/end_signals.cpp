// Hang-up and termination. Closing the terminal window, losing the
// connection or a shutdown must not take unsaved text with them. The two
// signals are held back while the editor works and let through only while
// it waits for input; the handler only notes the signal, and the key reader
// then ends the editor through the same rescue as at the end of input. A
// rescue thus always runs to its end, and no write of the text is ever cut
// off half-way by them.
#include "editor_core.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace kwed {

namespace {

volatile std::sig_atomic_t caught = 0;
bool armed = false;
// The signal mask while waiting for input: the two signals let through.
sigset_t waitmask;

extern "C" void onendsignal(int sig) {
    caught = sig;
}

} // namespace

int catchendsignals() {
    sigset_t ends;
    sigemptyset(&ends);
    sigaddset(&ends, SIGHUP);
    sigaddset(&ends, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &ends, &waitmask) != 0)
        return -1;
    sigdelset(&waitmask, SIGHUP);
    sigdelset(&waitmask, SIGTERM);
    struct sigaction sa = {};
    sa.sa_handler = onendsignal;
    sigemptyset(&sa.sa_mask);
    // Calls that the handler interrupts go on, except the wait for input.
    sa.sa_flags = SA_RESTART;
    if (sigaction(SIGHUP, &sa, nullptr) != 0 || sigaction(SIGTERM, &sa, nullptr) != 0)
        return -1;
    armed = true;
    return 0;
}

int endsignal() {
    return caught;
}

int waitinput(int ms) {
    pollfd p = {STDIN_FILENO, POLLIN, 0};
    if (!armed)
        return ::poll(&p, 1, ms);
    struct timespec limit = {ms / 1000, (ms % 1000) * 1000000L};
    return ::ppoll(&p, 1, ms < 0 ? nullptr : &limit, &waitmask);
}

} // namespace kwed
