#include "normpath.h"

namespace quarc {

std::size_t normpath(const char *src, std::span<char> dst) {
    std::size_t len = 0; // length of the normalised form, written or not
    auto put = [&](char c) {
        if (len + 1 < dst.size())
            dst[len] = c;
        ++len;
    };
    bool at_start = true; // the walk stands at the start of a component
    bool empty = true;    // nothing has been written yet
    for (const char *p = src; *p != '\0'; ++p) {
        char c = *p;
        if (at_start) {
            if (c == '/')
                continue;
            if (c == '.' && (p[1] == '/' || p[1] == '\0'))
                continue;
            if (!empty)
                put('/');
            at_start = false;
            empty = false;
        }
        if (c == '/')
            at_start = true;
        else
            put(c);
    }
    if (!dst.empty())
        dst[len < dst.size() ? len : dst.size() - 1] = '\0';
    return len;
}

} // namespace quarc
