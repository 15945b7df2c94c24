// ioctl: the requests the tavi system's C library makes, whose numbers and
// structures are Linux's (the terminal settings are the kernel's 36-byte
// termios); ints and process IDs are 16-bit words in the program, and
// process groups are process numbers. Any other request gives EINVAL; a
// terminal request on a descriptor that is no terminal gets the host's
// ENOTTY.
#include "guest_calls.h"
#include "guest_memory.h"
#include "process_numbers.h"
#include "tavi_calls.h"

#include <algorithm>
#include <sys/ioctl.h>

namespace taviemu {

namespace {

constexpr uint32_t kTermiosSize = 36; // struct termios as the kernel has it
constexpr uint32_t kWinsizeSize = 8;  // struct winsize

static_assert(TCGETS == 0x5401 && TCSETS == 0x5402 && TCSETSW == 0x5403 && TCSETSF == 0x5404);
static_assert(TCSBRK == 0x5409 && TCXONC == 0x540A && TCFLSH == 0x540B);
static_assert(TIOCGPGRP == 0x540F && TIOCSPGRP == 0x5410);
static_assert(TIOCGWINSZ == 0x5413 && TIOCSWINSZ == 0x5414);
static_assert(FIONREAD == 0x541B && FIONBIO == 0x5421 && FIONCLEX == 0x5450 && FIOCLEX == 0x5451);

using Serve = int (*)(int fd, uint16_t request, const CallArgs &a);

// A structure the host fills: copied to the argument, or only asked for
// when the argument is 0 (whether the descriptor is a terminal).
template <uint32_t Size> int get_block(int fd, uint16_t request, const CallArgs &a) {
    uint8_t *into;
    if (!optional_bytes(a.ds, a.dx, Size, into))
        return -EFAULT;
    alignas(8) uint8_t reply[Size];
    if (ioctl(fd, request, reply) < 0)
        return -errno;
    if (into != nullptr)
        std::copy_n(reply, Size, into);
    return 0;
}

// A structure the host takes from the argument.
template <uint32_t Size> int set_block(int fd, uint16_t request, const CallArgs &a) {
    const uint8_t *from = guest_bytes(a.ds, a.dx, Size);
    if (from == nullptr)
        return -EFAULT;
    alignas(8) uint8_t given[Size];
    std::copy_n(from, Size, given);
    return call_result(ioctl(fd, request, given));
}

// The argument is a value, not a pointer.
int with_value(int fd, uint16_t request, const CallArgs &a) {
    return call_result(ioctl(fd, request, static_cast<long>(signed_arg(a.dx))));
}

int without_argument(int fd, uint16_t request, const CallArgs &) {
    return call_result(ioctl(fd, request));
}

// FIONREAD: the bytes waiting, as far as a 16-bit int can say.
int bytes_waiting(int fd, uint16_t request, const CallArgs &a) {
    uint8_t *into = guest_bytes(a.ds, a.dx, 2);
    if (into == nullptr)
        return -EFAULT;
    int count = 0;
    if (ioctl(fd, request, &count) < 0)
        return -errno;
    put16(into, static_cast<uint16_t>(std::clamp(count, 0, 0x7FFF)));
    return 0;
}

// FIONBIO: a 16-bit int, nonzero for non-blocking.
int set_nonblocking(int fd, uint16_t request, const CallArgs &a) {
    const uint8_t *from = guest_bytes(a.ds, a.dx, 2);
    if (from == nullptr)
        return -EFAULT;
    int on = get16(from) != 0;
    return call_result(ioctl(fd, request, &on));
}

int get_process_group(int fd, uint16_t request, const CallArgs &a) {
    uint8_t *into = guest_bytes(a.ds, a.dx, 2);
    if (into == nullptr)
        return -EFAULT;
    pid_t group = 0;
    if (ioctl(fd, request, &group) < 0)
        return -errno;
    int number = process_number(group);
    if (number < 0)
        return number;
    put16(into, static_cast<uint16_t>(number));
    return 0;
}

int set_process_group(int fd, uint16_t request, const CallArgs &a) {
    const uint8_t *from = guest_bytes(a.ds, a.dx, 2);
    if (from == nullptr)
        return -EFAULT;
    int16_t number = static_cast<int16_t>(get16(from));
    if (number <= 0)
        return -EINVAL;
    pid_t group = host_process(static_cast<uint16_t>(number));
    if (group == 0)
        return -ESRCH; // no process has that number
    return call_result(ioctl(fd, request, &group));
}

struct Request {
    uint16_t number;
    Serve serve;
};

constexpr Request kRequests[] = {
    {TCGETS, get_block<kTermiosSize>},
    {TCSETS, set_block<kTermiosSize>},
    {TCSETSW, set_block<kTermiosSize>},
    {TCSETSF, set_block<kTermiosSize>},
    {TCSBRK, with_value},
    {TCXONC, with_value},
    {TCFLSH, with_value},
    {TIOCGPGRP, get_process_group},
    {TIOCSPGRP, set_process_group},
    {TIOCGWINSZ, get_block<kWinsizeSize>},
    {TIOCSWINSZ, set_block<kWinsizeSize>},
    {FIONREAD, bytes_waiting},
    {FIONBIO, set_nonblocking},
    {FIONCLEX, without_argument},
    {FIOCLEX, without_argument},
};

} // namespace

int sys_ioctl(const CallArgs &a) {
    auto found = std::find_if(std::begin(kRequests), std::end(kRequests),
                              [&a](const Request &r) { return r.number == a.cx; });
    if (found == std::end(kRequests))
        return -EINVAL;
    return found->serve(signed_arg(a.bx), a.cx, a);
}

} // namespace taviemu
