// UTF-8 decoding and encoding.
#include "utf8.h"

namespace kwed {

int utf8length(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

std::int32_t decodeutf8(const unsigned char *s, std::size_t n, int *len) {
    *len = 1;
    int need = n > 0 ? utf8length(s[0]) : 0;
    if (need == 1)
        return s[0];
    if (need == 0 || static_cast<std::size_t>(need) > n)
        return n > 0 ? -static_cast<std::int32_t>(s[0]) : 0;
    std::int32_t cp = s[0] & (0x3F >> (need - 1));
    for (int i = 1; i < need; ++i) {
        if (!utf8continuation(s[i]))
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

int utf8encode(std::int32_t cp, char *out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    int n = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    static constexpr unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int i = n - 1; i > 0; --i, cp >>= 6)
        out[i] = static_cast<char>(0x80 | (cp & 0x3F));
    out[0] = static_cast<char>(leads[n] | cp);
    return n;
}

namespace {

// The last byte before s[n] that is no continuation byte, looking back
// at most three bytes (the most a character has after its lead).
std::size_t leadbefore(const unsigned char *s, std::size_t n) {
    std::size_t lead = n - 1;
    while (lead > 0 && n - lead < 4 && utf8continuation(s[lead]))
        --lead;
    return lead;
}

} // namespace

std::size_t utf8back(const unsigned char *s, std::size_t n) {
    if (n == 0)
        return 0;
    std::size_t lead = leadbefore(s, n);
    int len;
    decodeutf8(s + lead, n - lead, &len);
    return lead + static_cast<std::size_t>(len) == n ? lead : n - 1;
}

std::size_t utf8whole(const unsigned char *s, std::size_t n) {
    if (n == 0)
        return 0;
    std::size_t lead = leadbefore(s, n);
    int need = utf8length(s[lead]);
    return need > 1 && static_cast<std::size_t>(need) > n - lead ? lead : n;
}

} // namespace kwed
