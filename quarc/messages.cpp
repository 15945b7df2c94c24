#include "messages.h"

#include "control_chars.h"

#include <cstdio>

namespace quarc {
namespace {

void append_octal(std::string &out, unsigned char c) {
    const char escape[] = {'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)),
                           char('0' + (c & 7))};
    out.append(escape, sizeof escape);
}

} // namespace

bool archive_incomplete = false;

std::string quoted_name(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    while (!name.empty()) {
        const suite::text_char c = suite::next_char(name);
        for (std::size_t i = 0; i < c.length; ++i) {
            if (c.control)
                append_octal(out, static_cast<unsigned char>(name[i]));
            else if (name[i] == '\\')
                out += "\\\\";
            else
                out += name[i];
        }
        name.remove_prefix(c.length);
    }
    return out;
}

void report_incomplete(std::string_view name, const char *what) {
    std::fprintf(stderr, "quarc: %s: %s\n", quoted_name(name).c_str(), what);
    archive_incomplete = true;
}

} // namespace quarc
