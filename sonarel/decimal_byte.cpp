// Decimal words reduced to their low byte, as the mixer levels and track
// numbers take them.
#include "decimal_byte.h"

namespace sonarel {

namespace {

constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::uint8_t decimal_low_byte(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && is_blank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Arithmetic modulo 256 keeps exactly the low byte of the whole number.
    unsigned low = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        low = (low * 10 + static_cast<unsigned>(text[at] - '0')) & 0xffU;
    if (negative)
        low = (256U - low) & 0xffU;
    return static_cast<std::uint8_t>(low);
}

} // namespace sonarel
