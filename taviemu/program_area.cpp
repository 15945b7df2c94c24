// The program area: mapped once at start-up where the program expects it,
// and given back to the kernel's zero pages when another program replaces
// the one that ran there.
#include "tavi.h"

#include <cstring>
#include <sys/mman.h>

namespace taviemu {

uint8_t *map_area() {
    void *area = mmap(reinterpret_cast<void *>(uintptr_t{kAreaAddress}), kAreaSize,
                      PROT_READ | PROT_WRITE | PROT_EXEC,
                      MAP_PRIVATE | MAP_FIXED_NOREPLACE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED || reinterpret_cast<uintptr_t>(area) >= kAreaCeiling)
        return nullptr;
    return static_cast<uint8_t *>(area);
}

// Dropping the pages costs no write of its own, and a forked child's pages
// that it still shares with its parent are let go rather than copied. An
// area that is not a mapping of its own (a test's) is cleared by hand.
void clear_area() {
    if (madvise(tavi_base, kAreaSize, MADV_DONTNEED) != 0)
        std::memset(tavi_base, 0, kAreaSize);
}

} // namespace taviemu
