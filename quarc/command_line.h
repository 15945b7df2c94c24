// The program: the command line, the exclude table, the member list and the
// end marker.
#pragma once

namespace quarc {

// Runs quarc with main's arguments and returns the exit status.
int run(int argc, char **argv);

} // namespace quarc
