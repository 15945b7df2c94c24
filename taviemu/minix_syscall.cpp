// Interrupt 0x20: the calls of Minix programs, as the Minix library makes
// them. Its trap routine puts the task in AX (0 the memory manager, 1 the
// file system), the offset of the 24-byte message in BX and the function
// in CX (3: send the request, then receive the reply into the same
// message). The call number is the message's type; the reply overwrites
// the message, with the result in the type field (a value, or minus a
// Minix errno) and second results in other fields. AX comes back 0, the
// status of the message exchange itself, which the library returns as
// the call's result when it is not 0; every other register is kept.
#include "minix_calls.h"
#include "minix_errno.h"
#include "tavi.h"

#include <algorithm>

namespace taviemu {

namespace {

constexpr uint16_t kMemoryManager = 0, kFileSystem = 1;
constexpr uint16_t kSend = 1, kReceive = 2, kBoth = 3;
// The failures of the exchange itself, Minix's numbers for them.
constexpr int16_t kBadDestination = -1; // a task other than the two servers
constexpr int16_t kBadBuffer = -5;      // a message outside the data segment
constexpr int16_t kNoPermission = -8;   // a send or a receive alone, a server's privilege
constexpr int16_t kBadFunction = -9;    // no such function

// The host stays the host's: the program may not mount or unmount.
int minix_not_permitted(MinixMessage &) {
    return -EPERM;
}

// Calls the runner does not offer: ptrace, and the Amoeba transactions.
int minix_unknown(MinixMessage &) {
    return -ENOSYS;
}

constexpr Reach M = Reach::memory, H = Reach::host;

constexpr MinixCallEntry kCalls[] = {
    {1, minix_exit, H},     {2, minix_fork, H},           {3, minix_read, H},
    {4, minix_write, H},    {5, minix_open, H},           {6, minix_close, H},
    {7, minix_wait, H},     {8, minix_creat, H},          {9, minix_link, H},
    {10, minix_unlink, H},  {12, minix_chdir, H},         {13, minix_time, M},
    {14, minix_mknod, H},   {15, minix_chmod, H},         {16, minix_chown, H},
    {17, minix_brk, M},     {18, minix_stat, M},          {19, minix_lseek, H},
    {20, minix_getpid, M},  {21, minix_not_permitted, M}, {22, minix_not_permitted, M},
    {23, minix_setuid, H},  {24, minix_getuid, M},        {25, minix_stime, H},
    {26, minix_unknown, M}, {27, minix_alarm, H},         {28, minix_fstat, M},
    {29, minix_pause, H},   {30, minix_utime, H},         {33, minix_access, M},
    {36, minix_sync, H},    {37, minix_kill, H},          {38, minix_rename, H},
    {39, minix_mkdir, H},   {40, minix_rmdir, H},         {41, minix_dup, H},
    {42, minix_pipe, H},    {43, minix_times, M},         {46, minix_setgid, H},
    {47, minix_getgid, M},  {48, minix_signal, H},        {54, minix_ioctl, H},
    {55, minix_fcntl, H},   {59, minix_exec, H},          {60, minix_umask, H},
    {61, minix_chroot, H},  {69, minix_unknown, M},
};

// Carries out the call in `m`: the reply's type, or kNoReply.
int serve(MinixMessage &m) {
    const MinixCallEntry *entry = find_minix_call(m.word(msg::m_type));
    int result = entry == nullptr ? -ENOSYS : entry->handler(m);
    if (result < 0 && result != kNoReply)
        return -minix_errno(-result);
    return result;
}

// The exchange: its status for AX.
int16_t exchange(const vm86::Regs &r) {
    uint16_t task = static_cast<uint16_t>(r.eax), function = static_cast<uint16_t>(r.ecx);
    if (function != kSend && function != kReceive && function != kBoth)
        return kBadFunction;
    if (task != kMemoryManager && task != kFileSystem)
        return kBadDestination;
    if (function != kBoth)
        return kNoPermission;
    uint8_t *message = guest_bytes(r.ds, static_cast<uint16_t>(r.ebx), kMinixMessageSize);
    if (message == nullptr)
        return kBadBuffer;
    MinixMessage m;
    std::copy_n(message, kMinixMessageSize, m.bytes.begin());
    m.ds = r.ds;
    int result = serve(m);
    if (result == kNoReply)
        return 0; // the message is another program's memory now
    m.set_word(msg::m_type, static_cast<uint16_t>(result));
    std::copy_n(m.bytes.begin(), kMinixMessageSize, message);
    return 0;
}

} // namespace

std::span<const MinixCallEntry> minix_calls() {
    return kCalls;
}

const MinixCallEntry *find_minix_call(uint16_t number) {
    return find_entry(minix_calls(), number);
}

void minix_syscall() {
    vm86::Regs &r = tavi_cpu.regs;
    int16_t status = exchange(r);
    r.eax = (r.eax & 0xFFFF0000) | static_cast<uint16_t>(status);
}

} // namespace taviemu
