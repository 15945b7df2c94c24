// Characters in the text: where they start and end, and their display
// widths.
// Bytes that are not valid UTF-8 stay in the text as they are and show as
// their hexadecimal value.
#include "editor_core.h"

#include <cstring>
#include <cwchar>

namespace kwed {

namespace {

constexpr std::uint64_t ones = 0x0101010101010101u;
constexpr std::uint64_t highs = 0x8080808080808080u;

// Whether one of the eight bytes of w is below 0x20 or above 0x7e. A
// borrow or carry between bytes only comes from a byte that is itself
// such a byte, so the answer is exact.
constexpr bool oddword(std::uint64_t w) {
    return ((((w - ones * 0x20) & ~w) | (w + ones) | w) & highs) != 0;
}

const char *plainrun(const char *p, const char *e) {
    for (std::uint64_t w; e - p >= 8 && (std::memcpy(&w, p, 8), !oddword(w));)
        p += 8;
    while (p < e && *p >= 0x20 && *p < 0x7f)
        ++p;
    return p;
}

} // namespace

offset_t plainend(const text_buffer &buffer, offset_t from, offset_t to) {
    offset_t g = buffer.gap - buffer.buf;
    if (from < g) {
        offset_t e = to < g ? to : g;
        from = plainrun(buffer.buf + from, buffer.buf + e) - buffer.buf;
        if (from < e)
            return from;
    }
    if (from >= to)
        return from;
    const char *base = buffer.egap - g;
    return plainrun(base + from, base + to) - base;
}

int tabsize(const editor &ed) {
    std::uint32_t n = ed.settings.tabsize;
    return n >= 1 && n <= 32 ? static_cast<int>(n) : 8;
}

std::int32_t charat(const text_buffer &b, offset_t o, int *len) {
    unsigned char lead = byteat(b, o);
    *len = 1;
    if (lead < 0x80)
        return lead;
    unsigned char s[4];
    std::size_t n = 0;
    for (offset_t size = textsize(b); n < sizeof s && o + static_cast<offset_t>(n) < size; ++n)
        s[n] = byteat(b, o + static_cast<offset_t>(n));
    return decodeutf8(s, n, len);
}

offset_t nextchar(const text_buffer &b, offset_t o) {
    if (o >= textsize(b))
        return o;
    int len;
    charat(b, o, &len);
    return o + len;
}

offset_t prevchar(const text_buffer &b, offset_t o) {
    if (o <= 0)
        return 0;
    unsigned char s[4];
    offset_t from = o > 4 ? o - 4 : 0;
    copytext(b, from, static_cast<std::size_t>(o - from), reinterpret_cast<char *>(s));
    return from + static_cast<offset_t>(utf8back(s, static_cast<std::size_t>(o - from)));
}

namespace {

bool joinsat(const text_buffer &b, offset_t o) {
    int len;
    return combining(charat(b, o, &len));
}

} // namespace

offset_t nextcluster(const text_buffer &b, offset_t o) {
    offset_t size = textsize(b);
    if (o >= size || byteat(b, o) == '\n')
        return nextchar(b, o);
    offset_t n = nextchar(b, o);
    while (n < size && joinsat(b, n))
        n = nextchar(b, n);
    return n;
}

offset_t prevcluster(const text_buffer &b, offset_t o) {
    offset_t p = prevchar(b, o);
    while (p > 0 && joinsat(b, p)) {
        offset_t q = prevchar(b, p);
        if (byteat(b, q) == '\n')
            break;
        p = q;
    }
    return p;
}

bool combining(std::int32_t cp) {
    return cp >= 0x300 && ::wcwidth(static_cast<wchar_t>(cp)) == 0;
}

int glyphwidth(std::int32_t cp) {
    if (cp < 0)
        return 4; // an invalid byte shows as <HH>
    if (cp < 32 || cp == 127)
        return 2; // a control character shows as ^X
    if (cp < 127)
        return 1;
    int w = ::wcwidth(static_cast<wchar_t>(cp));
    return w < 0 ? 1 : w; // an unprintable character shows as '?'
}

int charwidth(const editor &ed, std::int32_t cp, int col) {
    if (cp == '\t') {
        int tab = tabsize(ed);
        return tab - col % tab;
    }
    return glyphwidth(cp);
}

} // namespace kwed
