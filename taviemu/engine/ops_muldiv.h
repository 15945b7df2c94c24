// Multiplication and division (F6/F7 reg 4 to 7, 69, 6B). Division by zero
// or a quotient too large raises exception 0 before anything changes.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "operands.h"

namespace vm86::engine {

// Sets CF and OF (the defined flags of a multiplication) and, as the chip
// leaves them, SF, ZF and PF from the low half of the product.
inline void mul_flags(Cpu &c, bool overflow, uint32_t low, unsigned top) {
    c.op = LZ_SZP;
    c.top = uint8_t(top);
    c.res = low;
    c.b = overflow ? CF | OF : 0;
}

inline void mul8(Cpu &c, uint8_t v) {
    uint16_t p = uint16_t(reg8(c, AX) * v);
    c.r[AX] = p;
    mul_flags(c, (p >> 8) != 0, p, 7);
}

inline void imul8(Cpu &c, uint8_t v) {
    int16_t p = int16_t(int8_t(reg8(c, AX)) * int8_t(v));
    c.r[AX] = uint16_t(p);
    mul_flags(c, p != int8_t(p), uint16_t(p), 7);
}

inline void mul16(Cpu &c, uint16_t v) {
    uint32_t p = uint32_t(c.r[AX]) * v;
    c.r[AX] = uint16_t(p);
    c.r[DX] = uint16_t(p >> 16);
    mul_flags(c, (p >> 16) != 0, p & 0xFFFF, 15);
}

inline void imul16(Cpu &c, uint16_t v) {
    int32_t p = int32_t(int16_t(c.r[AX])) * int16_t(v);
    c.r[AX] = uint16_t(p);
    c.r[DX] = uint16_t(uint32_t(p) >> 16);
    mul_flags(c, p != int16_t(p), uint32_t(p) & 0xFFFF, 15);
}

// The three-operand IMUL of 69 and 6B: reg = r/m * imm.
inline int imul_imm(Cpu &c, const Insn &in, uint16_t &) {
    int32_t p = int32_t(int16_t(read_rm<true>(c, in))) * int16_t(in.imm);
    mul_flags(c, p != int16_t(p), uint32_t(p) & 0xFFFF, 15);
    c.r[in.reg] = uint16_t(p);
    return go_on;
}

inline void div8(Cpu &c, uint8_t v) {
    uint16_t n = c.r[AX];
    if (v == 0 || n / v > 0xFF)
        raise_exception(0);
    c.r[AX] = uint16_t((n % v) << 8 | (n / v));
}

inline void idiv8(Cpu &c, uint8_t v) {
    int32_t n = int16_t(c.r[AX]);
    int32_t d = int8_t(v);
    if (d == 0)
        raise_exception(0);
    int32_t q = n / d, r = n % d;
    if (q > 127 || q < -128)
        raise_exception(0);
    c.r[AX] = uint16_t(uint8_t(r) << 8 | uint8_t(q));
}

inline void div16(Cpu &c, uint16_t v) {
    uint32_t n = uint32_t(c.r[DX]) << 16 | c.r[AX];
    if (v == 0 || n / v > 0xFFFF)
        raise_exception(0);
    c.r[AX] = uint16_t(n / v);
    c.r[DX] = uint16_t(n % v);
}

inline void idiv16(Cpu &c, uint16_t v) {
    int64_t n = int32_t(uint32_t(c.r[DX]) << 16 | c.r[AX]);
    int64_t d = int16_t(v);
    if (d == 0)
        raise_exception(0);
    int64_t q = n / d, r = n % d;
    if (q > 32767 || q < -32768)
        raise_exception(0);
    c.r[AX] = uint16_t(q);
    c.r[DX] = uint16_t(r);
}

// F6 and F7 with reg 4 to 7: Op8 or Op16 on the accumulator and r/m.
template <bool W, auto Op8, auto Op16>
VM86_HOT int accumulator_rm(Cpu &c, const Insn &in, uint16_t &) {
    if constexpr (W)
        Op16(c, read_rm<true>(c, in));
    else
        Op8(c, uint8_t(read_rm<false>(c, in)));
    return go_on;
}

template <bool W> constexpr Handler mul_rm = accumulator_rm<W, mul8, mul16>;
template <bool W> constexpr Handler imul_rm = accumulator_rm<W, imul8, imul16>;
template <bool W> constexpr Handler div_rm = accumulator_rm<W, div8, div16>;
template <bool W> constexpr Handler idiv_rm = accumulator_rm<W, idiv8, idiv16>;

} // namespace vm86::engine
