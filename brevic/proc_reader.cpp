// Reads one process: one open, one read, one status query and one close of
// /proc/<pid>/stat, with no memory allocated; and, for a process that root
// seems to own, its true owner from /proc/<pid>/status.
#include "brevic.h"
#include "fd_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevic {

bool read_stat(int proc_fd, int pid, ps_process &process) {
    std::array<char, 32> path{};
    std::snprintf(path.data(), path.size(), "%d/stat", pid);
    std::array<char, stat_buffer_size> buffer;
    ssize_t got;
    struct stat status {};
    {
        const fd_handle fd(::openat(proc_fd, path.data(), O_RDONLY | O_CLOEXEC));
        if (!fd.valid())
            return false;
        got = ::read(fd.get(), buffer.data(), buffer.size() - 1);
        if (::fstat(fd.get(), &status) != 0)
            return false;
    }
    if (got < static_cast<ssize_t>(min_stat_length))
        return false;
    if (!parse_stat_line({buffer.data(), static_cast<std::size_t>(got)}, process))
        return false;
    process.uid = status.st_uid;
    return process.pid == pid;
}

void read_owner(int proc_fd, ps_process &process) {
    if (process.uid != 0 || (process.flags & kernel_thread_flag) != 0)
        return;
    std::array<char, 32> path{};
    std::snprintf(path.data(), path.size(), "%d/status", process.pid);
    std::array<char, status_buffer_size> buffer;
    const fd_handle fd(::openat(proc_fd, path.data(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return;
    const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
    std::uint32_t euid;
    if (got > 0 && parse_status_uid({buffer.data(), static_cast<std::size_t>(got)}, euid))
        process.uid = euid;
}

} // namespace brevic
