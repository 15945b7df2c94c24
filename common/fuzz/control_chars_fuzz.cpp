// Walks arbitrary bytes character by character: every step takes 1 to 4
// bytes inside the text, a character of more than one byte is valid UTF-8,
// and printable ASCII is never a control.
#include "../control_chars.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    while (!text.empty()) {
        const suite::text_char c = suite::next_char(text);
        const auto first = static_cast<unsigned char>(text[0]);
        if (c.length < 1 || c.length > 4 || c.length > text.size())
            std::abort();
        if (c.length > 1 && (first < 0xc2 || first > 0xf4))
            std::abort();
        if (suite::is_plain_byte(first) && c.control)
            std::abort();
        text.remove_prefix(c.length);
    }
    return 0;
}
