// The run loop: fetch the decoded instruction at CS:IP, execute it through
// one switch, and come back to the caller when the program needs it.
#include "../vm86_engine.h"
#include "code_cache.h"
#include "cpu_state.h"
#include "decode.h"
#include "interrupts.h"
#include "ops_alu.h"
#include "ops_bcd.h"
#include "ops_control.h"
#include "ops_muldiv.h"
#include "ops_shift.h"
#include "ops_string.h"

#include <cerrno>
#include <cstdint>

namespace vm86::engine {

void raise_exception(uint8_t vector) {
    throw Trap{Trap::exception, vector, 0};
}
void raise_outside(uint32_t linear) {
    throw Trap{Trap::outside_memory, 0, linear};
}

namespace {

constexpr int intx(unsigned n) {
    return VM86_INTx | int(n << 8);
}

// The group instructions selected by the ModRM reg field.
#define ALU_FORMS(kind)                                                                            \
    case kind * 8 + 0:                                                                             \
        alu_opcode<kind, 0>(c, in);                                                                \
        break;                                                                                     \
    case kind * 8 + 1:                                                                             \
        alu_opcode<kind, 1>(c, in);                                                                \
        break;                                                                                     \
    case kind * 8 + 2:                                                                             \
        alu_opcode<kind, 2>(c, in);                                                                \
        break;                                                                                     \
    case kind * 8 + 3:                                                                             \
        alu_opcode<kind, 3>(c, in);                                                                \
        break;                                                                                     \
    case kind * 8 + 4:                                                                             \
        alu_opcode<kind, 4>(c, in);                                                                \
        break;                                                                                     \
    case kind * 8 + 5:                                                                             \
        alu_opcode<kind, 5>(c, in);                                                                \
        break;

#define GROUP_ALU(kind)                                                                            \
    case G_ALU8 + kind:                                                                            \
        alu_rm<false>(c, in, kind, in.imm);                                                        \
        break;                                                                                     \
    case G_ALU16 + kind:                                                                           \
    case G_ALU16S + kind:                                                                          \
        alu_rm<true>(c, in, kind, in.imm);                                                         \
        break;

#define GROUP_SHIFT(kind)                                                                          \
    case G_SH8I + kind:                                                                            \
        shift_rm<false>(c, in, kind, in.imm);                                                      \
        break;                                                                                     \
    case G_SH16I + kind:                                                                           \
        shift_rm<true>(c, in, kind, in.imm);                                                       \
        break;                                                                                     \
    case G_SH8_1 + kind:                                                                           \
        shift_rm<false>(c, in, kind, 1);                                                           \
        break;                                                                                     \
    case G_SH16_1 + kind:                                                                          \
        shift_rm<true>(c, in, kind, 1);                                                            \
        break;                                                                                     \
    case G_SH8CL + kind:                                                                           \
        shift_rm<false>(c, in, kind, reg8(c, CX));                                                 \
        break;                                                                                     \
    case G_SH16CL + kind:                                                                          \
        shift_rm<true>(c, in, kind, reg8(c, CX));                                                  \
        break;

// Runs instructions until one needs the caller; returns the vm86 code. A
// trap thrown from inside leaves c.ip at the start of the instruction.
int execute(Cpu &c, uint64_t limit) {
    for (;;) {
        if (c.executed >= limit) [[unlikely]]
            return VM86_SIGNAL;
        const Insn &in = fetch_insn(c);
        uint16_t next = uint16_t(c.ip + in.len);
        switch (in.op) {
            ALU_FORMS(ALU_ADD)
            ALU_FORMS(ALU_OR)
            ALU_FORMS(ALU_ADC)
            ALU_FORMS(ALU_SBB)
            ALU_FORMS(ALU_AND)
            ALU_FORMS(ALU_SUB)
            ALU_FORMS(ALU_XOR)
            ALU_FORMS(ALU_CMP)
        case 0x06: // PUSH ES, CS, SS, DS
        case 0x0E:
        case 0x16:
        case 0x1E:
            push16(c, c.sreg[(in.op >> 3) & 3]);
            break;
        case 0x07: // POP ES, SS, DS
        case 0x17:
        case 0x1F:
            c.set_seg((in.op >> 3) & 3, pop16(c));
            break;
        case 0x27:
            daa(c);
            break;
        case 0x2F:
            das(c);
            break;
        case 0x37:
            aaa(c);
            break;
        case 0x3F:
            aas(c);
            break;
        case 0x40 ... 0x47:
            c.r[in.op & 7] = inc_dec<true>(c, c.r[in.op & 7], false);
            break;
        case 0x48 ... 0x4F:
            c.r[in.op & 7] = inc_dec<true>(c, c.r[in.op & 7], true);
            break;
        case 0x50 ... 0x57: // PUSH SP pushes the value before the decrement
            push16(c, c.r[in.op & 7]);
            break;
        case 0x58 ... 0x5F: {
            uint16_t v = pop16(c);
            c.r[in.op & 7] = v;
            break;
        }
        case 0x60:
            pusha(c);
            break;
        case 0x61:
            popa(c);
            break;
        case 0x62:
            bound(c, in);
            break;
        case 0x68:
        case 0x6A:
            push16(c, in.imm);
            break;
        case 0x69:
        case 0x6B:
            c.r[in.reg] = imul_imm(c, read_rm<true>(c, in), in.imm);
            break;
        case 0x6C ... 0x6F: // INS, OUTS
        case 0xE4 ... 0xE7: // IN, OUT
        case 0xEC ... 0xEF:
        case 0xF4: // HLT
            return VM86_UNKNOWN;
        case 0x70 ... 0x7F:
            if (condition(c, in.op & 15))
                next = uint16_t(next + in.imm);
            break;
            GROUP_ALU(ALU_ADD)
            GROUP_ALU(ALU_OR)
            GROUP_ALU(ALU_ADC)
            GROUP_ALU(ALU_SBB)
            GROUP_ALU(ALU_AND)
            GROUP_ALU(ALU_SUB)
            GROUP_ALU(ALU_XOR)
            GROUP_ALU(ALU_CMP)
        case 0x84:
            test_values<false>(c, read_rm<false>(c, in), reg8(c, in.reg));
            break;
        case 0x85:
            test_values<true>(c, read_rm<true>(c, in), c.r[in.reg]);
            break;
        case 0x86: {
            uint8_t v = uint8_t(read_rm<false>(c, in));
            write_rm<false>(c, in, reg8(c, in.reg));
            reg8(c, in.reg) = v;
            break;
        }
        case 0x87: {
            uint16_t v = read_rm<true>(c, in);
            write_rm<true>(c, in, c.r[in.reg]);
            c.r[in.reg] = v;
            break;
        }
        case 0x88:
            write_rm<false>(c, in, reg8(c, in.reg));
            break;
        case 0x89:
            write_rm<true>(c, in, c.r[in.reg]);
            break;
        case 0x8A:
            reg8(c, in.reg) = uint8_t(read_rm<false>(c, in));
            break;
        case 0x8B:
            c.r[in.reg] = read_rm<true>(c, in);
            break;
        case 0x8C:
            write_rm<true>(c, in, c.sreg[in.reg]);
            break;
        case 0x8D:
            c.r[in.reg] = effective_offset(c, in);
            break;
        case 0x8E:
            c.set_seg(in.reg, read_rm<true>(c, in));
            break;
        case 0x8F: { // POP r/m16: SP has moved on before the store (which may fault)
            uint16_t v = pop16(c);
            write_rm<true>(c, in, v);
            break;
        }
        case 0x90 ... 0x97: {
            uint16_t v = c.r[in.op & 7];
            c.r[in.op & 7] = c.r[AX];
            c.r[AX] = v;
            break;
        }
        case 0x98:
            c.r[AX] = uint16_t(int8_t(reg8(c, AX)));
            break;
        case 0x99:
            c.r[DX] = (c.r[AX] & 0x8000) ? 0xFFFF : 0;
            break;
        case 0x9A:
            next = call_far(c, in.imm2, in.imm, next);
            break;
        case 0x9B: // WAIT: there is no coprocessor to wait for
            break;
        case 0x9C:
            push16(c, pushed_flags(c));
            break;
        case 0x9D:
            load_flags(c, pop16(c));
            break;
        case 0x9E: {
            uint16_t f = get_flags(c);
            set_arith(c, uint16_t((f & ~0xD5) | (reg8(c, 4) & 0xD5)));
            break;
        }
        case 0x9F:
            reg8(c, 4) = uint8_t(get_flags(c));
            break;
        case 0xA0:
            reg8(c, AX) = read8(c, in.seg, in.disp);
            break;
        case 0xA1:
            c.r[AX] = read16(c, in.seg, in.disp);
            break;
        case 0xA2:
            write8(c, in.seg, in.disp, reg8(c, AX));
            break;
        case 0xA3:
            write16(c, in.seg, in.disp, c.r[AX]);
            break;
        case 0xA4:
            movs<false>(c, in);
            break;
        case 0xA5:
            movs<true>(c, in);
            break;
        case 0xA6:
            cmps<false>(c, in);
            break;
        case 0xA7:
            cmps<true>(c, in);
            break;
        case 0xA8:
            test_values<false>(c, reg8(c, AX), in.imm);
            break;
        case 0xA9:
            test_values<true>(c, c.r[AX], in.imm);
            break;
        case 0xAA:
            stos<false>(c, in);
            break;
        case 0xAB:
            stos<true>(c, in);
            break;
        case 0xAC:
            lods<false>(c, in);
            break;
        case 0xAD:
            lods<true>(c, in);
            break;
        case 0xAE:
            scas<false>(c, in);
            break;
        case 0xAF:
            scas<true>(c, in);
            break;
        case 0xB0 ... 0xB7:
            reg8(c, in.op & 7) = uint8_t(in.imm);
            break;
        case 0xB8 ... 0xBF:
            c.r[in.op & 7] = in.imm;
            break;
            GROUP_SHIFT(SH_ROL)
            GROUP_SHIFT(SH_ROR)
            GROUP_SHIFT(SH_RCL)
            GROUP_SHIFT(SH_RCR)
            GROUP_SHIFT(SH_SHL)
            GROUP_SHIFT(SH_SHR)
            GROUP_SHIFT(SH_SAL)
            GROUP_SHIFT(SH_SAR)
        case 0xC2: {
            uint16_t ip = pop16(c);
            c.r[SP] = uint16_t(c.r[SP] + in.imm);
            next = ip;
            break;
        }
        case 0xC3:
            next = pop16(c);
            break;
        case 0xC4:
        case 0xC5: {
            uint16_t off, seg;
            load_far_pointer(c, in, off, seg);
            c.r[in.reg] = off;
            c.set_seg(in.op == 0xC4 ? ES : DS, seg);
            break;
        }
        case 0xC6:
            write_rm<false>(c, in, in.imm);
            break;
        case 0xC7:
            write_rm<true>(c, in, in.imm);
            break;
        case 0xC8:
            enter(c, in.imm, uint8_t(in.imm2));
            break;
        case 0xC9:
            leave(c);
            break;
        case 0xCA:
            next = return_far(c, in.imm);
            break;
        case 0xCB:
            next = return_far(c, 0);
            break;
        case 0xCC:
        case 0xCD:
        case 0xCE: {
            uint8_t n = in.op == 0xCC ? 3 : in.op == 0xCE ? 4 : uint8_t(in.imm);
            if (in.op == 0xCE && !(get_flags(c) & OF))
                break;
            if (!enter_interrupt(c, n, next, &next)) {
                c.ip = next;
                ++c.executed;
                return intx(n);
            }
            break;
        }
        case 0xCF:
            next = iret(c);
            break;
        case 0xD4:
            aam(c, uint8_t(in.imm));
            break;
        case 0xD5:
            aad(c, uint8_t(in.imm));
            break;
        case 0xD6:
            salc(c);
            break;
        case 0xD7:
            reg8(c, AX) = read8(c, in.seg, uint16_t(c.r[BX] + reg8(c, AX)));
            break;
        case 0xD8 ... 0xDF: // no coprocessor: the operand is checked, not used
            if (in.mem && effective_offset(c, in) > 0xFFFC)
                raise_exception(13);
            break;
        case 0xE0:
        case 0xE1:
        case 0xE2: {
            uint16_t cx = uint16_t(c.r[CX] - 1);
            c.r[CX] = cx;
            bool go = cx != 0;
            if (in.op == 0xE0)
                go = go && !get_zf(c);
            else if (in.op == 0xE1)
                go = go && get_zf(c);
            if (go)
                next = uint16_t(next + in.imm);
            break;
        }
        case 0xE3:
            if (c.r[CX] == 0)
                next = uint16_t(next + in.imm);
            break;
        case 0xE8:
            push16(c, next);
            next = uint16_t(next + in.imm);
            break;
        case 0xE9:
        case 0xEB:
            next = uint16_t(next + in.imm);
            break;
        case 0xEA:
            c.set_seg(CS, in.imm2);
            next = in.imm;
            break;
        case 0xF5:
            materialize(c);
            c.flags ^= CF;
            break;
        case 0xF8:
        case 0xF9:
            materialize(c);
            c.flags = uint16_t((c.flags & ~CF) | (in.op & 1));
            break;
        case 0xFA: // the interrupt flag is the program's own
        case 0xFB:
            c.flags = uint16_t((c.flags & ~IF) | ((in.op & 1) ? IF : 0));
            break;
        case 0xFC:
        case 0xFD:
            c.flags = uint16_t((c.flags & ~DF) | ((in.op & 1) ? DF : 0));
            break;
        case G_UN8 + 0:
        case G_UN8 + 1:
            test_values<false>(c, read_rm<false>(c, in), in.imm);
            break;
        case G_UN16 + 0:
        case G_UN16 + 1:
            test_values<true>(c, read_rm<true>(c, in), in.imm);
            break;
        case G_UN8 + 2:
            not_rm<false>(c, in);
            break;
        case G_UN16 + 2:
            not_rm<true>(c, in);
            break;
        case G_UN8 + 3:
            neg_rm<false>(c, in);
            break;
        case G_UN16 + 3:
            neg_rm<true>(c, in);
            break;
        case G_UN8 + 4:
            mul8(c, uint8_t(read_rm<false>(c, in)));
            break;
        case G_UN16 + 4:
            mul16(c, read_rm<true>(c, in));
            break;
        case G_UN8 + 5:
            imul8(c, uint8_t(read_rm<false>(c, in)));
            break;
        case G_UN16 + 5:
            imul16(c, read_rm<true>(c, in));
            break;
        case G_UN8 + 6:
            div8(c, uint8_t(read_rm<false>(c, in)));
            break;
        case G_UN16 + 6:
            div16(c, read_rm<true>(c, in));
            break;
        case G_UN8 + 7:
            idiv8(c, uint8_t(read_rm<false>(c, in)));
            break;
        case G_UN16 + 7:
            idiv16(c, read_rm<true>(c, in));
            break;
        case G_FE + 0:
        case G_FE + 1:
            inc_dec_rm<false>(c, in, in.op & 1);
            break;
        case G_FF + 0:
        case G_FF + 1:
            inc_dec_rm<true>(c, in, in.op & 1);
            break;
        case G_FF + 2: {
            uint16_t target = read_rm<true>(c, in);
            push16(c, next);
            next = target;
            break;
        }
        case G_FF + 3: {
            uint16_t off, seg;
            load_far_pointer(c, in, off, seg);
            next = call_far(c, seg, off, next);
            break;
        }
        case G_FF + 4:
            next = read_rm<true>(c, in);
            break;
        case G_FF + 5: {
            uint16_t off, seg;
            load_far_pointer(c, in, off, seg);
            c.set_seg(CS, seg);
            next = off;
            break;
        }
        case G_FF + 6:
            push16(c, read_rm<true>(c, in));
            break;
        case OP_TOO_LONG:
            raise_exception(13);
        default: // OP_INVALID and every opcode the decoder marks so
            raise_exception(6);
        }
        c.ip = next;
        ++c.executed;
    }
}

void load_state(Cpu &c, const Record &rec, const Memory &mem, const Options &opt) {
    const Regs &g = rec.regs;
    const uint32_t words[8] = {g.eax, g.ecx, g.edx, g.ebx, g.esp, g.ebp, g.esi, g.edi};
    for (unsigned n = 0; n < 8; ++n)
        c.r[n] = uint16_t(words[n]);
    c.r[ZERO] = 0;
    c.set_seg(ES, g.es);
    c.set_seg(CS, g.cs);
    c.set_seg(SS, g.ss);
    c.set_seg(DS, g.ds);
    c.ip = uint16_t(g.eip);
    c.flags = uint16_t((g.eflags & POPPABLE) | FIXED_ONE);
    c.op = LZ_NONE;
    c.host = mem.host;
    c.base = mem.base;
    c.size = mem.host ? mem.size : 0;
    c.int_revectored = rec.int_revectored;
    c.int21_revectored = rec.int21_revectored;
    c.real_mode_flags = opt.real_mode_flags;
}

uint32_t low_word(uint32_t old, uint16_t v) {
    return (old & 0xFFFF0000u) | v;
}

void store_state(const Cpu &c, Record &rec) {
    Regs &g = rec.regs;
    g.eax = low_word(g.eax, c.r[AX]);
    g.ecx = low_word(g.ecx, c.r[CX]);
    g.edx = low_word(g.edx, c.r[DX]);
    g.ebx = low_word(g.ebx, c.r[BX]);
    g.esp = low_word(g.esp, c.r[SP]);
    g.ebp = low_word(g.ebp, c.r[BP]);
    g.esi = low_word(g.esi, c.r[SI]);
    g.edi = low_word(g.edi, c.r[DI]);
    g.es = c.sreg[ES];
    g.cs = c.sreg[CS];
    g.ss = c.sreg[SS];
    g.ds = c.sreg[DS];
    g.eip = c.ip;
    g.eflags = low_word(g.eflags, get_flags(c));
}

} // namespace
} // namespace vm86::engine

namespace vm86 {

int run(Record &record, const Memory &memory, const Options &options, Fault *fault,
        uint64_t *executed) {
    using namespace engine;
    Cpu c{};
    load_state(c, record, memory, options);
    CodeCache &cache = cache_for_run(c.host, c.base, c.size);
    c.cache = &cache;
    c.code_map = cache.code_map.data();
    uint64_t limit = options.max_instructions ? options.max_instructions : UINT64_MAX;
    int code = VM86_SIGNAL;
    int pending = -1; // an exception waiting to be entered
    for (;;) {
        try {
            if (pending >= 0) {
                uint8_t vector = uint8_t(pending);
                pending = -1;
                uint16_t ip;
                if (!enter_interrupt(c, vector, c.ip, &ip)) {
                    code = VM86_INTx | vector << 8;
                    break;
                }
                c.ip = ip;
            }
            code = execute(c, limit);
            break;
        } catch (const Trap &t) {
            if (t.kind == Trap::outside_memory) {
                if (fault) {
                    fault->linear = t.linear;
                    fault->cs = c.sreg[CS];
                    fault->ip = c.ip;
                }
                code = -EFAULT;
                break;
            }
            pending = t.vector;
            ++c.executed; // the faulting instruction counts, so a fault loop stays bounded
        }
    }
    store_state(c, record);
    if (executed)
        *executed = c.executed;
    return code;
}

} // namespace vm86
