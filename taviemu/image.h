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

// Checks that the real user may execute `path`, opens it for reading, then
// checks again on the open descriptor that it is a regular file the real
// user may execute, so that the file checked is the file run. On a file system mounted nosuid the
// set-ID bits of `status` are cleared. The open descriptor, or -errno (EACCES for anything but a
// regular file, as execve has it).
int open_image(const char *path, struct stat &status);
// Sets the effective group and user from the file's set-ID bits, keeping the
// real ones, and reads them back: 0 when the runner now holds exactly that
// identity, or, if it started without any privilege, still the caller's
// own; otherwise -errno.
int take_identity(const struct stat &status);

} // namespace taviemu
