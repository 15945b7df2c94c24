// Key notation: turns a key as written in the run-control file into the
// bytes the terminal sends for it.
//
//   $(name)   the terminal's string capability `name` (bell if it lacks it)
//   \e \E \b \f \n \r \s \t   escape, backspace, form feed, newline, ...
//   \27 \033 \0x1b            a byte by number, decimal, octal or hex
//   \c        the character c itself
//   ^c        the control character of c; ^? is delete
#include "kwed.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <string_view>

namespace kwed {

namespace {

// Position n holds the character that follows a caret for control byte n.
constexpr std::string_view control = "@abcdefghijklmnopqrstuvwxyz[\\]^_";
constexpr std::string_view escmap = "eEbfnrst";
constexpr unsigned char escvalue[] = {27, 27, 8, 12, 10, 13, 32, 9};
static_assert(escmap.size() == sizeof escvalue);
static_assert(control.size() == 32);

constexpr unsigned char del = 127;

// Where the walk puts its bytes. Without a buffer it only counts them, so
// that the same walk sizes the result exactly before it is filled.
struct key_bytes {
    char *out = nullptr;
    std::size_t len = 0;

    void put(const char *s, std::size_t n) {
        if (out != nullptr)
            std::memcpy(out + len, s, n);
        len += n;
    }
    void put(unsigned char c) {
        char b = static_cast<char>(c);
        put(&b, 1);
    }
};

// The capability named from text[i] up to its closing parenthesis; null
// when the text breaks the notation or the name is not a string
// capability. `close` gets the position of the parenthesis.
const char *capability(char *text, std::size_t i, std::size_t &close) {
    if (text[i] != '(')
        return nullptr;
    char *end = std::strchr(text + i + 1, ')');
    if (end == nullptr || end == text + i + 1)
        return nullptr;
    close = static_cast<std::size_t>(end - text);
    *end = '\0';
    const char *cap = tigetstr(text + i + 1);
    if (cap == reinterpret_cast<const char *>(-1))
        return nullptr;
    return cap == nullptr ? "\a" : cap;
}

// \digits: a byte by number, read as far as its digits go. `i` moves past
// the digits.
bool number(const char *text, std::size_t &i, key_bytes &out) {
    char *end = nullptr;
    unsigned long value = std::strtoul(text + i, &end, 0);
    if (value > 255)
        return false;
    out.put(static_cast<unsigned char>(value));
    i = static_cast<std::size_t>(end - text);
    return true;
}

// The character after a backslash at text[i]; `i` moves past it.
bool escape(const char *text, std::size_t &i, key_bytes &out) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\0') {
        out.put('\\'); // a backslash that ends the text stands for itself
        return true;
    }
    if (std::isdigit(c))
        return number(text, i, out);
    std::size_t at = escmap.find(static_cast<char>(c));
    out.put(at == std::string_view::npos ? c : escvalue[at]);
    ++i;
    return true;
}

// The character after a caret at text[i]; `i` moves past it. An upper
// case letter is lowered in the text itself.
bool caret(char *text, std::size_t &i, key_bytes &out) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\0')
        return false;
    ++i;
    if (c == '?') {
        out.put(del);
        return true;
    }
    if (std::isupper(c)) {
        c = static_cast<unsigned char>(std::tolower(c));
        text[i - 1] = static_cast<char>(c);
    }
    std::size_t at = control.find(static_cast<char>(c));
    if (at == std::string_view::npos)
        return false;
    out.put(static_cast<unsigned char>(at));
    return true;
}

// One walk over the whole text. While sizing, every parenthesis that ends
// a capability name is put back, so the filling walk finds it again.
bool walk(char *text, key_bytes &out, bool sizing) {
    std::size_t i = 0;
    while (text[i] != '\0') {
        char c = text[i++];
        bool ok = true;
        if (c == '$') {
            std::size_t close = 0;
            const char *cap = capability(text, i, close);
            if (sizing && close != 0)
                text[close] = ')';
            if (cap == nullptr)
                return false;
            out.put(cap, std::strlen(cap));
            i = close + 1;
        } else if (c == '\\') {
            ok = escape(text, i, out);
        } else if (c == '^') {
            ok = caret(text, i, out);
        } else {
            out.put(static_cast<unsigned char>(c));
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

char *encode(char *text) {
    if (text == nullptr)
        return nullptr;
    // The first walk measures the result, capabilities expanded in full;
    // the second fills a buffer of exactly that size.
    key_bytes size;
    if (!walk(text, size, true))
        return nullptr;
    key_bytes fill;
    fill.out = static_cast<char *>(std::malloc(size.len + 1));
    if (fill.out == nullptr)
        return nullptr;
    if (!walk(text, fill, false) || fill.len != size.len) {
        std::free(fill.out);
        return nullptr;
    }
    fill.out[fill.len] = '\0';
    return fill.out;
}

} // namespace kwed
