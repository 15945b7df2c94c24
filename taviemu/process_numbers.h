// The program's own process numbers. A process ID reaches a 16-bit program
// as a word and comes back sign-extended, while a host's IDs may run far
// above 32767. So the program knows each process it can name (itself, its
// parent, its children) by a number from 1 to 32767 that this table gives
// it, and the runner turns the numbers back into the host's IDs.
#pragma once

#include <cstdint>
#include <sys/types.h>

namespace taviemu {

constexpr int kMaxProcessNumber = 32767;

// The number of host process `pid` (0 stays 0: a parent outside the PID
// namespace), given now if it has none; -EAGAIN when every number is taken.
int process_number(pid_t pid);

// A process argument of kill or waitpid, as the program passes it: a
// number, 0 (the caller's group), -1 (every process) or a negated number
// (that process's group). The host's value, or 0 after a number the
// program does not know.
pid_t host_process(uint16_t value);

// fork for the program: its child's number in the parent and 0 in the
// child, whose table then holds only itself (with the number its parent
// gave it) and its parent; or -errno.
int fork_numbered();

// Forgets a child that has been waited for: its number may be given again.
void forget_process(pid_t pid);

} // namespace taviemu
