#include "owner_db.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#ifndef SUITE_OWNERS_FROM_FILES
#include <grp.h>
#include <pwd.h>
#endif

namespace suite {
namespace {

int copy_name(std::string_view name, std::span<char> out) {
    std::size_t n = name.size() < out.size() ? name.size() : out.size();
    if (n > 0)
        std::memcpy(out.data(), name.data(), n);
    return int(n);
}

// The next colon-separated field of `line`, taken off its front. (No
// substr: it may throw, and the tools do without the C++ runtime.)
std::string_view next_field(std::string_view &line) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        colon = line.size();
    std::string_view field(line.data(), colon);
    line.remove_prefix(colon < line.size() ? colon + 1 : colon);
    return field;
}

// Whether `text` is a decimal number equal to `id`.
bool is_number(std::string_view text, unsigned id) {
    if (text.empty())
        return false;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
        if (value > 0xffffffffULL)
            return false;
    }
    return value == id;
}

} // namespace

std::string_view entry_name(std::string_view line, unsigned id) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#')
        return {};
    std::string_view name = next_field(line);
    next_field(line); // the password
    return is_number(next_field(line), id) ? name : std::string_view();
}

int name_in_file(const char *file, unsigned id, std::span<char> out) {
    std::FILE *f = std::fopen(file, "re");
    if (f == nullptr)
        return -1;
    int found = -1;
    char *line = nullptr;
    std::size_t capacity = 0;
    ssize_t len;
    while (found < 0 && (len = getline(&line, &capacity, f)) > 0) {
        std::string_view name = entry_name(std::string_view(line, std::size_t(len)), id);
        if (!name.empty())
            found = copy_name(name, out);
    }
    std::free(line);
    std::fclose(f);
    return found;
}

#ifdef SUITE_OWNERS_FROM_FILES

int user_name(unsigned id, std::span<char> out) {
    return name_in_file("/etc/passwd", id, out);
}

int group_name(unsigned id, std::span<char> out) {
    return name_in_file("/etc/group", id, out);
}

#else

int user_name(unsigned id, std::span<char> out) {
    const passwd *pw = getpwuid(id);
    return pw != nullptr ? copy_name(pw->pw_name, out) : -1;
}

int group_name(unsigned id, std::span<char> out) {
    const group *gr = getgrgid(id);
    return gr != nullptr ? copy_name(gr->gr_name, out) : -1;
}

#endif

} // namespace suite
