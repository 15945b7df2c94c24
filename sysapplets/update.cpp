// The update applet: a background process that calls sync every 30 seconds,
// and one buffer-flush request made by a short-lived process.
#include "update.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace sysapplets {

const char update_usage[] =
    "update\n\n\tFlush buffered data to the disk devices every 30 seconds.\n";

namespace {

constexpr std::string_view flusher_title = "bdflush (update)";

// bdflush function 1: write out the dirty buffers now.
constexpr int flush_dirty_buffers = 1;

[[noreturn]] void run_flusher(char **argv) {
    retitle(argv, flusher_title);
    // Without the privilege, or on a kernel without the call, this fails;
    // the sync loop runs regardless.
    (void)buffer_flush_control(flush_dirty_buffers, 0);
    _exit(0);
}

[[noreturn]] void run_syncer(unsigned period) {
    for (;;) {
        sync();
        // A pause cut short by a signal just leads to the next sync.
        (void)sleep(period);
    }
}

} // namespace

long buffer_flush_control(int func, long data) {
#ifdef SYS_bdflush
    return syscall(SYS_bdflush, func, data);
#else
    (void)func;
    (void)data;
    errno = ENOSYS;
    return -1;
#endif
}

std::size_t title_room(char *const *argv) {
    if (!argv || !argv[0])
        return 0;
    // The kernel lays the argument strings end to end; follow them for as
    // long as each one starts right after the previous one's zero byte.
    char *end = argv[0] + std::strlen(argv[0]) + 1;
    for (char *const *arg = argv + 1; *arg == end; ++arg)
        end = *arg + std::strlen(*arg) + 1;
    return std::size_t(end - argv[0]);
}

void retitle(char **argv, std::string_view title) {
    const std::size_t room = title_room(argv);
    if (room == 0)
        return;
    const std::size_t length = std::min(title.size(), room - 1);
    std::memcpy(argv[0], title.data(), length);
    std::memset(argv[0] + length, 0, room - length);
}

int update_start(char **argv, unsigned period, update_children *started) {
    const pid_t flusher = fork();
    if (flusher < 0)
        return flusher;
    if (flusher == 0)
        run_flusher(argv);
    if (started)
        started->flusher = flusher;

    const pid_t syncer = fork();
    if (syncer < 0)
        return syncer;
    if (syncer == 0)
        run_syncer(period);
    if (started)
        started->syncer = syncer;
    return 0;
}

int update_main(const file_info *, int, char **argv) {
    return update_start(argv, update_period, nullptr);
}

} // namespace sysapplets
