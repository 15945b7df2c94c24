// Opening the mixer and the CD-ROM drive: both commands keep one descriptor
// per process and replace it on every open.
#pragma once

#include <tcl.h>

namespace sonarel {

// Closes the descriptor fd holds, if any, and opens path with flags into fd.
// On failure fd is -1 and the result names the path and the system's text
// for the error.
int reopen_device(Tcl_Interp *interp, int &fd, const char *path, int flags);

} // namespace sonarel
