// The two-operand arithmetic and logic family (ADD OR ADC SBB AND SUB XOR
// CMP, TEST) and the one-operand INC, DEC, NOT and NEG.
#pragma once

#include "cpu_state.h"
#include "decode.h"

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

template <bool W> VM86_HOT uint16_t read_rm(Cpu &c, const Insn &in) {
    if (!in.mem)
        return get_reg<W>(c, in.rm);
    return read_mem<W>(c, in.seg, effective_offset(c, in));
}

template <bool W> VM86_HOT void write_rm(Cpu &c, const Insn &in, uint16_t v) {
    if (!in.mem)
        set_reg<W>(c, in.rm, v);
    else
        write_mem<W>(c, in.seg, effective_offset(c, in), v);
}

// Opcodes 00 to 3D: the operation is bits 3-5, the form bits 0-2.
template <unsigned Kind, unsigned Form> VM86_HOT void alu_opcode(Cpu &c, const Insn &in) {
    switch (Form) {
    case 0:
        alu_rm<false>(c, in, Kind, reg8(c, in.reg));
        break;
    case 1:
        alu_rm<true>(c, in, Kind, c.r[in.reg]);
        break;
    case 2: {
        uint16_t r = alu<false>(c, Kind, reg8(c, in.reg), read_rm<false>(c, in));
        if (Kind != ALU_CMP)
            reg8(c, in.reg) = uint8_t(r);
        break;
    }
    case 3: {
        uint16_t r = alu<true>(c, Kind, c.r[in.reg], read_rm<true>(c, in));
        if (Kind != ALU_CMP)
            c.r[in.reg] = r;
        break;
    }
    case 4: {
        uint16_t r = alu<false>(c, Kind, reg8(c, AX), in.imm);
        if (Kind != ALU_CMP)
            reg8(c, AX) = uint8_t(r);
        break;
    }
    default: {
        uint16_t r = alu<true>(c, Kind, c.r[AX], in.imm);
        if (Kind != ALU_CMP)
            c.r[AX] = r;
        break;
    }
    }
}

template <bool W> VM86_HOT void test_values(Cpu &c, uint16_t a, uint16_t b) {
    set_logic<W>(c, uint32_t(a & b));
}

template <bool W> VM86_HOT uint16_t inc_dec(Cpu &c, uint16_t v, bool dec) {
    if (c.op != LZ_NONE) // INC and DEC keep CF: the rest follows from their result
        c.flags = uint16_t((c.flags & ~CF) | (get_cf(c) ? CF : 0));
    uint32_t r = dec ? uint32_t(v) - 1 : uint32_t(v) + 1;
    set_lazy<W>(c, dec ? LZ_DEC : LZ_INC, v, 1, r);
    return uint16_t(r & width_mask<W>());
}

template <bool W> VM86_HOT void inc_dec_rm(Cpu &c, const Insn &in, bool dec) {
    if (!in.mem) {
        set_reg<W>(c, in.rm, inc_dec<W>(c, get_reg<W>(c, in.rm), dec));
        return;
    }
    uint16_t off = effective_offset(c, in);
    write_mem<W>(c, in.seg, off, inc_dec<W>(c, read_mem<W>(c, in.seg, off), dec));
}

template <bool W> VM86_HOT void not_rm(Cpu &c, const Insn &in) {
    if (!in.mem) {
        set_reg<W>(c, in.rm, uint16_t(~get_reg<W>(c, in.rm)));
        return;
    }
    uint16_t off = effective_offset(c, in);
    write_mem<W>(c, in.seg, off, uint16_t(~read_mem<W>(c, in.seg, off)));
}

template <bool W> VM86_HOT void neg_rm(Cpu &c, const Insn &in) {
    if (!in.mem) {
        set_reg<W>(c, in.rm, alu<W>(c, ALU_SUB, 0, get_reg<W>(c, in.rm)));
        return;
    }
    uint16_t off = effective_offset(c, in);
    write_mem<W>(c, in.seg, off, alu<W>(c, ALU_SUB, 0, read_mem<W>(c, in.seg, off)));
}

} // namespace vm86::engine
