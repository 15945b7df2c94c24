// The run loop: find the decoded block at CS:IP, run its instructions
// through one table of handlers, and come back to the caller when the
// program needs it.
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

#include <algorithm>
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

// Handlers that exist once per condition, ALU operation or shift kind.
#define JCC(cc)                                                                                    \
    jcc_##cc : if (condition(c, cc)) {                                                             \
        next = uint16_t(next + insn->imm);                                                         \
        JUMP_NEAR();                                                                               \
    }                                                                                              \
    NEXT_READ_ONLY();
#define JCC_TABLE(cc) table[0x70 + cc] = &&jcc_##cc;

#define ALU_FORMS(kind)                                                                            \
    alu_##kind##_0 : alu_opcode<kind, 0>(c, *insn);                                                \
    NEXT();                                                                                        \
    alu_##kind##_1 : alu_opcode<kind, 1>(c, *insn);                                                \
    NEXT();                                                                                        \
    alu_##kind##_2 : alu_opcode<kind, 2>(c, *insn);                                                \
    NEXT_READ_ONLY();                                                                              \
    alu_##kind##_3 : alu_opcode<kind, 3>(c, *insn);                                                \
    NEXT_READ_ONLY();                                                                              \
    alu_##kind##_4 : alu_opcode<kind, 4>(c, *insn);                                                \
    NEXT_READ_ONLY();                                                                              \
    alu_##kind##_5 : alu_opcode<kind, 5>(c, *insn);                                                \
    NEXT_READ_ONLY();
#define ALU_TABLE(kind)                                                                            \
    table[kind * 8 + 0] = &&alu_##kind##_0;                                                        \
    table[kind * 8 + 1] = &&alu_##kind##_1;                                                        \
    table[kind * 8 + 2] = &&alu_##kind##_2;                                                        \
    table[kind * 8 + 3] = &&alu_##kind##_3;                                                        \
    table[kind * 8 + 4] = &&alu_##kind##_4;                                                        \
    table[kind * 8 + 5] = &&alu_##kind##_5;

#define GROUP_ALU(kind)                                                                            \
    group_alu8_##kind : alu_rm<false>(c, *insn, kind, insn->imm);                                  \
    NEXT();                                                                                        \
    group_alu16_##kind : alu_rm<true>(c, *insn, kind, insn->imm);                                  \
    NEXT();
#define GROUP_ALU_TABLE(kind)                                                                      \
    table[G_ALU8 + kind] = &&group_alu8_##kind;                                                    \
    table[G_ALU16 + kind] = &&group_alu16_##kind;                                                  \
    table[G_ALU16S + kind] = &&group_alu16_##kind;

#define GROUP_SHIFT(kind)                                                                          \
    shift8i_##kind : shift_rm<false>(c, *insn, kind, insn->imm);                                   \
    NEXT();                                                                                        \
    shift16i_##kind : shift_rm<true>(c, *insn, kind, insn->imm);                                   \
    NEXT();                                                                                        \
    shift8_1_##kind : shift_rm<false>(c, *insn, kind, 1);                                          \
    NEXT();                                                                                        \
    shift16_1_##kind : shift_rm<true>(c, *insn, kind, 1);                                          \
    NEXT();                                                                                        \
    shift8cl_##kind : shift_rm<false>(c, *insn, kind, reg8(c, CX));                                \
    NEXT();                                                                                        \
    shift16cl_##kind : shift_rm<true>(c, *insn, kind, reg8(c, CX));                                \
    NEXT();
#define GROUP_SHIFT_TABLE(kind)                                                                    \
    table[G_SH8I + kind] = &&shift8i_##kind;                                                       \
    table[G_SH16I + kind] = &&shift16i_##kind;                                                     \
    table[G_SH8_1 + kind] = &&shift8_1_##kind;                                                     \
    table[G_SH16_1 + kind] = &&shift16_1_##kind;                                                   \
    table[G_SH8CL + kind] = &&shift8cl_##kind;                                                     \
    table[G_SH16CL + kind] = &&shift16cl_##kind;

// Runs instructions until one needs the caller; returns the vm86 code. A
// trap thrown from inside leaves c.ip at the start of the instruction.
//
// Dispatch is threaded: every handler ends by taking the next instruction
// of its block and jumping straight to that one's handler, so that each
// handler's jump is predicted on its own. Handlers that transfer control
// find the next block themselves. The table of handler addresses can only
// be filled in here, where the labels are; it is kept with the code cache
// so that this happens once, not on every entry.
int execute(Cpu &c, uint64_t limit) {
    const void **const table = c.cache->handlers;
    if (!c.cache->handlers_ready) [[unlikely]] {
        for (unsigned op = 0; op < OP_COUNT; ++op)
            table[op] = &&op_invalid;
        table[OP_BLOCK_END] = &&op_block_end;
        table[0x06] = &&op_0x06;
        table[0x0E] = &&op_0x06;
        table[0x16] = &&op_0x06;
        table[0x1E] = &&op_0x06;
        table[0x07] = &&op_0x07;
        table[0x17] = &&op_0x07;
        table[0x1F] = &&op_0x07;
        table[0x27] = &&op_0x27;
        table[0x2F] = &&op_0x2F;
        table[0x37] = &&op_0x37;
        table[0x3F] = &&op_0x3F;
        for (unsigned o = 0x40; o <= 0x47; ++o)
            table[o] = &&op_0x40_0x47;
        for (unsigned o = 0x48; o <= 0x4F; ++o)
            table[o] = &&op_0x48_0x4F;
        for (unsigned o = 0x50; o <= 0x57; ++o)
            table[o] = &&op_0x50_0x57;
        for (unsigned o = 0x58; o <= 0x5F; ++o)
            table[o] = &&op_0x58_0x5F;
        table[0x60] = &&op_0x60;
        table[0x61] = &&op_0x61;
        table[0x62] = &&op_0x62;
        table[0x68] = &&op_0x68;
        table[0x6A] = &&op_0x68;
        table[0x69] = &&op_0x69;
        table[0x6B] = &&op_0x69;
        for (unsigned o = 0x6C; o <= 0x6F; ++o)
            table[o] = &&op_0x6C_0x6F;
        for (unsigned o = 0xE4; o <= 0xE7; ++o)
            table[o] = &&op_0x6C_0x6F;
        for (unsigned o = 0xEC; o <= 0xEF; ++o)
            table[o] = &&op_0x6C_0x6F;
        table[0xF4] = &&op_0x6C_0x6F;
        JCC_TABLE(0);
        JCC_TABLE(1);
        JCC_TABLE(2);
        JCC_TABLE(3);
        JCC_TABLE(4);
        JCC_TABLE(5);
        JCC_TABLE(6);
        JCC_TABLE(7);
        JCC_TABLE(8);
        JCC_TABLE(9);
        JCC_TABLE(10);
        JCC_TABLE(11);
        JCC_TABLE(12);
        JCC_TABLE(13);
        JCC_TABLE(14);
        JCC_TABLE(15);
        table[0x84] = &&op_0x84;
        table[0x85] = &&op_0x85;
        table[0x86] = &&op_0x86;
        table[0x87] = &&op_0x87;
        table[0x88] = &&op_0x88;
        table[0x89] = &&op_0x89;
        table[0x8A] = &&op_0x8A;
        table[0x8B] = &&op_0x8B;
        table[0x8C] = &&op_0x8C;
        table[0x8D] = &&op_0x8D;
        table[0x8E] = &&op_0x8E;
        table[0x8F] = &&op_0x8F;
        for (unsigned o = 0x90; o <= 0x97; ++o)
            table[o] = &&op_0x90_0x97;
        table[0x98] = &&op_0x98;
        table[0x99] = &&op_0x99;
        table[0x9A] = &&op_0x9A;
        table[0x9B] = &&op_0x9B;
        table[0x9C] = &&op_0x9C;
        table[0x9D] = &&op_0x9D;
        table[0x9E] = &&op_0x9E;
        table[0x9F] = &&op_0x9F;
        table[0xA0] = &&op_0xA0;
        table[0xA1] = &&op_0xA1;
        table[0xA2] = &&op_0xA2;
        table[0xA3] = &&op_0xA3;
        table[0xA4] = &&op_0xA4;
        table[0xA5] = &&op_0xA5;
        table[0xA6] = &&op_0xA6;
        table[0xA7] = &&op_0xA7;
        table[0xA8] = &&op_0xA8;
        table[0xA9] = &&op_0xA9;
        table[0xAA] = &&op_0xAA;
        table[0xAB] = &&op_0xAB;
        table[0xAC] = &&op_0xAC;
        table[0xAD] = &&op_0xAD;
        table[0xAE] = &&op_0xAE;
        table[0xAF] = &&op_0xAF;
        for (unsigned o = 0xB0; o <= 0xB7; ++o)
            table[o] = &&op_0xB0_0xB7;
        for (unsigned o = 0xB8; o <= 0xBF; ++o)
            table[o] = &&op_0xB8_0xBF;
        table[0xC2] = &&op_0xC2;
        table[0xC3] = &&op_0xC3;
        table[0xC4] = &&op_0xC4;
        table[0xC5] = &&op_0xC4;
        table[0xC6] = &&op_0xC6;
        table[0xC7] = &&op_0xC7;
        table[0xC8] = &&op_0xC8;
        table[0xC9] = &&op_0xC9;
        table[0xCA] = &&op_0xCA;
        table[0xCB] = &&op_0xCB;
        table[0xCC] = &&op_0xCC;
        table[0xCD] = &&op_0xCC;
        table[0xCE] = &&op_0xCC;
        table[0xCF] = &&op_0xCF;
        table[0xD4] = &&op_0xD4;
        table[0xD5] = &&op_0xD5;
        table[0xD6] = &&op_0xD6;
        table[0xD7] = &&op_0xD7;
        for (unsigned o = 0xD8; o <= 0xDF; ++o)
            table[o] = &&op_0xD8_0xDF;
        table[0xE0] = &&op_0xE0;
        table[0xE1] = &&op_0xE0;
        table[0xE2] = &&op_0xE0;
        table[0xE3] = &&op_0xE3;
        table[0xE8] = &&op_0xE8;
        table[0xE9] = &&op_0xE9;
        table[0xEB] = &&op_0xE9;
        table[0xEA] = &&op_0xEA;
        table[0xF5] = &&op_0xF5;
        table[0xF8] = &&op_0xF8;
        table[0xF9] = &&op_0xF8;
        table[0xFA] = &&op_0xFA;
        table[0xFB] = &&op_0xFA;
        table[0xFC] = &&op_0xFC;
        table[0xFD] = &&op_0xFC;
        table[G_UN8 + 0] = &&op_G_UN8_0;
        table[G_UN8 + 1] = &&op_G_UN8_0;
        table[G_UN16 + 0] = &&op_G_UN16_0;
        table[G_UN16 + 1] = &&op_G_UN16_0;
        table[G_UN8 + 2] = &&op_G_UN8_2;
        table[G_UN16 + 2] = &&op_G_UN16_2;
        table[G_UN8 + 3] = &&op_G_UN8_3;
        table[G_UN16 + 3] = &&op_G_UN16_3;
        table[G_UN8 + 4] = &&op_G_UN8_4;
        table[G_UN16 + 4] = &&op_G_UN16_4;
        table[G_UN8 + 5] = &&op_G_UN8_5;
        table[G_UN16 + 5] = &&op_G_UN16_5;
        table[G_UN8 + 6] = &&op_G_UN8_6;
        table[G_UN16 + 6] = &&op_G_UN16_6;
        table[G_UN8 + 7] = &&op_G_UN8_7;
        table[G_UN16 + 7] = &&op_G_UN16_7;
        table[G_FE + 0] = &&op_G_FE_0;
        table[G_FE + 1] = &&op_G_FE_1;
        table[G_FF + 0] = &&op_G_FF_0;
        table[G_FF + 1] = &&op_G_FF_1;
        table[G_FF + 2] = &&op_G_FF_2;
        table[G_FF + 3] = &&op_G_FF_3;
        table[G_FF + 4] = &&op_G_FF_4;
        table[G_FF + 5] = &&op_G_FF_5;
        table[G_FF + 6] = &&op_G_FF_6;
        table[OP_TOO_LONG] = &&op_OP_TOO_LONG;
        ALU_TABLE(ALU_ADD);
        ALU_TABLE(ALU_OR);
        ALU_TABLE(ALU_ADC);
        ALU_TABLE(ALU_SBB);
        ALU_TABLE(ALU_AND);
        ALU_TABLE(ALU_SUB);
        ALU_TABLE(ALU_XOR);
        ALU_TABLE(ALU_CMP);
        GROUP_ALU_TABLE(ALU_ADD);
        GROUP_ALU_TABLE(ALU_OR);
        GROUP_ALU_TABLE(ALU_ADC);
        GROUP_ALU_TABLE(ALU_SBB);
        GROUP_ALU_TABLE(ALU_AND);
        GROUP_ALU_TABLE(ALU_SUB);
        GROUP_ALU_TABLE(ALU_XOR);
        GROUP_ALU_TABLE(ALU_CMP);
        GROUP_SHIFT_TABLE(SH_ROL);
        GROUP_SHIFT_TABLE(SH_ROR);
        GROUP_SHIFT_TABLE(SH_RCL);
        GROUP_SHIFT_TABLE(SH_RCR);
        GROUP_SHIFT_TABLE(SH_SHL);
        GROUP_SHIFT_TABLE(SH_SHR);
        GROUP_SHIFT_TABLE(SH_SAL);
        GROUP_SHIFT_TABLE(SH_SAR);
        c.cache->handlers_ready = true;
    }
    // The hot state lives in locals; c.ip and c.executed are brought up to
    // date whenever control leaves this function, a trap included.
    uint16_t ip = c.ip;
    uint64_t executed = c.executed;
    const Insn *insn;
    uint16_t next;
    Block *const blocks = c.cache->blocks.data();
    uint64_t epoch_key = c.cache->key(0); // changes when a write hits cached code
    uint32_t code_base = 0;               // CS * 16 - memory base, as of the last block entered
    // The block running, and the IP it was entered at. It stays right until
    // a write changes code or control passes elsewhere, both of which lead
    // to a lookup.
    const Block *current_block = nullptr;
    uint16_t block_ip = 0;
#define SAVE()                                                                                     \
    do {                                                                                           \
        c.ip = ip;                                                                                 \
        c.executed = executed;                                                                     \
    } while (0)
#define LEAVE(code)                                                                                \
    do {                                                                                           \
        SAVE();                                                                                    \
        return code;                                                                               \
    } while (0)
// The next instruction of the block, unless a write has just changed code.
#define NEXT()                                                                                     \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        ++insn;                                                                                    \
        if (c.code_changed) [[unlikely]]                                                           \
            goto lookup;                                                                           \
        next = uint16_t(ip + insn->len);                                                           \
        goto *table[insn->op];                                                                     \
    } while (0)
// Finds (or decodes) the block at CS:ip and jumps to its first handler.
// Every transfer of control has its own copy, so that the jump at its end
// is predicted for that place alone.
#define ENTER_BLOCK()                                                                              \
    do {                                                                                           \
        if (c.code_changed) [[unlikely]] {                                                         \
            c.code_changed = false;                                                                \
            epoch_key = c.cache->key(0);                                                           \
        }                                                                                          \
        code_base = c.sbase[CS] - c.base;                                                          \
        ENTER_AT_CODE_BASE();                                                                      \
    } while (0)
// The rest of it, once CS is known not to have changed since: after a
// near transfer of control that wrote no memory.
#define ENTER_AT_CODE_BASE()                                                                       \
    do {                                                                                           \
        if (executed >= limit) [[unlikely]]                                                        \
            LEAVE(VM86_SIGNAL);                                                                    \
        uint32_t index = code_base + ip;                                                           \
        const Block *block = &blocks[block_slot(index)];                                           \
        if (block->key != (epoch_key | index) || ip + block->bytes > 0x10000) [[unlikely]] {       \
            c.ip = ip;                                                                             \
            block = &build_block(c, ip, index, limit - executed);                                  \
        }                                                                                          \
        if (limit - executed < block->count) [[unlikely]]                                          \
            block = &single_instruction(c, *block);                                                \
        current_block = block;                                                                     \
        block_ip = ip;                                                                             \
        insn = block->insns;                                                                       \
        next = uint16_t(ip + insn->len);                                                           \
        goto *table[insn->op];                                                                     \
    } while (0)
// The same for handlers that never write memory, and so cannot change code.
#define NEXT_READ_ONLY()                                                                           \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        ++insn;                                                                                    \
        next = uint16_t(ip + insn->len);                                                           \
        goto *table[insn->op];                                                                     \
    } while (0)
// After a transfer of control (which always ends a block).
#define JUMP()                                                                                     \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        ENTER_BLOCK();                                                                             \
    } while (0)
// After a near jump, conditional jump or loop: CS and the code are as the
// last block entered found them.
#define JUMP_NEAR()                                                                                \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        if (ip == block_ip && limit - executed >= current_block->count) {                          \
            /* back to the start of this block: a loop */                                          \
            insn = current_block->insns;                                                           \
            next = uint16_t(ip + insn->len);                                                       \
            goto *table[insn->op];                                                                 \
        }                                                                                          \
        ENTER_AT_CODE_BASE();                                                                      \
    } while (0)

    try {
    lookup:
        ENTER_BLOCK();
    op_block_end:
        ENTER_BLOCK();
        ALU_FORMS(ALU_ADD);
        ALU_FORMS(ALU_OR);
        ALU_FORMS(ALU_ADC);
        ALU_FORMS(ALU_SBB);
        ALU_FORMS(ALU_AND);
        ALU_FORMS(ALU_SUB);
        ALU_FORMS(ALU_XOR);
        ALU_FORMS(ALU_CMP);
    op_0x06: // PUSH ES, CS, SS, DS
        push16(c, c.sreg[(insn->op >> 3) & 3]);
        NEXT();
    op_0x07: // POP ES, SS, DS
        c.set_seg((insn->op >> 3) & 3, pop16(c));
        NEXT();
    op_0x27:
        daa(c);
        NEXT_READ_ONLY();
    op_0x2F:
        das(c);
        NEXT_READ_ONLY();
    op_0x37:
        aaa(c);
        NEXT_READ_ONLY();
    op_0x3F:
        aas(c);
        NEXT_READ_ONLY();
    op_0x40_0x47:
        c.r[insn->op & 7] = inc_dec<true>(c, c.r[insn->op & 7], false);
        NEXT_READ_ONLY();
    op_0x48_0x4F:
        c.r[insn->op & 7] = inc_dec<true>(c, c.r[insn->op & 7], true);
        NEXT_READ_ONLY();
    op_0x50_0x57: // PUSH SP pushes the value before the decrement
        push16(c, c.r[insn->op & 7]);
        NEXT();
    op_0x58_0x5F : {
        uint16_t v = pop16(c);
        c.r[insn->op & 7] = v;
        NEXT();
    }
    op_0x60:
        pusha(c);
        NEXT();
    op_0x61:
        popa(c);
        NEXT();
    op_0x62:
        bound(c, *insn);
        NEXT_READ_ONLY();
    op_0x68:
        push16(c, insn->imm);
        NEXT();
    op_0x69:
        c.r[insn->reg] = imul_imm(c, read_rm<true>(c, *insn), insn->imm);
        NEXT_READ_ONLY();
    op_0x6C_0x6F: // INS, OUTS // IN, OUT // HLT
        LEAVE(VM86_UNKNOWN);
        JCC(0);
        JCC(1);
        JCC(2);
        JCC(3);
        JCC(4);
        JCC(5);
        JCC(6);
        JCC(7);
        JCC(8);
        JCC(9);
        JCC(10);
        JCC(11);
        JCC(12);
        JCC(13);
        JCC(14);
        JCC(15);
        GROUP_ALU(ALU_ADD);
        GROUP_ALU(ALU_OR);
        GROUP_ALU(ALU_ADC);
        GROUP_ALU(ALU_SBB);
        GROUP_ALU(ALU_AND);
        GROUP_ALU(ALU_SUB);
        GROUP_ALU(ALU_XOR);
        GROUP_ALU(ALU_CMP);
    op_0x84:
        test_values<false>(c, read_rm<false>(c, *insn), reg8(c, insn->reg));
        NEXT_READ_ONLY();
    op_0x85:
        test_values<true>(c, read_rm<true>(c, *insn), c.r[insn->reg]);
        NEXT_READ_ONLY();
    op_0x86 : {
        uint8_t v = uint8_t(read_rm<false>(c, *insn));
        write_rm<false>(c, *insn, reg8(c, insn->reg));
        reg8(c, insn->reg) = v;
        NEXT();
    }
    op_0x87 : {
        uint16_t v = read_rm<true>(c, *insn);
        write_rm<true>(c, *insn, c.r[insn->reg]);
        c.r[insn->reg] = v;
        NEXT();
    }
    op_0x88:
        write_rm<false>(c, *insn, reg8(c, insn->reg));
        NEXT();
    op_0x89:
        write_rm<true>(c, *insn, c.r[insn->reg]);
        NEXT();
    op_0x8A:
        reg8(c, insn->reg) = uint8_t(read_rm<false>(c, *insn));
        NEXT_READ_ONLY();
    op_0x8B:
        c.r[insn->reg] = read_rm<true>(c, *insn);
        NEXT_READ_ONLY();
    op_0x8C:
        write_rm<true>(c, *insn, c.sreg[insn->reg]);
        NEXT();
    op_0x8D:
        c.r[insn->reg] = effective_offset(c, *insn);
        NEXT_READ_ONLY();
    op_0x8E:
        c.set_seg(insn->reg, read_rm<true>(c, *insn));
        NEXT();
    op_0x8F : { // POP r/m16: SP has moved on before the store (which may fault)
        uint16_t v = pop16(c);
        write_rm<true>(c, *insn, v);
        NEXT();
    }
    op_0x90_0x97 : {
        uint16_t v = c.r[insn->op & 7];
        c.r[insn->op & 7] = c.r[AX];
        c.r[AX] = v;
        NEXT_READ_ONLY();
    }
    op_0x98:
        c.r[AX] = uint16_t(int8_t(reg8(c, AX)));
        NEXT_READ_ONLY();
    op_0x99:
        c.r[DX] = (c.r[AX] & 0x8000) ? 0xFFFF : 0;
        NEXT_READ_ONLY();
    op_0x9A:
        next = call_far(c, insn->imm2, insn->imm, next);
        NEXT();
    op_0x9B: // WAIT: there is no coprocessor to wait for
        NEXT();
    op_0x9C:
        push16(c, pushed_flags(c));
        NEXT();
    op_0x9D:
        load_flags(c, pop16(c));
        NEXT();
    op_0x9E : {
        uint16_t f = get_flags(c);
        set_arith(c, uint16_t((f & ~0xD5) | (reg8(c, 4) & 0xD5)));
        NEXT();
    }
    op_0x9F:
        reg8(c, 4) = uint8_t(get_flags(c));
        NEXT_READ_ONLY();
    op_0xA0:
        reg8(c, AX) = read8(c, insn->seg, insn->disp);
        NEXT_READ_ONLY();
    op_0xA1:
        c.r[AX] = read16(c, insn->seg, insn->disp);
        NEXT_READ_ONLY();
    op_0xA2:
        write8(c, insn->seg, insn->disp, reg8(c, AX));
        NEXT();
    op_0xA3:
        write16(c, insn->seg, insn->disp, c.r[AX]);
        NEXT();
    op_0xA4:
        movs<false>(c, *insn);
        NEXT();
    op_0xA5:
        movs<true>(c, *insn);
        NEXT();
    op_0xA6:
        cmps<false>(c, *insn);
        NEXT();
    op_0xA7:
        cmps<true>(c, *insn);
        NEXT();
    op_0xA8:
        test_values<false>(c, reg8(c, AX), insn->imm);
        NEXT_READ_ONLY();
    op_0xA9:
        test_values<true>(c, c.r[AX], insn->imm);
        NEXT_READ_ONLY();
    op_0xAA:
        stos<false>(c, *insn);
        NEXT();
    op_0xAB:
        stos<true>(c, *insn);
        NEXT();
    op_0xAC:
        lods<false>(c, *insn);
        NEXT();
    op_0xAD:
        lods<true>(c, *insn);
        NEXT();
    op_0xAE:
        scas<false>(c, *insn);
        NEXT();
    op_0xAF:
        scas<true>(c, *insn);
        NEXT();
    op_0xB0_0xB7:
        reg8(c, insn->op & 7) = uint8_t(insn->imm);
        NEXT_READ_ONLY();
    op_0xB8_0xBF:
        c.r[insn->op & 7] = insn->imm;
        NEXT_READ_ONLY();
        GROUP_SHIFT(SH_ROL);
        GROUP_SHIFT(SH_ROR);
        GROUP_SHIFT(SH_RCL);
        GROUP_SHIFT(SH_RCR);
        GROUP_SHIFT(SH_SHL);
        GROUP_SHIFT(SH_SHR);
        GROUP_SHIFT(SH_SAL);
        GROUP_SHIFT(SH_SAR);
    op_0xC2 : {
        uint16_t target = pop16(c);
        c.r[SP] = uint16_t(c.r[SP] + insn->imm);
        next = target;
        NEXT();
    }
    op_0xC3:
        next = pop16(c);
        NEXT();
    op_0xC4 : {
        uint16_t off, seg;
        load_far_pointer(c, *insn, off, seg);
        c.r[insn->reg] = off;
        c.set_seg(insn->op == 0xC4 ? ES : DS, seg);
        NEXT_READ_ONLY();
    }
    op_0xC6:
        write_rm<false>(c, *insn, insn->imm);
        NEXT();
    op_0xC7:
        write_rm<true>(c, *insn, insn->imm);
        NEXT();
    op_0xC8:
        enter(c, insn->imm, uint8_t(insn->imm2));
        NEXT();
    op_0xC9:
        leave(c);
        NEXT();
    op_0xCA:
        next = return_far(c, insn->imm);
        NEXT();
    op_0xCB:
        next = return_far(c, 0);
        NEXT();
    op_0xCC : {
        uint8_t n = insn->op == 0xCC ? 3 : insn->op == 0xCE ? 4 : uint8_t(insn->imm);
        if (insn->op == 0xCE && !(get_flags(c) & OF))
            NEXT();
        if (!enter_interrupt(c, n, next, &next)) {
            ip = next;
            ++executed;
            LEAVE(intx(n));
        }
        NEXT();
    }
    op_0xCF:
        next = iret(c);
        NEXT();
    op_0xD4:
        aam(c, uint8_t(insn->imm));
        NEXT_READ_ONLY();
    op_0xD5:
        aad(c, uint8_t(insn->imm));
        NEXT_READ_ONLY();
    op_0xD6:
        salc(c);
        NEXT_READ_ONLY();
    op_0xD7:
        reg8(c, AX) = read8(c, insn->seg, uint16_t(c.r[BX] + reg8(c, AX)));
        NEXT_READ_ONLY();
    op_0xD8_0xDF: // no coprocessor: the operand is checked, not used
        if (insn->mem && effective_offset(c, *insn) > 0xFFFC)
            raise_exception(13);
        NEXT();
    op_0xE0 : {
        uint16_t cx = uint16_t(c.r[CX] - 1);
        c.r[CX] = cx;
        bool go = cx != 0;
        if (insn->op == 0xE0)
            go = go && !get_zf(c);
        else if (insn->op == 0xE1)
            go = go && get_zf(c);
        if (go) {
            next = uint16_t(next + insn->imm);
            JUMP_NEAR();
        }
        NEXT_READ_ONLY();
    }
    op_0xE3:
        if (c.r[CX] == 0) {
            next = uint16_t(next + insn->imm);
            JUMP_NEAR();
        }
        NEXT_READ_ONLY();
    op_0xE8:
        push16(c, next);
        next = uint16_t(next + insn->imm);
        NEXT();
    op_0xE9:
        next = uint16_t(next + insn->imm);
        JUMP_NEAR();
    op_0xEA:
        c.set_seg(CS, insn->imm2);
        next = insn->imm;
        NEXT();
    op_0xF5:
        materialize(c);
        c.flags ^= CF;
        NEXT_READ_ONLY();
    op_0xF8:
        materialize(c);
        c.flags = uint16_t((c.flags & ~CF) | (insn->op & 1));
        NEXT_READ_ONLY();
    op_0xFA: // the interrupt flag is the program's own
        c.flags = uint16_t((c.flags & ~IF) | ((insn->op & 1) ? IF : 0));
        NEXT_READ_ONLY();
    op_0xFC:
        c.flags = uint16_t((c.flags & ~DF) | ((insn->op & 1) ? DF : 0));
        NEXT_READ_ONLY();
    op_G_UN8_0:
        test_values<false>(c, read_rm<false>(c, *insn), insn->imm);
        NEXT();
    op_G_UN16_0:
        test_values<true>(c, read_rm<true>(c, *insn), insn->imm);
        NEXT();
    op_G_UN8_2:
        not_rm<false>(c, *insn);
        NEXT();
    op_G_UN16_2:
        not_rm<true>(c, *insn);
        NEXT();
    op_G_UN8_3:
        neg_rm<false>(c, *insn);
        NEXT();
    op_G_UN16_3:
        neg_rm<true>(c, *insn);
        NEXT();
    op_G_UN8_4:
        mul8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_G_UN16_4:
        mul16(c, read_rm<true>(c, *insn));
        NEXT();
    op_G_UN8_5:
        imul8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_G_UN16_5:
        imul16(c, read_rm<true>(c, *insn));
        NEXT();
    op_G_UN8_6:
        div8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_G_UN16_6:
        div16(c, read_rm<true>(c, *insn));
        NEXT();
    op_G_UN8_7:
        idiv8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_G_UN16_7:
        idiv16(c, read_rm<true>(c, *insn));
        NEXT();
    op_G_FE_0:
        inc_dec_rm<false>(c, *insn, false);
        NEXT();
    op_G_FE_1:
        inc_dec_rm<false>(c, *insn, true);
        NEXT();
    op_G_FF_0:
        inc_dec_rm<true>(c, *insn, false);
        NEXT();
    op_G_FF_1:
        inc_dec_rm<true>(c, *insn, true);
        NEXT();
    op_G_FF_2 : {
        uint16_t target = read_rm<true>(c, *insn);
        push16(c, next);
        next = target;
        NEXT();
    }
    op_G_FF_3 : {
        uint16_t off, seg;
        load_far_pointer(c, *insn, off, seg);
        next = call_far(c, seg, off, next);
        NEXT();
    }
    op_G_FF_4:
        next = read_rm<true>(c, *insn);
        NEXT();
    op_G_FF_5 : {
        uint16_t off, seg;
        load_far_pointer(c, *insn, off, seg);
        c.set_seg(CS, seg);
        next = off;
        NEXT();
    }
    op_G_FF_6:
        push16(c, read_rm<true>(c, *insn));
        NEXT();
    op_OP_TOO_LONG:
        raise_exception(13);
    op_invalid: // OP_INVALID and every opcode the decoder marks so
        raise_exception(6);
    } catch (const Trap &) {
        SAVE();
        throw;
    }
#undef NEXT
#undef NEXT_READ_ONLY
#undef JUMP
#undef JUMP_NEAR
#undef ENTER_AT_CODE_BASE
#undef ENTER_BLOCK
#undef LEAVE
#undef SAVE
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
    // Real mode reaches linear addresses up to FFFF:FFFF = 0x10FFEF; memory
    // beyond that is never touched, and the engine sizes its tables by what
    // can be reached.
    constexpr uint32_t reachable = 0x10FFF0;
    uint32_t room = mem.base < reachable ? reachable - mem.base : 0;
    c.size = mem.host ? std::min(mem.size, room) : 0;
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
