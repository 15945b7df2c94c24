// Feeds arbitrary terminal input after an Escape to the escape sequence
// reader: it must end within the bytes it may read and never read past
// them, whatever the bytes are.
#include "editor_core.h"

#include <curses.h>
#include <term.h>

#include <cstdint>
#include <cstdlib>

namespace {

const std::uint8_t *input;
std::size_t input_size;
std::size_t input_pos;

int more(void *, int) {
    return input_pos < input_size ? input[input_pos++] : -1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    int err = 0;
    // Key strings of a terminal with many of them, and some of no common form.
    setupterm("rxvt", -1, &err);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    input = data;
    input_size = size;
    input_pos = 0;
    unsigned char seq[32] = {27};
    int n = 1;
    int room = size > 0 ? 1 + data[0] % 32 : 32;
    int len = kwed::escapelength(seq, &n, room, more, nullptr);
    if (len < 1 || len > n || n > room)
        std::abort();
    return 0;
}
