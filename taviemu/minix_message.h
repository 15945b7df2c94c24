// The message of a Minix system call: 24 bytes in the program's data
// segment, the same for the request and the reply, which overwrites it.
// Words are 16 bits and longs 32, little-endian; pointers are offsets in
// DS. After the source and the type, the fields are laid out in one of the
// library's six layouts, which overlap.
#pragma once

#include "guest_memory.h"

#include <array>
#include <cstdint>

namespace taviemu {

constexpr uint32_t kMinixMessageSize = 24;

// Field offsets. m_type is the call number in the request and the result
// in the reply.
namespace msg {
constexpr uint32_t m_type = 2;
constexpr uint32_t m1_i1 = 4, m1_i2 = 6, m1_i3 = 8, m1_p1 = 10, m1_p2 = 12;
constexpr uint32_t m2_i1 = 4, m2_i2 = 6, m2_i3 = 8, m2_l1 = 10, m2_l2 = 14, m2_p1 = 18;
constexpr uint32_t m3_i2 = 6, m3_p1 = 8;
constexpr uint32_t m4_l1 = 4; // m4_l1 to m4_l4: four longs from here
constexpr uint32_t m6_i1 = 4, m6_f1 = 14;
} // namespace msg

// A call's message as the runner holds it: the request, read from the
// program's memory before the call, and the reply's fields as the call
// writes them; with the segment the message's pointers are offsets in.
struct MinixMessage {
    std::array<uint8_t, kMinixMessageSize> bytes{};
    uint16_t ds = 0;

    uint16_t word(uint32_t at) const { return get16(bytes.data() + at); }
    // A word the library fills from a C int: a descriptor, a count that
    // may be negative, a process number.
    int integer(uint32_t at) const { return static_cast<int16_t>(word(at)); }
    int32_t dword(uint32_t at) const { return static_cast<int32_t>(get32(bytes.data() + at)); }
    void set_word(uint32_t at, uint16_t value) { put16(bytes.data() + at, value); }
    void set_dword(uint32_t at, uint32_t value) { put32(bytes.data() + at, value); }
};

} // namespace taviemu
