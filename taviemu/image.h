// Opening a 16-bit executable to run it, and taking on the identity its
// set-user-ID and set-group-ID bits give: shared by start-up and execve.
// Installed set-user-ID root, the runner is a privilege boundary as the
// kernel's execve is, and checks what it runs as the kernel does.
#pragma once

#include <sys/stat.h>

namespace taviemu {

// The message, with the system's text for the error, when the identity
// cannot be taken on; the run ends with status 1.
constexpr const char kIdentityRefused[] = "taviemu: cannot take on the program's identity: %s\n";

// Whose rights a program's name is looked up and opened with: the caller's
// real IDs at start-up, the running program's effective IDs at its execve.
enum class Lookup { caller, program };

// Records, once at start-up before any identity is taken, whether the
// runner holds any privilege: more than one user or group ID, the
// superuser's, or a capability that changes identity or gets past the
// permissions of files. A runner that started without one keeps the
// caller's identity when it cannot take a program's.
void note_start_identity();

// Looks `path` up and opens it with the file-system identity `who` says,
// so that a name swapped meanwhile can only lead to what that identity may
// open; checks that it may execute it, then checks again on the open
// descriptor that it is a regular file it may execute, so that the file
// checked is the file run. On a file system mounted nosuid the set-ID bits
// of `status` are cleared. The open descriptor, or -errno (EACCES for
// anything but a regular file, as execve has it).
int open_image(const char *path, struct stat &status, Lookup who);

// Sets the effective group and user from the file's set-ID bits, keeping
// the real ones, and makes sure the runner then holds exactly that
// identity and no capability the program would not have. 0 on success.
// Otherwise -errno, with the runner's identity as it was when `intact`
// says so; a runner that started without privilege keeps the caller's own
// identity instead, gives up every capability it holds, and that is
// success.
int take_identity(const struct stat &status, bool &intact);

} // namespace taviemu
