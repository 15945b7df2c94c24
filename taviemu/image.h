// Opening a 16-bit executable to run it, and taking on the identity its
// set-user-ID and set-group-ID bits give: shared by start-up and execve.
#pragma once

#include <sys/stat.h>

namespace taviemu {

// Checks that the real user may execute `path`, opens it for reading and
// examines it. The open descriptor, or -errno.
int open_image(const char *path, struct stat &status);
// Sets the effective group and user from the file's set-ID bits, keeping the
// real ones; a call the runner lacks the privilege for changes nothing.
void take_identity(const struct stat &status);

} // namespace taviemu
