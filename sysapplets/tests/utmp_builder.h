// Builds raw 384-byte utmp records, little-endian, field by field, the way a
// 32-bit x86 C library lays them out.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace sysapplets_test {

struct UtmpFields {
    std::int16_t type = 0;
    std::int32_t pid = 0;
    std::string line, id, user, host; // cut to the field size, no zero byte added
    std::int16_t termination = 0, exit = 0;
    std::int32_t session = 0, tv_sec = 0, tv_usec = 0;
    std::array<std::uint32_t, 4> addr{};
};

inline void put_le(std::string &record, size_t at, std::uint32_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i)
        record[at + i] = char((value >> (8 * i)) & 0xff);
}

inline void put_text(std::string &record, size_t at, size_t size, std::string_view text) {
    std::memcpy(record.data() + at, text.data(), std::min(size, text.size()));
}

inline std::string utmp_record(const UtmpFields &f) {
    std::string record(384, '\0');
    put_le(record, 0, std::uint16_t(f.type), 2);
    put_le(record, 4, std::uint32_t(f.pid), 4);
    put_text(record, 8, 32, f.line);
    put_text(record, 40, 4, f.id);
    put_text(record, 44, 32, f.user);
    put_text(record, 76, 256, f.host);
    put_le(record, 332, std::uint16_t(f.termination), 2);
    put_le(record, 334, std::uint16_t(f.exit), 2);
    put_le(record, 336, std::uint32_t(f.session), 4);
    put_le(record, 340, std::uint32_t(f.tv_sec), 4);
    put_le(record, 344, std::uint32_t(f.tv_usec), 4);
    for (size_t i = 0; i < 4; ++i)
        put_le(record, 348 + 4 * i, f.addr[i], 4);
    return record;
}

// The address word of an IPv4 address given as its four bytes in network
// order, as it lies in the record read as a little-endian word.
inline std::uint32_t ipv4_word(unsigned a, unsigned b, unsigned c, unsigned d) {
    return std::uint32_t(a | b << 8 | c << 16 | d << 24);
}

} // namespace sysapplets_test
