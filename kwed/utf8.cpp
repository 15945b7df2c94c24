// Characters in the text: UTF-8 decoding, encoding and display widths.
// Bytes that are not valid UTF-8 stay in the text as they are and show as
// their hexadecimal value.
#include "editor_core.h"

#include <cwchar>

namespace kwed {

int tabsize() {
    std::uint32_t n = key_mode[2].lhs;
    return n >= 1 && n <= 32 ? static_cast<int>(n) : 8;
}

namespace {

// Length of the sequence a lead byte starts, 0 for a byte that starts none.
int seqlen(unsigned char b) {
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 0;
}

} // namespace

std::int32_t decodeutf8(const unsigned char *s, std::size_t n, int *len) {
    *len = 1;
    int need = n > 0 ? seqlen(s[0]) : 0;
    if (need == 1)
        return s[0];
    if (need == 0 || static_cast<std::size_t>(need) > n)
        return n > 0 ? -static_cast<std::int32_t>(s[0]) : 0;
    std::int32_t cp = s[0] & (0x3F >> (need - 1));
    for (int i = 1; i < need; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return -static_cast<std::int32_t>(s[0]);
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    static constexpr std::int32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[need] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return -static_cast<std::int32_t>(s[0]);
    *len = need;
    return cp;
}

std::int32_t charat(offset_t o, int *len) {
    unsigned char b = byteat(o);
    *len = 1;
    if (b < 0x80)
        return b;
    unsigned char s[4];
    std::size_t n = 0;
    for (offset_t size = textsize(); n < sizeof s && o + static_cast<offset_t>(n) < size; ++n)
        s[n] = byteat(o + static_cast<offset_t>(n));
    return decodeutf8(s, n, len);
}

offset_t nextchar(offset_t o) {
    if (o >= textsize())
        return o;
    int len;
    charat(o, &len);
    return o + len;
}

offset_t prevchar(offset_t o) {
    if (o <= 0)
        return 0;
    offset_t lead = o - 1;
    while (lead > 0 && o - lead < 4 && (byteat(lead) & 0xC0) == 0x80)
        --lead;
    int len;
    charat(lead, &len);
    return lead + len == o ? lead : o - 1;
}

int utf8encode(std::int32_t cp, char *out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

int charwidth(std::int32_t cp, int col) {
    if (cp == '\t')
        return tabsize() - col % tabsize();
    if (cp < 0)
        return 4; // an invalid byte shows as <HH>
    if (cp < 32 || cp == 127)
        return 2; // a control character shows as ^X
    if (cp < 127)
        return 1;
    int w = ::wcwidth(static_cast<wchar_t>(cp));
    return w < 0 ? 1 : w; // an unprintable character shows as '?'
}

} // namespace kwed
