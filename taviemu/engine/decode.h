// Decoding one instruction into the form the run loop executes.
#pragma once

#include "cpu_state.h"

#include <cstdint>

namespace vm86::engine {

// Operation numbers: 0 to 255 are plain opcodes; the opcode groups whose
// ModRM reg field selects the operation get numbers of their own.
enum GroupBase : uint16_t {
    G_ALU8 = 0x100,     // 80 and 82: ALU r/m8, imm8
    G_ALU16 = 0x108,    // 81: ALU r/m16, imm16
    G_ALU16S = 0x110,   // 83: ALU r/m16, sign-extended imm8
    G_SH8I = 0x118,     // C0: shift r/m8, imm8
    G_SH16I = 0x120,    // C1: shift r/m16, imm8
    G_SH8_1 = 0x128,    // D0: shift r/m8, 1
    G_SH16_1 = 0x130,   // D1: shift r/m16, 1
    G_SH8CL = 0x138,    // D2: shift r/m8, CL
    G_SH16CL = 0x140,   // D3: shift r/m16, CL
    G_UN8 = 0x148,      // F6: TEST/NOT/NEG/MUL/IMUL/DIV/IDIV r/m8
    G_UN16 = 0x150,     // F7: the same on r/m16
    G_FE = 0x158,       // FE: INC/DEC r/m8
    G_FF = 0x160,       // FF: INC/DEC/CALL/JMP/PUSH r/m16
    OP_INVALID = 0x168, // raises the invalid-opcode exception
    OP_TOO_LONG,        // more than ten bytes: a general protection fault
    OP_BLOCK_END,       // not an instruction: the end of a decoded block
    OP_COUNT
};

// One decoded instruction. `seg` is the segment of its memory operand (or
// of the string source), overrides applied.
struct Insn {
    uint16_t op;   // opcode or GroupBase + reg
    uint8_t len;   // bytes, prefixes included
    uint8_t rep;   // 0, 0xF2 or 0xF3
    uint8_t seg;   // Seg of the memory operand
    uint8_t mem;   // 1 when the ModRM operand is in memory
    uint8_t reg;   // ModRM reg field
    uint8_t rm;    // ModRM rm field (a register number when mem is 0)
    uint8_t base;  // Reg of the base of the effective address (ZERO if none)
    uint8_t index; // Reg of its index (ZERO if none)
    uint16_t disp; // displacement (or the address of a moffs operand)
    uint16_t imm;  // first immediate
    uint16_t imm2; // second immediate (far pointer segment, ENTER level)
};
static_assert(sizeof(Insn) == 16);

// Decodes the instruction at CS:ip. Bytes are fetched through the memory
// bounds check, so a fetch outside the memory traps. `wrapped` is set when
// the instruction's bytes wrap past offset FFFF of the code segment (such
// an instruction must not be cached by its linear address).
Insn decode(Cpu &c, uint16_t ip, bool &wrapped);
// The same in the segment at linear `segment_base`.
Insn decode_in(Cpu &c, uint32_t segment_base, uint16_t ip, bool &wrapped);
// The instruction at linear address `linear`, as a block decoded it (a
// block's bytes never wrap).
Insn decode_at(Cpu &c, uint32_t linear);

inline uint16_t effective_offset(const Cpu &c, const Insn &in) {
    return uint16_t(c.r[in.base] + c.r[in.index] + in.disp);
}

} // namespace vm86::engine
