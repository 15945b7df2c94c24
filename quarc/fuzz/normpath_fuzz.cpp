// Feeds arbitrary paths to normpath and checks what every result must hold:
// no leading "/", no "//", no "." component, never longer than the input,
// unchanged by a second pass, and a cut-short result is a prefix of the whole.
#include "normpath.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

bool has_dot_component(std::string_view s) {
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t end = s.find('/', start);
        if (end == std::string_view::npos)
            end = s.size();
        if (s.substr(start, end - start) == ".")
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string src(reinterpret_cast<const char *>(data), size);
    src = src.c_str(); // a path ends at its first NUL

    std::string whole(src.size() + 1, '\0');
    std::size_t len = quarc::normpath(src.c_str(), whole);
    check(len == std::strlen(whole.c_str()));
    std::string_view out(whole.data(), len);
    check(len <= src.size());
    check(out.empty() || out.front() != '/');
    check(out.empty() || out.back() != '/');
    check(out.find("//") == std::string_view::npos);
    check(!has_dot_component(out));

    std::string again(len + 1, '\0');
    check(quarc::normpath(whole.c_str(), again) == len);
    check(std::string_view(again.data(), len) == out);

    // The archive's 100-byte buffer: never written past, always terminated,
    // and what fits is the start of the whole result.
    char name[101];
    name[100] = '\x5a';
    std::size_t cut = quarc::normpath(src.c_str(), std::span<char>(name, 100));
    check(cut == len);
    check(name[100] == '\x5a');
    std::size_t kept = std::strlen(name);
    check(kept == (len < 100 ? len : 99));
    check(out.substr(0, kept) == std::string_view(name, kept));
    return 0;
}
