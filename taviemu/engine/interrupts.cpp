// Interrupt and exception entry.
#include "interrupts.h"

namespace vm86::engine {
namespace {

// The BIOS segment, whose interrupts the vm86 entry always hands back.
constexpr uint16_t bios_segment = 0xF000;

bool bit_set(const uint8_t *bits, unsigned n) {
    return (bits[n >> 3] >> (n & 7)) & 1;
}

// Interrupt entry pushes a byte at a time, so that a stack pointer of 1
// wraps within the segment instead of faulting again.
void push_wrapping(Cpu &c, uint16_t sp, uint16_t v) {
    write8(c, SS, sp, uint8_t(v));
    write8(c, SS, uint16_t(sp + 1), uint8_t(v >> 8));
}

} // namespace

bool enter_interrupt(Cpu &c, uint8_t n, uint16_t return_ip, uint16_t *new_ip) {
    if (!c.real_mode_flags) {
        if (bit_set(c.int_revectored, n))
            return false;
        if (n == 0x21 && bit_set(c.int21_revectored, reg8(c, 4)))
            return false;
        if (c.sreg[CS] == bios_segment)
            return false;
    }
    uint32_t i = uint32_t(n) * 4 - c.base;
    if (i >= c.size || c.size - i < 4)
        return false;
    const uint8_t *v = c.host + i;
    uint16_t offset = uint16_t(v[0] | v[1] << 8);
    uint16_t segment = uint16_t(v[2] | v[3] << 8);
    if (!c.real_mode_flags && segment == bios_segment)
        return false;
    uint16_t sp = c.r[SP];
    for (uint16_t k = 1; k <= 6; ++k) // all three words are there, or nothing is pushed
        host_at(c, c.sbase[SS] + uint16_t(sp - k), 1);
    push_wrapping(c, uint16_t(sp - 2), pushed_flags(c));
    push_wrapping(c, uint16_t(sp - 4), c.sreg[CS]);
    push_wrapping(c, uint16_t(sp - 6), return_ip);
    c.r[SP] = uint16_t(sp - 6);
    materialize(c);
    c.flags &= uint16_t(~(IF | TF));
    c.interrupt_entered = true;
    c.set_seg(CS, segment);
    *new_ip = offset;
    return true;
}

} // namespace vm86::engine
