// Instruction decoding: prefixes, ModRM, displacement and immediates.
#include "decode.h"

#include "opcode_table.h"

namespace vm86::engine {
namespace {

// Base and index registers of the eight 16-bit addressing forms.
constexpr uint8_t ea_base[8] = {BX, BX, BP, BP, SI, DI, BP, BX};
constexpr uint8_t ea_index[8] = {SI, DI, SI, DI, ZERO, ZERO, ZERO, ZERO};

// Longest instruction the processor accepts, prefixes included.
constexpr unsigned max_length = 10;

struct Fetcher {
    Cpu &c;
    uint32_t segment_base; // linear
    uint16_t ip;
    unsigned n = 0;
    uint8_t byte() { return *host_at(c, segment_base + uint16_t(ip + n++), 1); }
    uint16_t word() {
        uint16_t lo = byte();
        return uint16_t(lo | byte() << 8);
    }
};

// Takes in the prefixes; returns the opcode after them, or -1 when the
// prefixes alone make the instruction too long.
int read_prefixes(Fetcher &f, Insn &in, bool &override) {
    for (;;) {
        unsigned byte = f.byte();
        if (f.n > max_length)
            return -1;
        if ((byte & 0xE7) == 0x26) { // ES: CS: SS: DS:
            in.seg = uint8_t((byte >> 3) & 3);
            override = true;
        } else if (byte == 0xF2 || byte == 0xF3) {
            in.rep = uint8_t(byte);
        } else if (byte != 0xF0) { // LOCK has no effect here
            return int(byte);
        }
    }
}

// Reads ModRM and its displacement. BP-based addresses default to SS
// unless a segment was given.
void read_modrm(Fetcher &f, Insn &in, bool override) {
    uint8_t m = f.byte();
    unsigned mod = m >> 6;
    in.reg = (m >> 3) & 7;
    in.rm = m & 7;
    in.mem = mod != 3;
    if (mod == 0 && in.rm == 6) {
        in.disp = f.word();
    } else if (mod != 3) {
        in.base = ea_base[in.rm];
        in.index = ea_index[in.rm];
        if (mod == 1)
            in.disp = uint16_t(int8_t(f.byte()));
        else if (mod == 2)
            in.disp = f.word();
        if (in.base == BP && !override)
            in.seg = SS;
    }
}

// Settles the operation once ModRM is known: the group's operation that
// ModRM reg selects, or OP_INVALID for a form the 286 refuses. Returns
// what the operation adds to the opcode's operands (a group's immediate).
uint8_t select_operation(Insn &in) {
    const DecodeRow &opcode = decode_rows[in.op];
    if (opcode.group)
        in.op = uint16_t(opcode.group + in.reg);
    const DecodeRow &operation = decode_rows[in.op];
    if (!((opcode.defined_regs >> in.reg) & 1) || (operation.memory_only && !in.mem))
        in.op = OP_INVALID;
    return opcode.group ? operation.operands : 0;
}

void read_immediates(Fetcher &f, Insn &in, uint8_t operands) {
    if (operands & A_IMM8) {
        in.imm = f.byte();
    } else if (operands & A_IMM8S) {
        in.imm = uint16_t(int8_t(f.byte()));
    } else if (operands & A_IMM16) {
        in.imm = f.word();
    } else if (operands & A_MOFFS) {
        in.disp = f.word();
    } else if (operands & A_FAR) {
        in.imm = f.word();
        in.imm2 = f.word();
    } else if (operands & A_ENTER) {
        in.imm = f.word();
        in.imm2 = f.byte();
    }
}

} // namespace

Insn decode(Cpu &c, uint16_t ip, bool &wrapped) {
    return decode_in(c, c.sbase[CS], ip, wrapped);
}

Insn decode_at(Cpu &c, uint32_t linear) {
    bool wrapped;
    return decode_in(c, linear, 0, wrapped);
}

Insn decode_in(Cpu &c, uint32_t segment_base, uint16_t ip, bool &wrapped) {
    Insn in{};
    in.seg = DS;
    in.base = in.index = ZERO;
    Fetcher f{c, segment_base, ip};
    bool override = false;
    int opcode = read_prefixes(f, in, override);
    if (opcode >= 0) {
        in.op = uint16_t(opcode);
        uint8_t operands = decode_rows[opcode].operands;
        if (operands & A_MODRM) {
            read_modrm(f, in, override);
            operands |= select_operation(in);
        }
        if (operands & A_UNDEFINED)
            in.op = OP_INVALID;
        read_immediates(f, in, operands);
    }
    if (f.n > max_length)
        in.op = OP_TOO_LONG;
    in.len = uint8_t(f.n);
    wrapped = uint32_t(ip) + f.n > 0x10000;
    return in;
}

} // namespace vm86::engine
