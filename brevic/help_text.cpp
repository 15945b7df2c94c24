// The help text shown for every rejected command line.
#include "brevic.h"

namespace brevic {

const char help_text[] = "-C   select by command name (brevic ps only accepts one)\n"
                         "-p   select by process ID (brevic ps only accepts one)\n"
                         "-A   all processes (same as ax)\n"
                         "-e   all processes (same as ax)\n"
                         "a    all processes w/ tty, including other users\n"
                         "x    processes w/o controlling ttys\n"
                         "-f   full format\n"
                         "-j,j job control format\n"
                         "v    virtual memory format\n"
                         "-l,l long format\n"
                         "u    user-oriented format\n"
                         "-o   user-defined format (limited support, only \"ps -o pid=\")\n"
                         "h    no header\n"
                         "c    true command name\n"
                         "-w,w wide output\n";

} // namespace brevic
