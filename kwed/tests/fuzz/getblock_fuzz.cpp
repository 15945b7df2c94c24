// Feeds arbitrary bytes to getblock as a stream and checks the shape of
// every block: newline, then NUL, at the size it reports.
#include "kwed.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // fmemopen wants a buffer of at least one byte.
    char one = 0;
    void *buf = size == 0 ? static_cast<void *>(&one) : const_cast<std::uint8_t *>(data);
    std::FILE *fp = fmemopen(buf, size == 0 ? 1 : size, "r");
    if (fp == nullptr)
        return 0;
    if (size == 0)
        std::fgetc(fp); // consume the stand-in byte
    std::size_t total = 0;
    for (;;) {
        char *block = nullptr;
        int n = kwed::getblock(fp, &block);
        if (n < 0) {
            if (block != nullptr || n == kwed::gb_nomem)
                std::abort();
            break;
        }
        if (n < 2 || block[n - 1] != '\0' || block[n - 2] != '\n')
            std::abort();
        if (std::memchr(block, '\n', static_cast<std::size_t>(n) - 2) != nullptr)
            std::abort(); // a block holds exactly one line
        total += static_cast<std::size_t>(n) - 1;
        std::free(block);
    }
    // Joins only ever remove bytes; a newline may be added at the end.
    if (total > size + 1)
        std::abort();
    std::fclose(fp);
    return 0;
}
