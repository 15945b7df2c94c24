// The handlers of the tavi system's calls, by concern, and what they share.
// Each takes the call's registers and gives the result for AX: a value of
// 0..0x7FFF, or a negative errno. Pointers are checked before the host
// call, and results are written into the program's memory only after it
// succeeded.
#pragma once

#include "tavi_syscall.h"

#include <cerrno>

namespace taviemu {

// A descriptor, process number or other signed int argument, as the
// program's 16-bit int holds it.
inline int signed_arg(uint16_t word) {
    return static_cast<int16_t>(word);
}

// The calls that answer without doing anything.
int sys_not_permitted(const CallArgs &); // mount, umount, reboot: EPERM
int sys_unknown(const CallArgs &);       // calls the system lacks: ENOSYS

// Processes and identity (process_calls.cpp).
int sys_exit(const CallArgs &);
int sys_fork(const CallArgs &);
int sys_wait4(const CallArgs &);
int sys_getpid(const CallArgs &);
int sys_getuid(const CallArgs &);
int sys_getgid(const CallArgs &);
int sys_setuid(const CallArgs &);
int sys_setgid(const CallArgs &);
int sys_setsid(const CallArgs &);
int sys_nice(const CallArgs &);
int sys_kill(const CallArgs &);
int sys_brk(const CallArgs &);
int sys_times(const CallArgs &);
int sys_umask(const CallArgs &);
int sys_sync(const CallArgs &);

// Names in the file system (path_calls.cpp).
int sys_link(const CallArgs &);
int sys_unlink(const CallArgs &);
int sys_chdir(const CallArgs &);
int sys_mknod(const CallArgs &);
int sys_chmod(const CallArgs &);
int sys_chown(const CallArgs &);
int sys_stat(const CallArgs &);
int sys_lstat(const CallArgs &);
int sys_utime(const CallArgs &);
int sys_chroot(const CallArgs &);
int sys_access(const CallArgs &);
int sys_rename(const CallArgs &);
int sys_mkdir(const CallArgs &);
int sys_rmdir(const CallArgs &);
int sys_symlink(const CallArgs &);
int sys_readlink(const CallArgs &);

// Descriptors (descriptor_calls.cpp, fcntl_call.cpp, readdir_call.cpp).
int sys_read(const CallArgs &);
int sys_write(const CallArgs &);
int sys_open(const CallArgs &);
int sys_close(const CallArgs &);
int sys_lseek(const CallArgs &);
int sys_fstat(const CallArgs &);
int sys_fchown(const CallArgs &);
int sys_dup(const CallArgs &);
int sys_dup2(const CallArgs &);
int sys_pipe(const CallArgs &);
int sys_fcntl(const CallArgs &);
int sys_readdir(const CallArgs &);

// Terminals (terminal_calls.cpp).
int sys_ioctl(const CallArgs &);

// Time (time_calls.cpp).
int sys_gettimeofday(const CallArgs &);
int sys_settimeofday(const CallArgs &);
int sys_select(const CallArgs &);

// Signals (signal_calls.cpp).
int sys_signal(const CallArgs &);
int sys_alarm(const CallArgs &);
int sys_pause(const CallArgs &);

// Another program in this process (tavi_exec.cpp).
int sys_execve(const CallArgs &);

} // namespace taviemu
