// quarc: writes a tar archive of the named files and directory trees to
// standard output.
#include "command_line.h"

int main(int argc, char **argv) {
    return quarc::run(argc, argv);
}
