// Shifts and rotates (C0, C1, D0 to D3). The 286 takes the count modulo 32;
// a count of 0 changes nothing, flags included.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "ops_alu.h"

namespace vm86::engine {

// The ModRM reg field of the shift groups.
constexpr unsigned SH_ROL = 0, SH_ROR = 1, SH_RCL = 2, SH_RCR = 3, SH_SHL = 4, SH_SHR = 5,
                   SH_SAL = 6, SH_SAR = 7;

template <bool W> VM86_HOT uint16_t rotate(Cpu &c, unsigned kind, uint32_t v, unsigned count) {
    constexpr unsigned bits = W ? 16 : 8;
    constexpr uint32_t mask = width_mask<W>();
    bool cf = get_cf(c);
    uint32_t r = v;
    switch (kind) {
    case SH_ROL: {
        unsigned n = count % bits;
        r = ((v << n) | (v >> (bits - n))) & mask;
        cf = r & 1;
        break;
    }
    case SH_ROR: {
        unsigned n = count % bits;
        r = ((v >> n) | (v << (bits - n))) & mask;
        cf = (r >> (bits - 1)) & 1;
        break;
    }
    case SH_RCL:
        for (unsigned n = count % (bits + 1); n; --n) {
            bool out = (r >> (bits - 1)) & 1;
            r = ((r << 1) | cf) & mask;
            cf = out;
        }
        break;
    default: // SH_RCR
        for (unsigned n = count % (bits + 1); n; --n) {
            bool out = r & 1;
            r = (r >> 1) | (uint32_t(cf) << (bits - 1));
            cf = out;
        }
        break;
    }
    bool msb = (r >> (bits - 1)) & 1;
    bool of = (kind == SH_ROL || kind == SH_RCL) ? msb != cf : msb != bool((r >> (bits - 2)) & 1);
    set_cf_of(c, cf, of);
    return uint16_t(r);
}

template <bool W> VM86_HOT uint16_t shift(Cpu &c, unsigned kind, uint16_t v, unsigned count) {
    count &= 31;
    if (count == 0)
        return v;
    if (kind < SH_SHL)
        return rotate<W>(c, kind, v, count);
    constexpr unsigned bits = W ? 16 : 8;
    constexpr uint32_t mask = width_mask<W>();
    uint32_t r;
    bool cf, of;
    switch (kind) {
    case SH_SHR:
        cf = (uint32_t(v) >> (count - 1)) & 1;
        r = uint32_t(v) >> count;
        of = ((uint32_t(v) >> (count - 1)) >> (bits - 1)) & 1; // from the last single step
        break;
    case SH_SAR: {
        int32_t s = W ? int32_t(int16_t(v)) : int32_t(int8_t(v));
        cf = (s >> (count - 1)) & 1;
        r = uint32_t(s >> count) & mask;
        of = false;
        break;
    }
    default: { // SHL and its alias
        uint32_t wide = uint32_t(v) << count;
        cf = (wide >> bits) & 1;
        r = wide & mask;
        of = bool((r >> (bits - 1)) & 1) != cf;
        break;
    }
    }
    set_szp<W>(c, r, uint16_t((cf ? CF : 0) | (of ? OF : 0)));
    return uint16_t(r);
}

template <bool W> VM86_HOT void shift_rm(Cpu &c, const Insn &in, unsigned kind, unsigned count) {
    if (!in.mem) {
        set_reg<W>(c, in.rm, shift<W>(c, kind, get_reg<W>(c, in.rm), count));
        return;
    }
    uint16_t off = effective_offset(c, in);
    uint16_t v = read_mem<W>(c, in.seg, off);
    write_mem<W>(c, in.seg, off, shift<W>(c, kind, v, count));
}

// Where a shift group takes its count from.
enum class Count : uint8_t {
    imm, // C0, C1: the immediate byte
    one, // D0, D1: 1
    cl,  // D2, D3: CL
};

// The shift or rotate of ModRM reg (Kind) on r/m.
template <bool W, unsigned Kind, Count From>
VM86_HOT int shift_group(Cpu &c, const Insn &in, uint16_t &) {
    unsigned count = From == Count::imm ? in.imm : From == Count::one ? 1 : reg8(c, CX);
    shift_rm<W>(c, in, Kind, count);
    return go_on;
}

} // namespace vm86::engine
