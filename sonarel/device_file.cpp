// The descriptor of a device the commands keep open, replaced on each open.
#include "device_file.h"

#include "result_text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace sonarel {

int reopen_device(Tcl_Interp *interp, int &fd, const char *path, int flags) {
    if (fd >= 0)
        close(fd);
    fd = open(path, flags);
    if (fd < 0) {
        const int error = errno;
        fd = -1;
        set_result(interp, "Can't open %s: %s", path, std::strerror(error));
        return TCL_ERROR;
    }
    return TCL_OK;
}

} // namespace sonarel
