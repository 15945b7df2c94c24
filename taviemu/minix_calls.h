// The handlers of the Minix calls, by concern, and what they share. Each
// takes the call's message, reads its request and writes the reply's
// fields, and gives the result for the reply's type: a value of 0..0x7FFF,
// or a negative host errno, which the translator turns into Minix's
// number. Pointers are checked before the host call.
#pragma once

#include "call_table.h"
#include "guest_memory.h"
#include "minix_message.h"
#include "minix_names.h"

#include <cerrno>
#include <climits>
#include <span>
#include <string>

namespace taviemu {

// The descriptors a Minix process has (OPEN_MAX): the library's stdio and
// popen keep tables of 20 indexed by descriptor.
constexpr int kMinixDescriptors = 20;
// The signals Minix has (_NSIG): the library's catcher looks a handler up
// in a table of 16.
constexpr int kMinixSignals = 16;
// The result of a call after which there is nothing to reply to: an exec
// that replaced the program.
constexpr int kNoReply = INT_MIN;

using MinixHandler = int (*)(MinixMessage &);

using MinixCallEntry = TableEntry<MinixHandler>;

// The calls, sorted by number.
std::span<const MinixCallEntry> minix_calls();
const MinixCallEntry *find_minix_call(uint16_t number);

// Whether the program may name descriptor fd: 0 to 19.
inline bool minix_descriptor(int fd) {
    return fd >= 0 && fd < kMinixDescriptors;
}

// Runs `call` on the name whose offset is the word at `at`, and once more
// on the whole name of a cut one (minix_names.h) when nothing was found.
template <typename Call> int on_name(const MinixMessage &m, uint32_t at, Call call) {
    const char *name = guest_string(m.ds, m.word(at));
    if (name == nullptr)
        return -EFAULT;
    int r = call(name);
    if (r != -ENOENT)
        return r;
    std::string whole = whole_name(name);
    return whole.empty() ? r : call(whole.c_str());
}

// The same with the two names of link and rename.
template <typename Call>
int on_names(const MinixMessage &m, uint32_t first, uint32_t second, Call call) {
    const char *from = guest_string(m.ds, m.word(first)), *to = guest_string(m.ds, m.word(second));
    if (from == nullptr || to == nullptr)
        return -EFAULT;
    int r = call(from, to);
    if (r != -ENOENT)
        return r;
    std::string whole_from = whole_name(from), whole_to = whole_name(to);
    if (whole_from.empty() && whole_to.empty())
        return r;
    return call(whole_from.empty() ? from : whole_from.c_str(),
                whole_to.empty() ? to : whole_to.c_str());
}

// Processes (minix_process_calls.cpp).
int minix_exit(MinixMessage &);
int minix_fork(MinixMessage &);
int minix_wait(MinixMessage &);
int minix_exec(MinixMessage &);
int minix_getpid(MinixMessage &);
int minix_getuid(MinixMessage &);
int minix_getgid(MinixMessage &);
int minix_setuid(MinixMessage &);
int minix_setgid(MinixMessage &);
int minix_brk(MinixMessage &);

// Signals and time (minix_signal_calls.cpp).
int minix_signal(MinixMessage &);
int minix_kill(MinixMessage &);
int minix_alarm(MinixMessage &);
int minix_pause(MinixMessage &);
int minix_time(MinixMessage &);
int minix_stime(MinixMessage &);
int minix_times(MinixMessage &);

// Descriptors (minix_file_calls.cpp).
int minix_read(MinixMessage &);
int minix_write(MinixMessage &);
int minix_open(MinixMessage &);
int minix_creat(MinixMessage &);
int minix_close(MinixMessage &);
int minix_lseek(MinixMessage &);
int minix_fstat(MinixMessage &);
int minix_dup(MinixMessage &);
int minix_pipe(MinixMessage &);
int minix_fcntl(MinixMessage &);

// Names in the file system (minix_path_calls.cpp).
int minix_link(MinixMessage &);
int minix_unlink(MinixMessage &);
int minix_chdir(MinixMessage &);
int minix_mknod(MinixMessage &);
int minix_chmod(MinixMessage &);
int minix_chown(MinixMessage &);
int minix_stat(MinixMessage &);
int minix_utime(MinixMessage &);
int minix_access(MinixMessage &);
int minix_rename(MinixMessage &);
int minix_mkdir(MinixMessage &);
int minix_rmdir(MinixMessage &);
int minix_chroot(MinixMessage &);
int minix_umask(MinixMessage &);
int minix_sync(MinixMessage &);

// Terminals (minix_terminal_calls.cpp).
int minix_ioctl(MinixMessage &);

} // namespace taviemu
