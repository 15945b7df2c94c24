// Feeds arbitrary bytes to the stat-line parser: it must read only inside
// the text, and a parsed name must stay within its 15 significant bytes.
// The same bytes go to the status-file parser, which must read only inside
// the text and find an owner only where a "Uid:" line stands.
#include "brevic.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    brevic::ps_process process{};
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    if (brevic::parse_stat_line(line, process)) {
        if (process.comm[brevic::comm_length] != '\0')
            std::abort();
        if (size < brevic::min_stat_length || line.find(')') == std::string_view::npos)
            std::abort();
    }
    std::uint32_t euid;
    if (brevic::parse_status_uid(line, euid) && line.find("Uid:") == std::string_view::npos)
        std::abort();
    return 0;
}
