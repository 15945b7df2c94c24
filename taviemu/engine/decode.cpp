// Instruction decoding: prefixes, ModRM, displacement and immediates.
#include "decode.h"

#include <array>

namespace vm86::engine {
namespace {

// Opcode attributes.
constexpr uint8_t A_MODRM = 0x01;
constexpr uint8_t A_IMM8 = 0x02;  // one immediate byte
constexpr uint8_t A_IMM8S = 0x04; // one immediate byte, sign-extended
constexpr uint8_t A_IMM16 = 0x08; // one immediate word
constexpr uint8_t A_FAR = 0x10;   // offset word then segment word
constexpr uint8_t A_ENTER = 0x20; // word then byte
constexpr uint8_t A_MOFFS = 0x40; // a direct memory offset word
constexpr uint8_t A_INVALID = 0x80;

constexpr std::array<uint8_t, 256> make_attributes() {
    std::array<uint8_t, 256> t{};
    for (unsigned alu = 0; alu < 8; ++alu) {
        unsigned o = alu * 8;
        t[o + 0] = t[o + 1] = t[o + 2] = t[o + 3] = A_MODRM;
        t[o + 4] = A_IMM8;
        t[o + 5] = A_IMM16;
    }
    t[0x0F] = A_INVALID;
    t[0x62] = A_MODRM;
    for (unsigned o = 0x63; o <= 0x67; ++o)
        t[o] = A_INVALID;
    t[0x68] = A_IMM16;
    t[0x69] = A_MODRM | A_IMM16;
    t[0x6A] = A_IMM8S;
    t[0x6B] = A_MODRM | A_IMM8S;
    for (unsigned o = 0x70; o <= 0x7F; ++o)
        t[o] = A_IMM8S;
    t[0x80] = t[0x82] = A_MODRM | A_IMM8;
    t[0x81] = A_MODRM | A_IMM16;
    t[0x83] = A_MODRM | A_IMM8S;
    for (unsigned o = 0x84; o <= 0x8F; ++o)
        t[o] = A_MODRM;
    t[0x9A] = t[0xEA] = A_FAR;
    for (unsigned o = 0xA0; o <= 0xA3; ++o)
        t[o] = A_MOFFS;
    t[0xA8] = A_IMM8;
    t[0xA9] = A_IMM16;
    for (unsigned o = 0xB0; o <= 0xB7; ++o)
        t[o] = A_IMM8;
    for (unsigned o = 0xB8; o <= 0xBF; ++o)
        t[o] = A_IMM16;
    t[0xC0] = t[0xC1] = A_MODRM | A_IMM8;
    t[0xC2] = t[0xCA] = A_IMM16;
    t[0xC4] = t[0xC5] = A_MODRM;
    t[0xC6] = A_MODRM | A_IMM8;
    t[0xC7] = A_MODRM | A_IMM16;
    t[0xC8] = A_ENTER;
    t[0xCD] = A_IMM8;
    for (unsigned o = 0xD0; o <= 0xD3; ++o)
        t[o] = A_MODRM;
    t[0xD4] = t[0xD5] = A_IMM8;
    for (unsigned o = 0xD8; o <= 0xDF; ++o)
        t[o] = A_MODRM;
    for (unsigned o = 0xE0; o <= 0xE3; ++o)
        t[o] = A_IMM8S;
    for (unsigned o = 0xE4; o <= 0xE7; ++o)
        t[o] = A_IMM8;
    t[0xE8] = t[0xE9] = A_IMM16;
    t[0xEB] = A_IMM8S;
    t[0xF1] = A_INVALID;
    t[0xF6] = t[0xF7] = t[0xFE] = t[0xFF] = A_MODRM;
    return t;
}
constexpr std::array<uint8_t, 256> attributes = make_attributes();

// Base and index registers of the eight 16-bit addressing forms.
constexpr uint8_t ea_base[8] = {BX, BX, BP, BP, SI, DI, BP, BX};
constexpr uint8_t ea_index[8] = {SI, DI, SI, DI, ZERO, ZERO, ZERO, ZERO};

// First operation number of the opcode's group, or 0.
constexpr uint16_t group_of(unsigned opcode) {
    switch (opcode) {
    case 0x80:
    case 0x82:
        return G_ALU8;
    case 0x81:
        return G_ALU16;
    case 0x83:
        return G_ALU16S;
    case 0xC0:
        return G_SH8I;
    case 0xC1:
        return G_SH16I;
    case 0xD0:
        return G_SH8_1;
    case 0xD1:
        return G_SH16_1;
    case 0xD2:
        return G_SH8CL;
    case 0xD3:
        return G_SH16CL;
    case 0xF6:
        return G_UN8;
    case 0xF7:
        return G_UN16;
    case 0xFE:
        return G_FE;
    case 0xFF:
        return G_FF;
    default:
        return 0;
    }
}

// Whether the ModRM form is one the processor refuses.
bool invalid_form(unsigned opcode, const Insn &in) {
    switch (opcode) {
    case 0x62: // BOUND, LEA, LES, LDS need a memory operand
    case 0x8D:
    case 0xC4:
    case 0xC5:
        return !in.mem;
    case 0x8C: // four segment registers; CS cannot be loaded by MOV
        return in.reg >= 4;
    case 0x8E:
        return in.reg >= 4 || in.reg == CS;
    case 0x8F:
    case 0xC6:
    case 0xC7:
        return in.reg != 0;
    case 0xFE:
        return in.reg >= 2;
    case 0xFF:
        return in.reg == 7 || ((in.reg == 3 || in.reg == 5) && !in.mem);
    default:
        return false;
    }
}

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
    unsigned opcode;
    for (;;) {
        opcode = f.byte();
        if (f.n > max_length) {
            in.op = OP_TOO_LONG;
            in.len = uint8_t(f.n);
            wrapped = uint32_t(ip) + f.n > 0x10000;
            return in;
        }
        if ((opcode & 0xE7) == 0x26) { // ES: CS: SS: DS:
            in.seg = uint8_t((opcode >> 3) & 3);
            override = true;
        } else if (opcode == 0xF2 || opcode == 0xF3) {
            in.rep = uint8_t(opcode);
        } else if (opcode != 0xF0) { // LOCK has no effect here
            break;
        }
    }
    uint8_t attr = attributes[opcode];
    in.op = uint16_t(opcode);
    if (attr & A_MODRM) {
        uint8_t m = f.byte();
        unsigned mod = m >> 6;
        in.reg = (m >> 3) & 7;
        in.rm = m & 7;
        if (mod == 3) {
            in.mem = 0;
        } else {
            in.mem = 1;
            if (mod == 0 && in.rm == 6) {
                in.disp = f.word();
            } else {
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
        if (uint16_t g = group_of(opcode))
            in.op = uint16_t(g + in.reg);
        if ((opcode == 0xF6 || opcode == 0xF7) && in.reg < 2)
            in.imm = opcode == 0xF6 ? f.byte() : f.word();
        if (invalid_form(opcode, in))
            in.op = OP_INVALID;
    }
    if (attr & A_INVALID)
        in.op = OP_INVALID;
    if (attr & A_IMM8)
        in.imm = f.byte();
    else if (attr & A_IMM8S)
        in.imm = uint16_t(int8_t(f.byte()));
    else if (attr & A_IMM16)
        in.imm = f.word();
    else if (attr & A_MOFFS)
        in.disp = f.word();
    else if (attr & A_FAR) {
        in.imm = f.word();
        in.imm2 = f.word();
    } else if (attr & A_ENTER) {
        in.imm = f.word();
        in.imm2 = f.byte();
    }
    if (f.n > max_length)
        in.op = OP_TOO_LONG;
    in.len = uint8_t(f.n);
    wrapped = uint32_t(ip) + f.n > 0x10000;
    return in;
}

} // namespace vm86::engine
