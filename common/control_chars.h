// Control characters in text that comes from outside (process names, login
// records, file names): a terminal acts on them instead of showing them (a
// newline breaks a line, 0x1B and 0x9B begin escape sequences), so the tools
// show them in another form. The C0 controls and DEL are control characters,
// and so are the C1 controls, both as the raw bytes 0x80-0x9F that an 8-bit
// terminal takes and as the UTF-8 forms of U+0080..U+009F that a UTF-8
// terminal takes. Every other valid UTF-8 character is text.
#pragma once

#include <cstddef>
#include <string_view>

namespace suite {

struct text_char {
    std::size_t length; // 1 to 4 bytes
    bool control;
};

// The character at the start of `text`, which must not be empty: a whole
// UTF-8 character when a valid one starts there, otherwise the first byte
// alone (a byte 0x80-0x9F that is no part of a valid character is a C1
// control).
text_char next_char(std::string_view text);

// Whether a byte stands for itself in every case: printable ASCII.
constexpr bool is_plain_byte(unsigned char c) {
    return c >= 0x20 && c < 0x7f;
}

// Copies `text` to `out` with each control character as one '?' (other
// characters as they are); returns the end of what it wrote, which is at
// most text.size() bytes. `also`, a printable ASCII byte that means
// something where the text is shown (a field separator), shows as '?' too;
// the default, NUL, is a control character anyway.
char *mark_controls(char *out, std::string_view text, char also = '\0');

} // namespace suite
