#include "messages.h"

#include "control_chars.h"

#include <algorithm>
#include <cstdio>

namespace quarc {
namespace {

// Writes the escape of one byte: a backslash and three octal digits.
char *put_octal(char *out, unsigned char c) {
    *out++ = '\\';
    *out++ = char('0' + (c >> 6));
    *out++ = char('0' + ((c >> 3) & 7));
    *out++ = char('0' + (c & 7));
    return out;
}

// The most one byte of a name can take when quoted.
constexpr std::size_t kMaxQuotedByte = 4;

} // namespace

bool archive_incomplete = false;

std::string quoted_name(std::string_view name) {
    std::string quoted(name.size() * kMaxQuotedByte, '\0');
    char *out = quoted.data();
    while (!name.empty()) {
        const suite::text_char c = suite::next_char(name);
        for (std::size_t i = 0; i < c.length; ++i) {
            if (c.control)
                out = put_octal(out, static_cast<unsigned char>(name[i]));
            else if (name[i] == '\\')
                out = std::copy_n("\\\\", 2, out);
            else
                *out++ = name[i];
        }
        name.remove_prefix(c.length);
    }
    quoted.resize(std::size_t(out - quoted.data()));
    return quoted;
}

void report_incomplete(std::string_view name, const char *what) {
    std::fprintf(stderr, "quarc: %s: %s\n", quoted_name(name).c_str(), what);
    archive_incomplete = true;
}

} // namespace quarc
