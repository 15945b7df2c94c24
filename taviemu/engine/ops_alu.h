// The two-operand arithmetic and logic family (ADD OR ADC SBB AND SUB XOR
// CMP, TEST) and the one-operand INC, DEC, NOT and NEG.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "operands.h"

namespace vm86::engine {

// The operation of opcodes 00 to 3F (bits 3-5) and of the 80-83 groups.
constexpr unsigned ALU_ADD = 0, ALU_OR = 1, ALU_ADC = 2, ALU_SBB = 3, ALU_AND = 4, ALU_SUB = 5,
                   ALU_XOR = 6, ALU_CMP = 7;

// Computes `a kind b`, sets the flags and returns the result (CMP's result
// is not stored by the callers).
template <bool W> VM86_HOT uint16_t alu(Cpu &c, unsigned kind, uint32_t a, uint32_t b) {
    constexpr uint32_t mask = width_mask<W>();
    uint32_t r;
    switch (kind) {
    case ALU_ADD:
        r = a + b;
        set_lazy<W>(c, LZ_ADD, a, b, r);
        break;
    case ALU_ADC:
        r = a + b + get_cf(c);
        set_lazy<W>(c, LZ_ADD, a, b, r);
        break;
    case ALU_SBB:
        r = a - b - get_cf(c);
        set_lazy<W>(c, LZ_SUB, a, b, r);
        break;
    case ALU_SUB:
    case ALU_CMP:
        r = a - b;
        set_lazy<W>(c, LZ_SUB, a, b, r);
        break;
    case ALU_OR:
        r = a | b;
        set_logic<W>(c, r);
        break;
    case ALU_AND:
        r = a & b;
        set_logic<W>(c, r);
        break;
    default:
        r = a ^ b;
        set_logic<W>(c, r);
        break;
    }
    return uint16_t(r & mask);
}

// r/m op= value (forms 0/1 and the 80-83 groups).
template <bool W> VM86_HOT void alu_rm(Cpu &c, const Insn &in, unsigned kind, uint16_t value) {
    if (!in.mem) {
        uint16_t r = alu<W>(c, kind, get_reg<W>(c, in.rm), value);
        if (kind != ALU_CMP)
            set_reg<W>(c, in.rm, r);
        return;
    }
    uint16_t off = effective_offset(c, in);
    uint16_t r = alu<W>(c, kind, read_mem<W>(c, in.seg, off), value);
    if (kind != ALU_CMP)
        write_mem<W>(c, in.seg, off, r);
}

// Opcodes 00 to 3D: the operation is bits 3-5, the form bits 0-2.
template <unsigned Kind, unsigned Form>
VM86_HOT int alu_opcode(Cpu &c, const Insn &in, uint16_t &) {
    constexpr bool W = Form & 1;
    if constexpr (Form < 2) {
        alu_rm<W>(c, in, Kind, get_reg<W>(c, in.reg));
    } else {
        // Forms 2 to 5 write a register: the one of ModRM reg, or AL/AX.
        unsigned reg = Form < 4 ? unsigned(in.reg) : unsigned(AX);
        uint16_t b = Form < 4 ? read_rm<W>(c, in) : in.imm;
        uint16_t r = alu<W>(c, Kind, get_reg<W>(c, reg), b);
        if (Kind != ALU_CMP)
            set_reg<W>(c, reg, r);
    }
    return go_on;
}

// 80 to 83: the operation of ModRM reg on r/m and the immediate.
template <bool W, unsigned Kind> VM86_HOT int alu_rm_imm(Cpu &c, const Insn &in, uint16_t &) {
    alu_rm<W>(c, in, Kind, in.imm);
    return go_on;
}

template <bool W> VM86_HOT void test_values(Cpu &c, uint16_t a, uint16_t b) {
    set_logic<W>(c, uint32_t(a & b));
}

// TEST r/m, reg (84, 85).
template <bool W> VM86_HOT int test_rm_reg(Cpu &c, const Insn &in, uint16_t &) {
    test_values<W>(c, read_rm<W>(c, in), get_reg<W>(c, in.reg));
    return go_on;
}

// TEST r/m, imm (F6 and F7 with reg 0 or 1).
template <bool W> VM86_HOT int test_rm_imm(Cpu &c, const Insn &in, uint16_t &) {
    test_values<W>(c, read_rm<W>(c, in), in.imm);
    return go_on;
}

// TEST AL/AX, imm (A8, A9).
template <bool W> VM86_HOT int test_acc_imm(Cpu &c, const Insn &in, uint16_t &) {
    test_values<W>(c, get_reg<W>(c, AX), in.imm);
    return go_on;
}

template <bool W> VM86_HOT uint16_t inc_dec(Cpu &c, uint16_t v, bool dec) {
    if (c.op != LZ_NONE) // INC and DEC keep CF: the rest follows from their result
        c.flags = uint16_t((c.flags & ~CF) | (get_cf(c) ? CF : 0));
    uint32_t r = dec ? uint32_t(v) - 1 : uint32_t(v) + 1;
    set_lazy<W>(c, dec ? LZ_DEC : LZ_INC, v, 1, r);
    return uint16_t(r & width_mask<W>());
}

// INC and DEC of a word register (40 to 4F).
template <bool Dec> VM86_HOT int inc_dec_reg(Cpu &c, const Insn &in, uint16_t &) {
    c.r[in.op & 7] = inc_dec<true>(c, c.r[in.op & 7], Dec);
    return go_on;
}

// Replaces the r/m operand with what `change` makes of it.
template <bool W, class Change> VM86_HOT void modify_rm(Cpu &c, const Insn &in, Change change) {
    if (!in.mem) {
        set_reg<W>(c, in.rm, change(get_reg<W>(c, in.rm)));
        return;
    }
    uint16_t off = effective_offset(c, in);
    write_mem<W>(c, in.seg, off, change(read_mem<W>(c, in.seg, off)));
}

// INC and DEC r/m (FE and FF with reg 0 or 1).
template <bool W, bool Dec> VM86_HOT int inc_dec_rm(Cpu &c, const Insn &in, uint16_t &) {
    modify_rm<W>(c, in, [&](uint16_t v) { return inc_dec<W>(c, v, Dec); });
    return go_on;
}

// NOT r/m (F6 and F7 with reg 2).
template <bool W> VM86_HOT int not_rm(Cpu &c, const Insn &in, uint16_t &) {
    modify_rm<W>(c, in, [](uint16_t v) { return uint16_t(~v); });
    return go_on;
}

// NEG r/m (F6 and F7 with reg 3).
template <bool W> VM86_HOT int neg_rm(Cpu &c, const Insn &in, uint16_t &) {
    modify_rm<W>(c, in, [&](uint16_t v) { return alu<W>(c, ALU_SUB, 0, v); });
    return go_on;
}

} // namespace vm86::engine
