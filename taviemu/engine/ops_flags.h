// Single flags and the flags byte: CMC, CLC/STC, CLI/STI, CLD/STD, SAHF
// and LAHF. (PUSHF and POPF are with the stack.)
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"

namespace vm86::engine {

inline int cmc(Cpu &c, const Insn &, uint16_t &) {
    materialize(c);
    c.flags ^= CF;
    return go_on;
}

// CLC, STC (F8, F9): the low bit of the opcode is the new CF.
inline int clc_stc(Cpu &c, const Insn &in, uint16_t &) {
    materialize(c);
    c.flags = uint16_t((c.flags & ~CF) | (in.op & 1));
    return go_on;
}

// CLI, STI (FA, FB): the interrupt flag is the program's own.
inline int cli_sti(Cpu &c, const Insn &in, uint16_t &) {
    c.flags = uint16_t((c.flags & ~IF) | ((in.op & 1) ? IF : 0));
    return go_on;
}

// CLD, STD (FC, FD).
inline int cld_std(Cpu &c, const Insn &in, uint16_t &) {
    c.flags = uint16_t((c.flags & ~DF) | ((in.op & 1) ? DF : 0));
    return go_on;
}

// SAHF: SF, ZF, AF, PF and CF from AH.
inline int sahf(Cpu &c, const Insn &, uint16_t &) {
    uint16_t f = get_flags(c);
    set_arith(c, uint16_t((f & ~0xD5) | (reg8(c, 4) & 0xD5)));
    return go_on;
}

// LAHF: AH from the low byte of FLAGS.
inline int lahf(Cpu &c, const Insn &, uint16_t &) {
    reg8(c, 4) = uint8_t(get_flags(c));
    return go_on;
}

} // namespace vm86::engine
