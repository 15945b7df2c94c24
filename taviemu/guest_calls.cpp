// System calls shared by the tavi and Minix translators.
#include "guest_calls.h"
#include "guest_memory.h"
#include "guest_structs.h"
#include "process_numbers.h"
#include "program_signals.h"
#include "tavi.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace taviemu {

namespace {

// F_GETLK tells the lock that would be in the way, if any.
int tell_lock(const struct flock &host, uint8_t *into) {
    if (host.l_start > INT32_MAX || host.l_len > INT32_MAX)
        return -EOVERFLOW;
    GuestLock lock;
    lock.type = static_cast<int16_t>(host.l_type);
    lock.whence = static_cast<int16_t>(host.l_whence);
    lock.start = static_cast<int32_t>(host.l_start);
    lock.length = static_cast<int32_t>(host.l_len);
    lock.pid = static_cast<uint16_t>(std::max(process_number(host.l_pid), 0));
    FlockBytes bytes = encode_flock(lock);
    std::copy(bytes.begin(), bytes.end(), into);
    return 0;
}

} // namespace

int new_descriptor(int result, int limit) {
    if (result >= limit) {
        close(result);
        return -EMFILE;
    }
    return result;
}

int call_pipe(int fds[2], int limit) {
    if (pipe(fds) < 0)
        return -errno;
    if (fds[0] >= limit || fds[1] >= limit) {
        close(fds[0]);
        close(fds[1]);
        return -EMFILE;
    }
    return 0;
}

// The whole buffer the program names must be its own, even when less of it
// is moved in one call.
int call_read(int fd, uint16_t seg, uint16_t buffer, uint16_t count) {
    uint8_t *into = guest_bytes(seg, buffer, count);
    if (into == nullptr)
        return -EFAULT;
    return call_result(read(fd, into, std::min<uint32_t>(count, kMaxTransfer)));
}

int call_write(int fd, uint16_t seg, uint16_t buffer, uint16_t count) {
    const uint8_t *from = guest_bytes(seg, buffer, count);
    if (from == nullptr)
        return -EFAULT;
    return call_result(write(fd, from, std::min<uint32_t>(count, kMaxTransfer)));
}

int call_open(uint16_t seg, uint16_t path, int flags, int mode) {
    const char *name = guest_string(seg, path);
    if (name == nullptr)
        return -EFAULT;
    return new_descriptor(call_result(open(name, flags, mode)), kTaviDescriptors);
}

int call_close(int fd) {
    return call_result(close(fd));
}

int call_lseek(int fd, int32_t *offset, int whence) {
    // Only a move relative to the current offset or the end can land
    // beyond 32 bits; the place to go back to is taken before it.
    off_t from = whence == SEEK_SET ? 0 : lseek(fd, 0, SEEK_CUR);
    if (from < 0)
        return -errno;
    off_t to = lseek(fd, *offset, whence);
    if (to < 0)
        return -errno;
    if (to > INT32_MAX) {
        lseek(fd, from, SEEK_SET);
        return -EOVERFLOW;
    }
    *offset = static_cast<int32_t>(to);
    return 0;
}

// The break lies in the data segment of the loaded layout, whatever DS
// holds now. The stack it must stay below is where SP stands while SS is
// still that segment, and otherwise the block of arguments at its top.
int call_brk(uint32_t end) {
    const vm86::Regs &r = tavi_cpu.regs;
    uint32_t sp = r.ss == tavi_data_segment ? r.esp & 0xFFFF : tavi_stack_start;
    if (end < tavi_bss_end || sp < kBreakGap || end > sp - kBreakGap)
        return -ENOMEM;
    if (end > tavi_brk) {
        // Memory the break grows over reads as zero, as fresh memory does.
        uint8_t *fresh = guest_bytes(tavi_data_segment, tavi_brk, end - tavi_brk);
        if (fresh == nullptr)
            return -ENOMEM;
        std::memset(fresh, 0, end - tavi_brk);
    }
    tavi_brk = end;
    return 0;
}

void call_exit(int status) {
    std::fflush(nullptr);
    std::exit(status & 0xFF);
}

namespace {

pid_t own_pid = 0; // this process's host ID, once asked

} // namespace

int call_fork() {
    int r = fork_numbered();
    if (r == 0) {
        own_pid = 0;
        forget_program_signals();
    }
    return r;
}

int call_getpid(uint16_t &parent) {
    if (own_pid == 0)
        own_pid = getpid();
    int own = process_number(own_pid);
    int parent_number = process_number(getppid());
    if (own < 0 || parent_number < 0)
        return -EAGAIN;
    parent = static_cast<uint16_t>(parent_number);
    return own;
}

int call_wait(pid_t of, int options, int &status, struct rusage *usage) {
    pid_t pid = wait4(of, &status, options, usage);
    if (pid <= 0)
        return call_result(pid);
    int number = process_number(pid);
    if (WIFEXITED(status) || WIFSIGNALED(status))
        forget_process(pid);
    return number;
}

int call_kill(uint16_t process, int sig) {
    pid_t to = host_process(process);
    if (to == 0 && process != 0)
        return -ESRCH; // no process has that number
    return call_result(kill(to, sig));
}

// The caller may have set the alarm before longer than a result can say.
int call_alarm(unsigned seconds) {
    unsigned left = alarm(seconds);
    return left > 0x7FFF ? 0x7FFF : static_cast<int>(left);
}

// The signal is delivered as the call returns -EINTR. The caught signals
// are blocked while the runner looks whether one has come already, and
// sigsuspend opens them again only while it waits, so that none can come
// in between and be missed.
int call_pause() {
    sigset_t caught = program_caught_signals(), before;
    sigprocmask(SIG_BLOCK, &caught, &before);
    if (!program_signal_pending())
        sigsuspend(&before);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return -EINTR;
}

int call_lock(int fd, uint16_t command, uint16_t seg, uint16_t block) {
    constexpr uint16_t kGetLk = 5, kSetLk = 6;
    uint8_t *bytes = guest_bytes(seg, block, kFlockSize);
    if (bytes == nullptr)
        return -EFAULT;
    GuestLock lock = decode_flock(bytes);
    struct flock host {};
    host.l_type = lock.type;
    host.l_whence = lock.whence;
    host.l_start = lock.start;
    host.l_len = lock.length;
    int host_command = command == kGetLk ? F_GETLK : command == kSetLk ? F_SETLK : F_SETLKW;
    if (fcntl(fd, host_command, &host) < 0)
        return -errno;
    return command == kGetLk ? tell_lock(host, bytes) : 0;
}

} // namespace taviemu
