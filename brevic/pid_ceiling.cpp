// The largest process number worth asking for. The kernel hands out numbers
// below its pid_max, which today's kernels allow far above the 32767 of the
// systems the lister was first made for; the classic ceiling stays the floor
// so that nothing once accepted is refused.
#include "brevic.h"
#include "fd_handle.h"

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace brevic {
namespace {

// No kernel hands out numbers at or above 4 Mi (its PID_MAX_LIMIT), so a
// larger pid_max text is not believed beyond that.
constexpr long max_pid_ceiling = 4L * 1024 * 1024 - 1;

} // namespace

long read_pid_ceiling(const char *proc_dir) {
    std::array<char, 256> path{};
    const int length = std::snprintf(path.data(), path.size(), "%s/sys/kernel/pid_max", proc_dir);
    if (length < 0 || static_cast<std::size_t>(length) >= path.size())
        return classic_pid_ceiling;
    const fd_handle fd(::open(path.data(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return classic_pid_ceiling;
    std::array<char, 32> text{};
    const ssize_t got = ::read(fd.get(), text.data(), text.size() - 1);
    if (got <= 0)
        return classic_pid_ceiling;
    char *end = nullptr;
    const long pid_max = std::strtol(text.data(), &end, 10);
    if (end == text.data() || (*end != '\n' && *end != '\0'))
        return classic_pid_ceiling;
    if (pid_max - 1 <= classic_pid_ceiling)
        return classic_pid_ceiling;
    return pid_max - 1 < max_pid_ceiling ? pid_max - 1 : max_pid_ceiling;
}

} // namespace brevic
