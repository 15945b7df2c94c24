// Small string routines for the editor core.
#include "kwed.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace kwed {

char *strlwr(char *s) {
    for (char *p = s; *p != '\0'; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (std::isupper(c))
            *p = static_cast<char>(std::tolower(c));
    }
    return s;
}

char *strdup(const char *s) {
    std::size_t size = std::strlen(s) + 1;
    auto *copy = static_cast<char *>(std::malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, s, size);
    return copy;
}

char *strrep(char *s, int from, int to, int n) {
    const char old_char = static_cast<char>(from);
    const char new_char = static_cast<char>(to);
    std::size_t len = std::strlen(s);
    if (n >= 0) {
        int seen = 0;
        for (std::size_t i = 0; i < len; ++i) {
            if (s[i] != old_char)
                continue;
            if (n == 0) {
                s[i] = new_char;
            } else if (++seen == n) {
                s[i] = new_char;
                break;
            }
        }
        return s;
    }
    // Negative: -1 is the last occurrence, -2 the one before it.
    int seen = 0;
    for (std::size_t i = len; i > 0; --i) {
        if (s[i - 1] == old_char && --seen == n) {
            s[i - 1] = new_char;
            break;
        }
    }
    return s;
}

} // namespace kwed
