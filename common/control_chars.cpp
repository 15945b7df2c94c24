#include "control_chars.h"

#include <algorithm>
#include <cstdint>

namespace suite {
namespace {

// The well-formed UTF-8 sequences by their first byte: how long they are and
// which values their second byte may take (the later bytes are 0x80-0xBF).
// The narrower second-byte ranges shut out overlong forms, surrogates and
// values past U+10FFFF.
struct utf8_form {
    std::uint8_t first_low, first_high;
    std::uint8_t length;
    std::uint8_t second_low, second_high;
};

constexpr utf8_form utf8_forms[] = {
    {0xc2, 0xdf, 2, 0x80, 0xbf}, {0xe0, 0xe0, 3, 0xa0, 0xbf}, {0xe1, 0xec, 3, 0x80, 0xbf},
    {0xed, 0xed, 3, 0x80, 0x9f}, {0xee, 0xef, 3, 0x80, 0xbf}, {0xf0, 0xf0, 4, 0x90, 0xbf},
    {0xf1, 0xf3, 4, 0x80, 0xbf}, {0xf4, 0xf4, 4, 0x80, 0x8f},
};

bool in_range(unsigned char c, unsigned low, unsigned high) {
    return c >= low && c <= high;
}

// The length of the valid character that `text` begins with, or 0.
std::size_t utf8_length(std::string_view text) {
    const auto first = static_cast<unsigned char>(text[0]);
    for (const utf8_form &form : utf8_forms) {
        if (!in_range(first, form.first_low, form.first_high))
            continue;
        if (text.size() < form.length ||
            !in_range(static_cast<unsigned char>(text[1]), form.second_low, form.second_high))
            return 0;
        for (std::size_t i = 2; i < form.length; ++i)
            if (!in_range(static_cast<unsigned char>(text[i]), 0x80, 0xbf))
                return 0;
        return form.length;
    }
    return 0;
}

} // namespace

text_char next_char(std::string_view text) {
    const auto first = static_cast<unsigned char>(text[0]);
    if (first < 0x80)
        return {1, !is_plain_byte(first)};
    if (const std::size_t length = utf8_length(text)) {
        // U+0080..U+009F are written C2 80..C2 9F.
        const bool c1 = first == 0xc2 && static_cast<unsigned char>(text[1]) <= 0x9f;
        return {length, c1};
    }
    return {1, first <= 0x9f};
}

char *mark_controls(char *out, std::string_view text, char also) {
    while (!text.empty()) {
        // Printable ASCII, nearly all of most texts, goes in runs.
        std::size_t plain = 0;
        while (plain < text.size() && is_plain_byte(static_cast<unsigned char>(text[plain])) &&
               text[plain] != also)
            ++plain;
        out = std::copy_n(text.data(), plain, out);
        text.remove_prefix(plain);
        if (text.empty())
            break;
        const text_char c = next_char(text);
        if (c.control || text[0] == also)
            *out++ = '?';
        else
            out = std::copy_n(text.data(), c.length, out);
        text.remove_prefix(c.length);
    }
    return out;
}

} // namespace suite
