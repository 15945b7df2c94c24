// taviemu: runs a 16-bit executable of the tavi system in virtual-8086 mode.
// Start-up: check the command line and the file, take on the executable's
// identity, map the program area, load the program, build its stack, and
// enter the run loop, which the program leaves through an exit call.
#include "image.h"
#include "tavi.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace taviemu;

int main(int argc, char **argv, char **envp) {
    if (argc <= 1) {
        std::fputs("taviemu cmd args.....\n", stderr);
        return 1;
    }
    const char *path = argv[1];
    note_start_identity();
    struct stat status;
    int fd = open_image(path, status, Lookup::caller);
    if (fd < 0) {
        errno = -fd;
        std::perror(path);
        return 1;
    }
    bool intact = true;
    int taken = take_identity(status, intact);
    if (taken < 0) {
        std::fprintf(stderr, kIdentityRefused, std::strerror(-taken));
        return 1;
    }
    tavi_init();

    tavi_base = map_area();
    if (tavi_base == nullptr) {
        std::fputs("Tavi memory is at an illegal address\n", stderr);
        return 255;
    }
    tavi_linear = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tavi_base));

    int loaded = load_tavi(fd);
    if (loaded == kBadSegment)
        return 1; // load_tavi has said why
    if (loaded == kTooLarge) {
        std::fputs("Tavi binary too large for its segments.\n", stderr);
        return 1;
    }
    if (loaded < 0) {
        std::fputs("Not a tavi binary.\n", stderr);
        return 1;
    }
    close(fd);
    if (build_stack(argv + 1, envp) < 0) {
        std::fputs("Arguments and environment too large for tavi memory.\n", stderr);
        return 1;
    }
    for (;;)
        run_tavi();
}
