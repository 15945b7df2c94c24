// Feeds arbitrary key texts to encode with the xterm description loaded.
#include "kwed.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <fcntl.h>
#include <unistd.h>

#include <term.h> // setupterm; last, for it defines many short macros

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    int err = 0;
    if (setupterm("xterm", open("/dev/null", O_WRONLY), &err) != OK)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    auto *text = static_cast<char *>(std::malloc(size + 1));
    if (text == nullptr)
        return 0;
    std::memcpy(text, data, size);
    text[size] = '\0';
    std::size_t before = std::strlen(text);
    if (char *result = kwed::encode(text)) {
        std::free(result);
    }
    // The walk may shorten the text (a closing parenthesis becomes NUL)
    // but never writes past it.
    if (std::strlen(text) > before)
        std::abort();
    std::free(text);
    return 0;
}
