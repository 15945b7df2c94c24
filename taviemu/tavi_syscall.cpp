// Interrupt 0x80: the tavi system's own calls. AX holds the call number, the
// arguments are in BX, CX, DX, DI and SI, pointers are offsets in DS, and
// the result goes back in AX (a negative errno on failure).
#include "tavi.h"
#include "tavi_calls.h"

#include <algorithm>

namespace taviemu {

namespace {

constexpr Reach M = Reach::memory, H = Reach::host;

constexpr CallEntry kCalls[] = {
    {1, sys_exit, H},           {2, sys_fork, H},           {3, sys_read, H},
    {4, sys_write, H},          {5, sys_open, H},           {6, sys_close, H},
    {7, sys_wait4, H},          {9, sys_link, H},           {10, sys_unlink, H},
    {11, sys_execve, H},        {12, sys_chdir, H},         {14, sys_mknod, H},
    {15, sys_chmod, H},         {16, sys_chown, H},         {17, sys_brk, M},
    {18, sys_stat, M},          {19, sys_lseek, H},         {20, sys_getpid, M},
    {21, sys_not_permitted, M}, {22, sys_not_permitted, M}, {23, sys_setuid, H},
    {24, sys_getuid, M},        {27, sys_alarm, H},         {28, sys_fstat, M},
    {29, sys_pause, H},         {30, sys_utime, H},         {31, sys_chroot, H},
    {32, sys_fork, H},          {33, sys_access, M},        {34, sys_nice, H},
    {36, sys_sync, H},          {37, sys_kill, H},          {38, sys_rename, H},
    {39, sys_mkdir, H},         {40, sys_rmdir, H},         {41, sys_dup, H},
    {42, sys_pipe, H},          {43, sys_times, M},         {45, sys_dup2, H},
    {46, sys_setgid, H},        {47, sys_getgid, M},        {48, sys_signal, H},
    {50, sys_fcntl, H},         {54, sys_ioctl, H},         {55, sys_not_permitted, M},
    {57, sys_lstat, M},         {58, sys_symlink, H},       {59, sys_readlink, M},
    {60, sys_umask, H},         {61, sys_settimeofday, H},  {62, sys_gettimeofday, M},
    {63, sys_select, H},        {64, sys_readdir, H},       {66, sys_fchown, H},
    {67, sys_unknown, M},       {68, sys_setsid, H},        {69, sys_unknown, M},
    {70, sys_unknown, M},       {71, sys_unknown, M},       {72, sys_unknown, M},
    {73, sys_unknown, M},       {74, sys_unknown, M},
};

} // namespace

// The host stays the host's: the program may not mount, unmount or reboot.
int sys_not_permitted(const CallArgs &) {
    return -EPERM;
}

// Sockets, dlload and knlvsn, whose meaning the library does not fix.
int sys_unknown(const CallArgs &) {
    return -ENOSYS;
}

std::span<const CallEntry> tavi_calls() {
    return kCalls;
}

const CallEntry *find_tavi_call(uint16_t number) {
    return find_entry(tavi_calls(), number);
}

int tavi_syscall() {
    const vm86::Regs &r = tavi_cpu.regs;
    const CallEntry *entry = find_tavi_call(static_cast<uint16_t>(r.eax));
    if (entry == nullptr)
        return -ENOSYS;
    const CallArgs args{r.ds,
                        static_cast<uint16_t>(r.ebx),
                        static_cast<uint16_t>(r.ecx),
                        static_cast<uint16_t>(r.edx),
                        static_cast<uint16_t>(r.edi),
                        static_cast<uint16_t>(r.esi)};
    return entry->handler(args);
}

} // namespace taviemu
