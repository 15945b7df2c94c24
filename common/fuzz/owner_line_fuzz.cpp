// Lines of /etc/passwd and /etc/group: whatever they hold, the name found is
// the first field of an entry for the number asked for, and lies inside the
// line.
#include "owner_db.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 4)
        return 0;
    unsigned id;
    std::memcpy(&id, data, 4);
    std::string_view text(reinterpret_cast<const char *>(data) + 4, size - 4);
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::size_t len = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(0, len);
        std::string_view name = suite::entry_name(line, id);
        if (!name.empty() && (name.data() != line.data() || name.size() >= line.size() ||
                              line[name.size()] != ':' || name.find(':') != name.npos))
            std::abort();
        text.remove_prefix(len);
    }
    return 0;
}
