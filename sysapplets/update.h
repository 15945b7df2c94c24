// The update daemon: one buffer-flush request in a short-lived process and a
// process that calls sync every 30 seconds for ever.
#pragma once

#include "support.h"

#include <cstddef>
#include <string_view>
#include <sys/types.h>

namespace sysapplets {

extern const char update_usage[];

// Seconds between two sync calls of the daemon.
constexpr unsigned update_period = 30;

// The processes update started, for callers that watch or end them.
struct update_children {
    pid_t flusher = 0; // makes one bdflush call and ends
    pid_t syncer = 0;  // calls sync every period seconds until killed
};

// The applet's entry: starts both processes and returns 0, or the negative
// result of a failed fork. The first two arguments are not used.
int update_main(const file_info *unused_file, int unused_count, char **argv);

// update_main with the period chosen by the caller; the pids of the started
// processes are stored in *started when it is not null.
int update_start(char **argv, unsigned period, update_children *started);

// Bytes of writable storage that the argument strings from argv[0] on
// occupy: the contiguous run of texts (with their zero bytes) that starts at
// argv[0]. Zero when there is no argv[0].
std::size_t title_room(char *const *argv);

// Writes title over argv[0], truncated to the room the argument strings give
// and zero-filled to their end, so process listings show only the title.
void retitle(char **argv, std::string_view title);

// The kernel's buffer-flush control. Where the platform has no such call it
// fails with ENOSYS, like a kernel that refuses it.
long buffer_flush_control(int func, long data);

} // namespace sysapplets
