// Which characters count as controls, at the edges of UTF-8.
#include "control_chars.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The text split into characters, each control shown as "^" and its length.
std::string classify(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const suite::text_char c = suite::next_char(text);
        out += c.control ? "^" + std::to_string(c.length) : std::string(text.substr(0, c.length));
        text.remove_prefix(c.length);
    }
    return out;
}

TEST(ControlChars, ControlsAndTextAtTheEdgesOfUtf8) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain ~text", "plain ~text"},
        {"\x1f\x20\x7e\x7f", "^1 ~^1"},
        {"\n\t\r\x1b[2J", "^1^1^1^1[2J"},
        {"\x9b\x80\x9f\xa0", "^1^1^1\xa0"},       // raw bytes: C1 up to 0x9F only
        {"\xc2\x80\xc2\x9b\xc2\x9f", "^2^2^2"},   // U+0080, U+009B, U+009F
        {"\xc2\xa0\xc3\xa9", "\xc2\xa0\xc3\xa9"}, // U+00A0 and e-acute are text
        {"\xe2\x82\xac", "\xe2\x82\xac"},         // the euro's 0x82 belongs to it
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"}, // four bytes
        {"\xc2", "\xc2"},                         // cut short: one byte, not a C1
        {"\xc2\x41", "\xc2\x41"},                 // not followed by a continuation
        {"\xc0\x9b", "\xc0^1"},                   // overlong: its 0x9B stands alone
        {"\xe0\x82\x9b", "\xe0^1^1"},             // overlong three-byte form
        {"\xed\xa0\x9b", "\xed\xa0^1"},           // a surrogate is no character
        {"\xf4\x90\x80\x80", "\xf4^1^1^1"},       // past U+10FFFF
        {"\xe2\x82", "\xe2^1"},                   // a three-byte form cut short
    };
    for (const auto &[text, want] : cases)
        EXPECT_EQ(classify(text), want) << testing::PrintToString(text);
}

} // namespace
