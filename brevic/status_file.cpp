// Parses the text of /proc/<pid>/status for the one line the lister needs:
// "Uid:" and the real, effective, saved and file-system user IDs.
#include "brevic.h"

namespace brevic {
namespace {

constexpr std::string_view uid_label = "Uid:";

// Skips blanks, then reads a decimal number that fits 32 bits; advances
// `pos` past it.
bool read_id(std::string_view text, std::size_t &pos, std::uint32_t &id) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    const std::size_t start = pos;
    std::uint64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        if (value > 0xffffffffu)
            return false;
    }
    id = static_cast<std::uint32_t>(value);
    return pos != start;
}

// Where the line that begins with `label` starts, or npos.
std::size_t line_start(std::string_view text, std::string_view label) {
    for (std::size_t at = 0; at < text.size();) {
        if (std::string_view(text.data() + at, text.size() - at).starts_with(label))
            return at;
        const std::size_t newline = text.find('\n', at);
        if (newline == std::string_view::npos)
            break;
        at = newline + 1;
    }
    return std::string_view::npos;
}

} // namespace

bool parse_status_uid(std::string_view status, std::uint32_t &euid) {
    std::size_t pos = line_start(status, uid_label);
    if (pos == std::string_view::npos)
        return false;
    pos += uid_label.size();
    std::uint32_t real;
    return read_id(status, pos, real) && read_id(status, pos, euid);
}

} // namespace brevic
