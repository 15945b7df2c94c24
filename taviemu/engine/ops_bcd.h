// Decimal adjustment (DAA DAS AAA AAS AAM AAD) and SALC.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"

namespace vm86::engine {

inline uint16_t szp8(uint8_t v) {
    uint16_t f = parity_flag[v];
    if (v == 0)
        f |= ZF;
    if (v & 0x80)
        f |= SF;
    return f;
}

inline int daa(Cpu &c, const Insn &, uint16_t &) {
    uint16_t f = get_flags(c);
    uint8_t al = reg8(c, AX), old = al;
    bool cf = f & CF, af = false;
    if ((al & 0x0F) > 9 || (f & AF)) {
        cf = cf || al > 0xF9;
        al = uint8_t(al + 6);
        af = true;
    }
    if (old > 0x99 || (f & CF)) {
        al = uint8_t(al + 0x60);
        cf = true;
    }
    reg8(c, AX) = al;
    set_arith(c, uint16_t(szp8(al) | (cf ? CF : 0) | (af ? AF : 0)));
    return go_on;
}

inline int das(Cpu &c, const Insn &, uint16_t &) {
    uint16_t f = get_flags(c);
    uint8_t al = reg8(c, AX), old = al;
    bool cf = f & CF, af = false;
    if ((al & 0x0F) > 9 || (f & AF)) {
        cf = cf || al < 6;
        al = uint8_t(al - 6);
        af = true;
    }
    if (old > 0x99 || (f & CF)) {
        al = uint8_t(al - 0x60);
        cf = true;
    }
    reg8(c, AX) = al;
    set_arith(c, uint16_t(szp8(al) | (cf ? CF : 0) | (af ? AF : 0)));
    return go_on;
}

inline int aaa(Cpu &c, const Insn &, uint16_t &) {
    uint16_t f = get_flags(c);
    bool adjust = (reg8(c, AX) & 0x0F) > 9 || (f & AF);
    if (adjust)
        c.r[AX] = uint16_t(c.r[AX] + 0x106);
    reg8(c, AX) &= 0x0F;
    set_arith(c, uint16_t(szp8(reg8(c, AX)) | (adjust ? CF | AF : 0)));
    return go_on;
}

inline int aas(Cpu &c, const Insn &, uint16_t &) {
    uint16_t f = get_flags(c);
    bool adjust = (reg8(c, AX) & 0x0F) > 9 || (f & AF);
    if (adjust) {
        c.r[AX] = uint16_t(c.r[AX] - 6);
        reg8(c, 4) = uint8_t(reg8(c, 4) - 1); // AH
    }
    reg8(c, AX) &= 0x0F;
    set_arith(c, uint16_t(szp8(reg8(c, AX)) | (adjust ? CF | AF : 0)));
    return go_on;
}

// AAM and AAD divide and multiply by their immediate byte.
inline int aam(Cpu &c, const Insn &in, uint16_t &) {
    uint8_t base = uint8_t(in.imm);
    if (base == 0)
        raise_exception(0);
    uint8_t al = reg8(c, AX);
    reg8(c, 4) = uint8_t(al / base);
    reg8(c, AX) = uint8_t(al % base);
    set_arith(c, szp8(reg8(c, AX)));
    return go_on;
}

inline int aad(Cpu &c, const Insn &in, uint16_t &) {
    uint8_t base = uint8_t(in.imm);
    uint8_t al = uint8_t(reg8(c, AX) + reg8(c, 4) * base);
    c.r[AX] = al;
    set_arith(c, szp8(al));
    return go_on;
}

// SALC (D6): AL = CF ? FF : 00.
inline int salc(Cpu &c, const Insn &, uint16_t &) {
    reg8(c, AX) = get_cf(c) ? 0xFF : 0x00;
    return go_on;
}

} // namespace vm86::engine
