// Moving data: MOV in all its forms, XCHG, LEA, LES/LDS, CBW/CWD and XLAT.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "operands.h"

namespace vm86::engine {

// MOV r/m, reg (88, 89).
template <bool W> VM86_HOT int mov_rm_reg(Cpu &c, const Insn &in, uint16_t &) {
    write_rm<W>(c, in, get_reg<W>(c, in.reg));
    return go_on;
}

// MOV reg, r/m (8A, 8B).
template <bool W> VM86_HOT int mov_reg_rm(Cpu &c, const Insn &in, uint16_t &) {
    set_reg<W>(c, in.reg, read_rm<W>(c, in));
    return go_on;
}

// MOV r/m, imm (C6, C7).
template <bool W> VM86_HOT int mov_rm_imm(Cpu &c, const Insn &in, uint16_t &) {
    write_rm<W>(c, in, in.imm);
    return go_on;
}

// MOV reg, imm (B0 to BF): the register is the low three bits.
template <bool W> VM86_HOT int mov_reg_imm(Cpu &c, const Insn &in, uint16_t &) {
    set_reg<W>(c, in.op & 7, in.imm);
    return go_on;
}

// MOV AL/AX, [moffs] (A0, A1).
template <bool W> VM86_HOT int mov_acc_moffs(Cpu &c, const Insn &in, uint16_t &) {
    set_reg<W>(c, AX, read_mem<W>(c, in.seg, in.disp));
    return go_on;
}

// MOV [moffs], AL/AX (A2, A3).
template <bool W> VM86_HOT int mov_moffs_acc(Cpu &c, const Insn &in, uint16_t &) {
    write_mem<W>(c, in.seg, in.disp, get_reg<W>(c, AX));
    return go_on;
}

// MOV r/m16, sreg (8C).
inline int mov_rm_sreg(Cpu &c, const Insn &in, uint16_t &) {
    write_rm<true>(c, in, c.sreg[in.reg]);
    return go_on;
}

// MOV sreg, r/m16 (8E).
inline int mov_sreg_rm(Cpu &c, const Insn &in, uint16_t &) {
    c.set_seg(in.reg, read_rm<true>(c, in));
    return go_on;
}

// XCHG reg, r/m (86, 87).
template <bool W> inline int xchg_rm(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t v = read_rm<W>(c, in);
    write_rm<W>(c, in, get_reg<W>(c, in.reg));
    set_reg<W>(c, in.reg, v);
    return go_on;
}

// XCHG AX, reg (90 to 97; 90 is NOP).
VM86_HOT int xchg_ax(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t v = c.r[in.op & 7];
    c.r[in.op & 7] = c.r[AX];
    c.r[AX] = v;
    return go_on;
}

VM86_HOT int lea(Cpu &c, const Insn &in, uint16_t &) {
    c.r[in.reg] = effective_offset(c, in);
    return go_on;
}

// LES, LDS (C4, C5): a register and ES or DS from a far pointer.
inline int load_far(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t off, seg;
    load_far_pointer(c, in, off, seg);
    c.r[in.reg] = off;
    c.set_seg(in.op == 0xC4 ? ES : DS, seg);
    return go_on;
}

inline int cbw(Cpu &c, const Insn &, uint16_t &) {
    c.r[AX] = uint16_t(int8_t(reg8(c, AX)));
    return go_on;
}

inline int cwd(Cpu &c, const Insn &, uint16_t &) {
    c.r[DX] = (c.r[AX] & 0x8000) ? 0xFFFF : 0;
    return go_on;
}

inline int xlat(Cpu &c, const Insn &in, uint16_t &) {
    reg8(c, AX) = read8(c, in.seg, uint16_t(c.r[BX] + reg8(c, AX)));
    return go_on;
}

} // namespace vm86::engine
