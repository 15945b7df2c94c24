// Stack frames and transfers of control that need more than one line:
// PUSHA/POPA, ENTER/LEAVE, far calls and returns, IRET, BOUND. An
// instruction that writes several words checks them all first: when one
// of them would fault, SP and memory stay as they were, and the fault is
// reported at an instruction that has done nothing.
#pragma once

#include "cpu_state.h"
#include "decode.h"

namespace vm86::engine {

inline void pusha(Cpu &c) {
    check_pushes(c, 8);
    uint16_t sp = c.r[SP];
    for (unsigned n = AX; n <= DI; ++n)
        push16(c, n == SP ? sp : c.r[n]);
}

inline void popa(Cpu &c) {
    for (int n = DI; n >= AX; --n) {
        uint16_t v = pop16(c);
        if (n != SP)
            c.r[n] = v;
    }
}

// ENTER size, level: the 286 takes the level modulo 32.
inline void enter(Cpu &c, uint16_t size, uint8_t level) {
    level &= 31;
    check_pushes(c, level > 0 ? level + 1u : 1u);
    for (unsigned i = 1; i < level; ++i)
        check_word(c, SS, uint16_t(c.r[BP] - 2 * i)); // the frame pointers copied
    push16(c, c.r[BP]);
    uint16_t frame = c.r[SP];
    if (level > 0) {
        uint16_t bp = c.r[BP];
        for (unsigned i = 1; i < level; ++i) {
            bp = uint16_t(bp - 2);
            push16(c, read16(c, SS, bp));
        }
        push16(c, frame);
    }
    c.r[BP] = frame;
    c.r[SP] = uint16_t(c.r[SP] - size);
}

inline void leave(Cpu &c) {
    uint16_t bp = read16(c, SS, c.r[BP]);
    c.r[SP] = uint16_t(c.r[BP] + 2);
    c.r[BP] = bp;
}

// Pushes CS and the return address, then loads CS; returns the new IP.
inline uint16_t call_far(Cpu &c, uint16_t segment, uint16_t offset, uint16_t return_ip) {
    check_pushes(c, 2);
    push16(c, c.sreg[CS]);
    push16(c, return_ip);
    c.set_seg(CS, segment);
    return offset;
}

// RETF with `release` bytes of arguments; returns the new IP.
inline uint16_t return_far(Cpu &c, uint16_t release) {
    uint16_t sp = c.r[SP];
    uint16_t ip = read16(c, SS, sp);
    uint16_t cs = read16(c, SS, uint16_t(sp + 2));
    c.r[SP] = uint16_t(sp + 4 + release);
    c.set_seg(CS, cs);
    return ip;
}

inline uint16_t iret(Cpu &c) {
    uint16_t sp = c.r[SP];
    uint16_t ip = read16(c, SS, sp);
    uint16_t cs = read16(c, SS, uint16_t(sp + 2));
    uint16_t flags = read16(c, SS, uint16_t(sp + 4));
    c.r[SP] = uint16_t(sp + 6);
    c.set_seg(CS, cs);
    load_flags(c, flags);
    return ip;
}

// Loads a far pointer (offset, then segment) from the memory operand. The
// four bytes are one operand: when its last byte lies past offset FFFF the
// 286 raises exception 13 rather than wrap to offset 0.
inline void load_far_pointer(Cpu &c, const Insn &in, uint16_t &offset, uint16_t &segment) {
    uint16_t off = effective_offset(c, in);
    if (off > 0xFFFC)
        raise_exception(13);
    offset = read16(c, in.seg, off);
    segment = read16(c, in.seg, uint16_t(off + 2));
}

inline void bound(Cpu &c, const Insn &in) {
    uint16_t lo, hi;
    load_far_pointer(c, in, lo, hi);
    int16_t v = int16_t(c.r[in.reg]);
    if (v < int16_t(lo) || v > int16_t(hi))
        raise_exception(5);
}

} // namespace vm86::engine
