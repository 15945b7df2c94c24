// Checked access to the program's memory for the translators.
#include "guest_memory.h"
#include "tavi.h"

#include <cstring>

namespace taviemu {

uint8_t *guest_bytes(uint16_t seg, uint32_t off, uint32_t len) {
    if (tavi_base == nullptr || off > kSegmentSize || len > kSegmentSize - off)
        return nullptr;
    uint32_t linear = static_cast<uint32_t>(seg) * 16 + off;
    if (linear < tavi_linear || linear - tavi_linear > kAreaSize ||
        len > kAreaSize - (linear - tavi_linear))
        return nullptr;
    return tavi_base + (linear - tavi_linear);
}

const char *guest_string(uint16_t seg, uint16_t off) {
    // The string may run to the end of the segment or of the area,
    // whichever comes first; its NUL must come before that.
    uint32_t room = kSegmentSize - off;
    uint32_t linear = static_cast<uint32_t>(seg) * 16 + off;
    if (linear < tavi_linear || linear - tavi_linear >= kAreaSize)
        return nullptr;
    if (room > kAreaSize - (linear - tavi_linear))
        room = kAreaSize - (linear - tavi_linear);
    const uint8_t *start = guest_bytes(seg, off, room);
    if (start == nullptr || std::memchr(start, 0, room) == nullptr)
        return nullptr;
    return reinterpret_cast<const char *>(start);
}

bool optional_bytes(uint16_t seg, uint16_t off, uint32_t len, uint8_t *&bytes) {
    bytes = off == 0 ? nullptr : guest_bytes(seg, off, len);
    return off == 0 || bytes != nullptr;
}

} // namespace taviemu
