// String instructions (MOVS CMPS STOS LODS SCAS) with their REP prefixes.
// The source may take a segment override; the destination is always ES:DI.
// A fault part-way leaves SI, DI and CX where the repetition stood, so the
// instruction can start again.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "ops_alu.h"

namespace vm86::engine {

template <bool W> inline uint16_t string_step(const Cpu &c) {
    constexpr uint16_t n = W ? 2 : 1;
    return (c.flags & DF) ? uint16_t(-n) : n;
}

template <bool W> inline void movs(Cpu &c, const Insn &in) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        write_mem<W>(c, ES, c.r[DI], read_mem<W>(c, in.seg, c.r[SI]));
        c.r[SI] = uint16_t(c.r[SI] + d);
        c.r[DI] = uint16_t(c.r[DI] + d);
    };
    if (!in.rep)
        return once();
    for (; c.r[CX]; --c.r[CX])
        once();
}

template <bool W> inline void stos(Cpu &c, const Insn &in) {
    uint16_t d = string_step<W>(c);
    uint16_t v = get_reg<W>(c, AX);
    if (!in.rep) {
        write_mem<W>(c, ES, c.r[DI], v);
        c.r[DI] = uint16_t(c.r[DI] + d);
        return;
    }
    for (; c.r[CX]; --c.r[CX]) {
        write_mem<W>(c, ES, c.r[DI], v);
        c.r[DI] = uint16_t(c.r[DI] + d);
    }
}

template <bool W> inline void lods(Cpu &c, const Insn &in) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        set_reg<W>(c, AX, read_mem<W>(c, in.seg, c.r[SI]));
        c.r[SI] = uint16_t(c.r[SI] + d);
    };
    if (!in.rep)
        return once();
    for (; c.r[CX]; --c.r[CX])
        once();
}

// CMPS and SCAS: REPE (F3) goes on while equal, REPNE (F2) while not.
template <bool W> inline void cmps(Cpu &c, const Insn &in) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        uint16_t a = read_mem<W>(c, in.seg, c.r[SI]);
        uint16_t b = read_mem<W>(c, ES, c.r[DI]);
        alu<W>(c, ALU_CMP, a, b);
        c.r[SI] = uint16_t(c.r[SI] + d);
        c.r[DI] = uint16_t(c.r[DI] + d);
    };
    if (!in.rep)
        return once();
    bool while_equal = in.rep == 0xF3;
    while (c.r[CX]) {
        once();
        --c.r[CX];
        if (get_zf(c) != while_equal)
            break;
    }
}

template <bool W> inline void scas(Cpu &c, const Insn &in) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        alu<W>(c, ALU_CMP, get_reg<W>(c, AX), read_mem<W>(c, ES, c.r[DI]));
        c.r[DI] = uint16_t(c.r[DI] + d);
    };
    if (!in.rep)
        return once();
    bool while_equal = in.rep == 0xF3;
    while (c.r[CX]) {
        once();
        --c.r[CX];
        if (get_zf(c) != while_equal)
            break;
    }
}

} // namespace vm86::engine
