// String instructions (MOVS CMPS STOS LODS SCAS) with their REP prefixes.
// The source may take a segment override; the destination is always ES:DI.
// A fault part-way leaves SI, DI and CX where the repetition stood, so the
// instruction can start again.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "ops_alu.h"

namespace vm86::engine {

template <bool W> inline uint16_t string_step(const Cpu &c) {
    constexpr uint16_t n = W ? 2 : 1;
    return (c.flags & DF) ? uint16_t(-n) : n;
}

// A word access at offset FFFF faults, but the 286 has by then already
// stepped the index registers (and, under REP, CX) as this table says for
// each access that can fault.
struct Overrun {
    bool si, di;
    uint8_t cx; // how far CX has counted down when REP is in effect
};
constexpr Overrun movs_read{true, false, 1}, movs_write{true, true, 2};
constexpr Overrun cmps_first{true, true, 1}, cmps_second{false, true, 0};
constexpr Overrun stos_write{false, true, 2}, lods_read{true, false, 1};
constexpr Overrun scas_read{false, true, 1};

template <bool W>
inline void check_overrun(Cpu &c, const Insn &in, uint16_t off, const Overrun &how) {
    if (!W || off != 0xFFFF)
        return;
    uint16_t d = string_step<W>(c);
    if (how.si)
        c.r[SI] = uint16_t(c.r[SI] + d);
    if (how.di)
        c.r[DI] = uint16_t(c.r[DI] + d);
    if (in.rep)
        c.r[CX] = uint16_t(c.r[CX] - how.cx);
    raise_exception(13);
}

// One step, or under a REP prefix one step for each count in CX.
template <class Step> inline void repeat(Cpu &c, const Insn &in, Step step) {
    if (!in.rep)
        return step();
    for (; c.r[CX]; --c.r[CX])
        step();
}

// CMPS and SCAS: REPE (F3) goes on while equal, REPNE (F2) while not.
template <class Step> inline void repeat_compare(Cpu &c, const Insn &in, Step step) {
    if (!in.rep)
        return step();
    bool while_equal = in.rep == 0xF3;
    while (c.r[CX]) {
        step();
        --c.r[CX];
        if (get_zf(c) != while_equal)
            break;
    }
}

template <bool W> inline int movs(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        check_overrun<W>(c, in, c.r[SI], movs_read);
        uint16_t v = read_mem<W>(c, in.seg, c.r[SI]);
        check_overrun<W>(c, in, c.r[DI], movs_write);
        write_mem<W>(c, ES, c.r[DI], v);
        c.r[SI] = uint16_t(c.r[SI] + d);
        c.r[DI] = uint16_t(c.r[DI] + d);
    };
    repeat(c, in, once);
    return go_on;
}

template <bool W> inline int stos(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t d = string_step<W>(c);
    uint16_t v = get_reg<W>(c, AX);
    repeat(c, in, [&] {
        check_overrun<W>(c, in, c.r[DI], stos_write);
        write_mem<W>(c, ES, c.r[DI], v);
        c.r[DI] = uint16_t(c.r[DI] + d);
    });
    return go_on;
}

template <bool W> inline int lods(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        check_overrun<W>(c, in, c.r[SI], lods_read);
        set_reg<W>(c, AX, read_mem<W>(c, in.seg, c.r[SI]));
        c.r[SI] = uint16_t(c.r[SI] + d);
    };
    repeat(c, in, once);
    return go_on;
}

template <bool W> inline int cmps(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        check_overrun<W>(c, in, c.r[SI], cmps_first);
        uint16_t a = read_mem<W>(c, in.seg, c.r[SI]);
        check_overrun<W>(c, in, c.r[DI], cmps_second);
        uint16_t b = read_mem<W>(c, ES, c.r[DI]);
        alu<W>(c, ALU_CMP, a, b);
        c.r[SI] = uint16_t(c.r[SI] + d);
        c.r[DI] = uint16_t(c.r[DI] + d);
    };
    repeat_compare(c, in, once);
    return go_on;
}

template <bool W> inline int scas(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t d = string_step<W>(c);
    auto once = [&] {
        check_overrun<W>(c, in, c.r[DI], scas_read);
        alu<W>(c, ALU_CMP, get_reg<W>(c, AX), read_mem<W>(c, ES, c.r[DI]));
        c.r[DI] = uint16_t(c.r[DI] + d);
    };
    repeat_compare(c, in, once);
    return go_on;
}

} // namespace vm86::engine
