// Interrupt 0x80: the tavi system's own calls. AX holds the call number, the
// arguments are in BX, CX, DX, DI and SI, pointers are offsets in DS, and
// the result goes back in AX (a negative errno on failure).
#include "tavi_syscall.h"
#include "guest_calls.h"
#include "guest_memory.h"
#include "process_numbers.h"
#include "tavi.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace taviemu {

namespace {

constexpr uint32_t kKernelTermiosSize = 36; // struct termios as the kernel fills it
constexpr uint32_t kWinsizeSize = 8;        // struct winsize

int with_path(const CallArgs &a, int (*call)(const char *, const CallArgs &)) {
    const char *path = guest_string(a.ds, a.bx);
    return path == nullptr ? -EFAULT : call_result(call(path, a));
}

int sys_exit(const CallArgs &a) {
    call_exit(a.bx);
}
int sys_fork(const CallArgs &) {
    return fork_numbered();
}
int sys_read(const CallArgs &a) {
    return call_read(a.bx, a.ds, a.cx, a.dx);
}
int sys_write(const CallArgs &a) {
    return call_write(a.bx, a.ds, a.cx, a.dx);
}
int sys_open(const CallArgs &a) {
    return call_open(a.ds, a.bx, a.cx, a.dx);
}
int sys_close(const CallArgs &a) {
    return call_close(a.bx);
}

int sys_waitpid(const CallArgs &a) {
    uint8_t *status_word = nullptr;
    if (a.cx != 0 && (status_word = guest_bytes(a.ds, a.cx, 2)) == nullptr)
        return -EFAULT;
    pid_t of = host_process(a.bx);
    if (of == 0 && a.bx != 0)
        return -ECHILD; // no child has that number
    int status = 0;
    pid_t pid = waitpid(of, &status, a.dx);
    if (pid <= 0)
        return call_result(pid);
    if (status_word != nullptr) {
        put16(status_word, static_cast<uint16_t>(status));
    }
    int number = process_number(pid);
    if (WIFEXITED(status) || WIFSIGNALED(status))
        forget_process(pid);
    return number;
}

int sys_unlink(const CallArgs &a) {
    return with_path(a, [](const char *p, const CallArgs &) { return unlink(p); });
}
int sys_chdir(const CallArgs &a) {
    return with_path(a, [](const char *p, const CallArgs &) { return chdir(p); });
}
int sys_access(const CallArgs &a) {
    return with_path(a, [](const char *p, const CallArgs &c) { return access(p, c.cx); });
}
int sys_mkdir(const CallArgs &a) {
    return with_path(a, [](const char *p, const CallArgs &c) { return mkdir(p, c.cx); });
}
int sys_rmdir(const CallArgs &a) {
    return with_path(a, [](const char *p, const CallArgs &) { return rmdir(p); });
}

int sys_time(const CallArgs &a) {
    uint8_t *word = nullptr;
    if (a.bx != 0 && (word = guest_bytes(a.ds, a.bx, 4)) == nullptr)
        return -EFAULT;
    if (word != nullptr) {
        put32(word, static_cast<uint32_t>(time(nullptr)));
    }
    return 0;
}

int sys_lseek(const CallArgs &a) {
    uint8_t *word = guest_bytes(a.ds, a.cx, 4);
    if (word == nullptr)
        return -EFAULT;
    int32_t offset = static_cast<int32_t>(get32(word));
    int r = call_lseek(a.bx, &offset, a.dx);
    if (r == 0) {
        put32(word, static_cast<uint32_t>(offset));
    }
    return r;
}

int sys_getpid(const CallArgs &) {
    return process_number(getpid());
}
int sys_getuid(const CallArgs &) {
    return static_cast<int>(getuid());
}
int sys_kill(const CallArgs &a) {
    pid_t to = host_process(a.bx);
    if (to == 0 && a.bx != 0)
        return -ESRCH;
    return call_result(kill(to, a.cx));
}
int sys_dup(const CallArgs &a) {
    return call_result(dup(a.bx));
}

int sys_pipe(const CallArgs &a) {
    uint8_t *words = guest_bytes(a.ds, a.bx, 4);
    if (words == nullptr)
        return -EFAULT;
    int fds[2];
    if (pipe(fds) < 0)
        return -errno;
    put16(words, static_cast<uint16_t>(fds[0]));
    put16(words + 2, static_cast<uint16_t>(fds[1]));
    return 0;
}

int sys_brk(const CallArgs &a) {
    return call_brk(a.bx);
}
int sys_getgid(const CallArgs &) {
    return static_cast<int>(getgid());
}
int sys_geteuid(const CallArgs &) {
    return static_cast<int>(geteuid());
}
int sys_getegid(const CallArgs &) {
    return static_cast<int>(getegid());
}

// The terminal requests a program asks to tell a terminal from a file: the
// terminal's settings and its window size, copied into the program's
// buffer when it gives one.
int sys_ioctl(const CallArgs &a) {
    uint32_t size;
    if (a.cx == TCGETS)
        size = kKernelTermiosSize;
    else if (a.cx == TIOCGWINSZ)
        size = kWinsizeSize;
    else
        return -EINVAL;
    uint8_t *into = nullptr;
    if (a.dx != 0 && (into = guest_bytes(a.ds, a.dx, size)) == nullptr)
        return -EFAULT;
    alignas(8) uint8_t reply[64] = {};
    if (ioctl(a.bx, a.cx, reply) < 0)
        return -errno;
    if (into != nullptr) {
        std::copy_n(reply, size, into);
    }
    return 0;
}

int sys_dup2(const CallArgs &a) {
    return call_result(dup2(a.bx, a.cx));
}
int sys_getppid(const CallArgs &) {
    return process_number(getppid());
}

constexpr CallEntry kCalls[] = {
    {1, sys_exit},  {2, sys_fork},     {3, sys_read},     {4, sys_write},    {5, sys_open},
    {6, sys_close}, {7, sys_waitpid},  {10, sys_unlink},  {11, call_execve}, {12, sys_chdir},
    {13, sys_time}, {19, sys_lseek},   {20, sys_getpid},  {24, sys_getuid},  {33, sys_access},
    {37, sys_kill}, {39, sys_mkdir},   {40, sys_rmdir},   {41, sys_dup},     {42, sys_pipe},
    {45, sys_brk},  {47, sys_getgid},  {49, sys_geteuid}, {50, sys_getegid}, {54, sys_ioctl},
    {63, sys_dup2}, {64, sys_getppid},
};

} // namespace

std::span<const CallEntry> tavi_calls() {
    return kCalls;
}

int tavi_syscall() {
    const vm86::Regs &r = tavi_cpu.regs;
    uint16_t number = static_cast<uint16_t>(r.eax);
    auto found = std::lower_bound(std::begin(kCalls), std::end(kCalls), number,
                                  [](const CallEntry &e, uint16_t n) { return e.number < n; });
    if (found == std::end(kCalls) || found->number != number)
        return -ENOSYS;
    const CallArgs args{r.ds,
                        static_cast<uint16_t>(r.ebx),
                        static_cast<uint16_t>(r.ecx),
                        static_cast<uint16_t>(r.edx),
                        static_cast<uint16_t>(r.edi),
                        static_cast<uint16_t>(r.esi)};
    return found->handler(args);
}

} // namespace taviemu
