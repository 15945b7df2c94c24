// The program's memory as the translators reach it: a 16-bit address
// seg:off is linear address seg * 16 + off, which must lie inside the area.
#pragma once

#include <cstdint>

namespace taviemu {

// The bytes seg:off .. seg:off+len-1, or nullptr when any of them lies past
// the end of the segment or outside the area.
uint8_t *guest_bytes(uint16_t seg, uint32_t off, uint32_t len);
// The NUL-terminated string at seg:off, or nullptr when its end is not
// inside both the segment and the area.
const char *guest_string(uint16_t seg, uint16_t off);
// A pointer argument that the program may leave null (offset 0): true with
// `bytes` nullptr when it is null, true with the checked bytes when they
// lie inside, false (EFAULT) when they do not.
bool optional_bytes(uint16_t seg, uint16_t off, uint32_t len, uint8_t *&bytes);

inline uint16_t get16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t get32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void put16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t *p, uint32_t v) {
    put16(p, static_cast<uint16_t>(v));
    put16(p + 2, static_cast<uint16_t>(v >> 16));
}

} // namespace taviemu
