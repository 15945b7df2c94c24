// Preloaded into taviemu by a test: takes the page at 0x10000 before main
// runs, so that the runner finds the place of its program area in use.
#include <sys/mman.h>

namespace {

__attribute__((constructor)) void occupy_area() {
    mmap(reinterpret_cast<void *>(0x10000), 4096, PROT_READ,
         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
}

} // namespace
