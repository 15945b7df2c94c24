// Finding text with the search options: forward or backward, and with
// letters matched in either case. Case is folded by code point, so that
// an upper-case letter of any script matches its lower-case form even
// where the two take a different number of bytes.
#include "editor_core.h"

#include <cwctype>

namespace kwed {

namespace {

std::int32_t fold(std::int32_t cp) {
    if (cp < 0)
        return cp; // a byte that is no character matches only itself
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + ('a' - 'A') : cp;
    return static_cast<std::int32_t>(std::towlower(static_cast<wint_t>(cp)));
}

// Whether a match may start at o, judged by its first byte: most bytes
// are ASCII and tell at once; a continuation byte starts no character.
bool maystart(const text_buffer &buf, offset_t o, std::int32_t first) {
    unsigned char b = byteat(buf, o);
    if (b < 0x80)
        return fold(b) == first;
    return first < 0 || !utf8continuation(b);
}

} // namespace

offset_t matchat(const text_buffer &buf, offset_t o, std::string_view pat, bool nocase) {
    offset_t size = textsize(buf);
    const auto *p = reinterpret_cast<const unsigned char *>(pat.data());
    std::size_t n = pat.size();
    if (!nocase) {
        if (o + static_cast<offset_t>(n) > size)
            return -1;
        for (std::size_t i = 0; i < n; ++i)
            if (byteat(buf, o + static_cast<offset_t>(i)) != p[i])
                return -1;
        return o + static_cast<offset_t>(n);
    }
    while (n > 0) {
        if (o >= size)
            return -1;
        int plen, tlen;
        std::int32_t want = decodeutf8(p, n, &plen);
        if (fold(charat(buf, o, &tlen)) != fold(want))
            return -1;
        p += plen;
        n -= static_cast<std::size_t>(plen);
        o += tlen;
    }
    return o;
}

offset_t findmatch(const text_buffer &buf, offset_t from, std::string_view pat, search_options opt,
                   offset_t *end) {
    if (pat.empty())
        return -1;
    offset_t size = textsize(buf);
    offset_t at = -1;
    int len;
    std::int32_t first =
        decodeutf8(reinterpret_cast<const unsigned char *>(pat.data()), pat.size(), &len);
    if (opt.nocase)
        first = fold(first);
    else
        first = static_cast<unsigned char>(pat[0]);
    auto found = [&](offset_t o) {
        bool start = opt.nocase ? maystart(buf, o, first) : byteat(buf, o) == first;
        return start && matchat(buf, o, pat, opt.nocase) >= 0;
    };
    if (!opt.backward && !opt.nocase) {
        at = findtext(buf, from, pat);
    } else if (!opt.backward) {
        for (offset_t o = from < 0 ? 0 : from; o < size && at < 0; ++o)
            if (found(o))
                at = o;
    } else {
        for (offset_t o = (from > size ? size : from) - 1; o >= 0 && at < 0; --o)
            if (found(o))
                at = o;
    }
    if (at >= 0)
        *end = matchat(buf, at, pat, opt.nocase);
    return at;
}

} // namespace kwed
