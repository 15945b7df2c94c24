// The run loop: find the decoded block at CS:IP, run its instructions
// through one table of handlers, and come back to the caller when the
// program needs it.
#include "../vm86_engine.h"
#include "code_cache.h"
#include "cpu_state.h"
#include "decode.h"
#include "interrupts.h"
#include "op_list.h"
#include "ops_alu.h"
#include "ops_bcd.h"
#include "ops_control.h"
#include "ops_muldiv.h"
#include "ops_shift.h"
#include "ops_string.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>

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

// Not a code of the vm86 entry: execute() has run POPF or IRET, which set
// TF, and the run goes on one instruction at a time.
constexpr int step_from_here = 0xFF;

// Handlers that exist once per condition, ALU operation or shift kind.
#define JCC(cc)                                                                                    \
    jcc_##cc : if (condition(c, cc)) {                                                             \
        next = uint16_t(next + insn->imm);                                                         \
        JUMP_NEAR();                                                                               \
    }                                                                                              \
    NEXT_READ_ONLY();

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

#define GROUP_ALU(kind)                                                                            \
    group_alu8_##kind : alu_rm<false>(c, *insn, kind, insn->imm);                                  \
    NEXT();                                                                                        \
    group_alu16_##kind : alu_rm<true>(c, *insn, kind, insn->imm);                                  \
    NEXT();

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

// Fills the dispatch table from the one list of operations (op_list.h).
void fill_table(const void **table, const void *const *labels) {
    for (size_t i = 0; i < std::size(op_ranges); ++i)
        for (unsigned op = op_ranges[i].first; op <= op_ranges[i].last; ++op)
            table[op] = labels[i];
}

// Runs instructions until one needs the caller; returns the vm86 code, or
// step_from_here when POPF or IRET has just set TF. A trap thrown from
// inside leaves c.ip at the start of the instruction.
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
#define VM86_LABEL(label, first, last) &&label,
        static const void *const labels[] = {VM86_OPS(VM86_LABEL)};
#undef VM86_LABEL
        fill_table(table, labels);
        c.cache->handlers_ready = true;
    }
    // The hot state lives in locals; c.ip and c.executed are brought up to
    // date whenever control leaves this function, a trap included.
    uint16_t ip = c.ip;
    uint64_t executed = c.executed;
    const Insn *insn;
    uint16_t next;
    Block *const blocks = c.cache->blocks.data();
    uint64_t epoch_key = c.cache->key(0); // the epoch of this run()
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
        if (c.code_changed) [[unlikely]]                                                           \
            code_written(c, nullptr, 0);                                                           \
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
// After POPF or IRET: once TF is set, the caller steps one instruction at
// a time.
#define NEXT_UNLESS_TRAP_FLAG()                                                                    \
    do {                                                                                           \
        if (c.flags & TF) [[unlikely]] {                                                           \
            ip = next;                                                                             \
            ++executed;                                                                            \
            LEAVE(step_from_here);                                                                 \
        }                                                                                          \
        NEXT();                                                                                    \
    } while (0)

    try {
        ENTER_BLOCK();
    lookup:
        // An instruction has written into decoded code. The block running
        // goes on with its next instruction when it is still whole.
        if (code_written(c, current_block, code_base + block_ip)) {
            next = uint16_t(ip + insn->len);
            goto *table[insn->op];
        }
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
        GROUP_SHIFT(SH_ROL);
        GROUP_SHIFT(SH_ROR);
        GROUP_SHIFT(SH_RCL);
        GROUP_SHIFT(SH_RCR);
        GROUP_SHIFT(SH_SHL);
        GROUP_SHIFT(SH_SHR);
        GROUP_SHIFT(SH_SAL);
        GROUP_SHIFT(SH_SAR);
    op_push_seg: // PUSH ES, CS, SS, DS
        push16(c, c.sreg[(insn->op >> 3) & 3]);
        NEXT();
    op_pop_seg: // POP ES, SS, DS
        c.set_seg((insn->op >> 3) & 3, pop16(c));
        NEXT();
    op_daa:
        daa(c);
        NEXT_READ_ONLY();
    op_das:
        das(c);
        NEXT_READ_ONLY();
    op_aaa:
        aaa(c);
        NEXT_READ_ONLY();
    op_aas:
        aas(c);
        NEXT_READ_ONLY();
    op_inc_reg:
        c.r[insn->op & 7] = inc_dec<true>(c, c.r[insn->op & 7], false);
        NEXT_READ_ONLY();
    op_dec_reg:
        c.r[insn->op & 7] = inc_dec<true>(c, c.r[insn->op & 7], true);
        NEXT_READ_ONLY();
    op_push_reg: // PUSH SP pushes the value before the decrement
        push16(c, c.r[insn->op & 7]);
        NEXT();
    op_pop_reg : {
        uint16_t v = pop16(c);
        c.r[insn->op & 7] = v;
        NEXT();
    }
    op_pusha:
        pusha(c);
        NEXT();
    op_popa:
        popa(c);
        NEXT();
    op_bound:
        bound(c, *insn);
        NEXT_READ_ONLY();
    op_push_imm:
        push16(c, insn->imm);
        NEXT();
    op_imul_imm:
        c.r[insn->reg] = imul_imm(c, read_rm<true>(c, *insn), insn->imm);
        NEXT_READ_ONLY();
    op_unknown: // INS, OUTS, IN, OUT, HLT
        LEAVE(VM86_UNKNOWN);
    op_test_rm8:
        test_values<false>(c, read_rm<false>(c, *insn), reg8(c, insn->reg));
        NEXT_READ_ONLY();
    op_test_rm16:
        test_values<true>(c, read_rm<true>(c, *insn), c.r[insn->reg]);
        NEXT_READ_ONLY();
    op_xchg_rm8 : {
        uint8_t v = uint8_t(read_rm<false>(c, *insn));
        write_rm<false>(c, *insn, reg8(c, insn->reg));
        reg8(c, insn->reg) = v;
        NEXT();
    }
    op_xchg_rm16 : {
        uint16_t v = read_rm<true>(c, *insn);
        write_rm<true>(c, *insn, c.r[insn->reg]);
        c.r[insn->reg] = v;
        NEXT();
    }
    op_mov_rm8_reg:
        write_rm<false>(c, *insn, reg8(c, insn->reg));
        NEXT();
    op_mov_rm16_reg:
        write_rm<true>(c, *insn, c.r[insn->reg]);
        NEXT();
    op_mov_reg8_rm:
        reg8(c, insn->reg) = uint8_t(read_rm<false>(c, *insn));
        NEXT_READ_ONLY();
    op_mov_reg16_rm:
        c.r[insn->reg] = read_rm<true>(c, *insn);
        NEXT_READ_ONLY();
    op_mov_rm_sreg:
        write_rm<true>(c, *insn, c.sreg[insn->reg]);
        NEXT();
    op_lea:
        c.r[insn->reg] = effective_offset(c, *insn);
        NEXT_READ_ONLY();
    op_mov_sreg_rm:
        c.set_seg(insn->reg, read_rm<true>(c, *insn));
        NEXT();
    op_pop_rm : { // POP r/m16: SP has moved on before the store (which may fault)
        uint16_t v = pop16(c);
        write_rm<true>(c, *insn, v);
        NEXT();
    }
    op_xchg_ax : {
        uint16_t v = c.r[insn->op & 7];
        c.r[insn->op & 7] = c.r[AX];
        c.r[AX] = v;
        NEXT_READ_ONLY();
    }
    op_cbw:
        c.r[AX] = uint16_t(int8_t(reg8(c, AX)));
        NEXT_READ_ONLY();
    op_cwd:
        c.r[DX] = (c.r[AX] & 0x8000) ? 0xFFFF : 0;
        NEXT_READ_ONLY();
    op_call_far:
        next = call_far(c, insn->imm2, insn->imm, next);
        NEXT();
    op_wait: // there is no coprocessor to wait for
        NEXT();
    op_pushf:
        push16(c, pushed_flags(c));
        NEXT();
    op_popf:
        load_flags(c, pop16(c));
        NEXT_UNLESS_TRAP_FLAG();
    op_sahf : {
        uint16_t f = get_flags(c);
        set_arith(c, uint16_t((f & ~0xD5) | (reg8(c, 4) & 0xD5)));
        NEXT();
    }
    op_lahf:
        reg8(c, 4) = uint8_t(get_flags(c));
        NEXT_READ_ONLY();
    op_mov_al_moffs:
        reg8(c, AX) = read8(c, insn->seg, insn->disp);
        NEXT_READ_ONLY();
    op_mov_ax_moffs:
        c.r[AX] = read16(c, insn->seg, insn->disp);
        NEXT_READ_ONLY();
    op_mov_moffs_al:
        write8(c, insn->seg, insn->disp, reg8(c, AX));
        NEXT();
    op_mov_moffs_ax:
        write16(c, insn->seg, insn->disp, c.r[AX]);
        NEXT();
    op_movsb:
        movs<false>(c, *insn);
        NEXT();
    op_movsw:
        movs<true>(c, *insn);
        NEXT();
    op_cmpsb:
        cmps<false>(c, *insn);
        NEXT();
    op_cmpsw:
        cmps<true>(c, *insn);
        NEXT();
    op_test_al:
        test_values<false>(c, reg8(c, AX), insn->imm);
        NEXT_READ_ONLY();
    op_test_ax:
        test_values<true>(c, c.r[AX], insn->imm);
        NEXT_READ_ONLY();
    op_stosb:
        stos<false>(c, *insn);
        NEXT();
    op_stosw:
        stos<true>(c, *insn);
        NEXT();
    op_lodsb:
        lods<false>(c, *insn);
        NEXT();
    op_lodsw:
        lods<true>(c, *insn);
        NEXT();
    op_scasb:
        scas<false>(c, *insn);
        NEXT();
    op_scasw:
        scas<true>(c, *insn);
        NEXT();
    op_mov_reg8_imm:
        reg8(c, insn->op & 7) = uint8_t(insn->imm);
        NEXT_READ_ONLY();
    op_mov_reg16_imm:
        c.r[insn->op & 7] = insn->imm;
        NEXT_READ_ONLY();
    op_ret_imm : {
        uint16_t target = pop16(c);
        c.r[SP] = uint16_t(c.r[SP] + insn->imm);
        next = target;
        NEXT();
    }
    op_ret:
        next = pop16(c);
        NEXT();
    op_load_far : { // LES, LDS
        uint16_t off, seg;
        load_far_pointer(c, *insn, off, seg);
        c.r[insn->reg] = off;
        c.set_seg(insn->op == 0xC4 ? ES : DS, seg);
        NEXT_READ_ONLY();
    }
    op_mov_rm8_imm:
        write_rm<false>(c, *insn, insn->imm);
        NEXT();
    op_mov_rm16_imm:
        write_rm<true>(c, *insn, insn->imm);
        NEXT();
    op_enter:
        enter(c, insn->imm, uint8_t(insn->imm2));
        NEXT();
    op_leave:
        leave(c);
        NEXT();
    op_retf_imm:
        next = return_far(c, insn->imm);
        NEXT();
    op_retf:
        next = return_far(c, 0);
        NEXT();
    op_int : { // INT3, INT n, INTO
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
    op_iret:
        next = iret(c);
        NEXT_UNLESS_TRAP_FLAG();
    op_aam:
        aam(c, uint8_t(insn->imm));
        NEXT_READ_ONLY();
    op_aad:
        aad(c, uint8_t(insn->imm));
        NEXT_READ_ONLY();
    op_salc:
        salc(c);
        NEXT_READ_ONLY();
    op_xlat:
        reg8(c, AX) = read8(c, insn->seg, uint16_t(c.r[BX] + reg8(c, AX)));
        NEXT_READ_ONLY();
    op_esc: // no coprocessor: the operand is checked, not used
        if (insn->mem && effective_offset(c, *insn) > 0xFFFC)
            raise_exception(13);
        NEXT();
    op_loop : { // LOOPNZ, LOOPZ, LOOP
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
    op_jcxz:
        if (c.r[CX] == 0) {
            next = uint16_t(next + insn->imm);
            JUMP_NEAR();
        }
        NEXT_READ_ONLY();
    op_call_near:
        push16(c, next);
        next = uint16_t(next + insn->imm);
        NEXT();
    op_jmp_near:
        next = uint16_t(next + insn->imm);
        JUMP_NEAR();
    op_jmp_far:
        c.set_seg(CS, insn->imm2);
        next = insn->imm;
        NEXT();
    op_cmc:
        materialize(c);
        c.flags ^= CF;
        NEXT_READ_ONLY();
    op_clc_stc:
        materialize(c);
        c.flags = uint16_t((c.flags & ~CF) | (insn->op & 1));
        NEXT_READ_ONLY();
    op_cli_sti: // the interrupt flag is the program's own
        c.flags = uint16_t((c.flags & ~IF) | ((insn->op & 1) ? IF : 0));
        NEXT_READ_ONLY();
    op_cld_std:
        c.flags = uint16_t((c.flags & ~DF) | ((insn->op & 1) ? DF : 0));
        NEXT_READ_ONLY();
    op_test_rm8_imm:
        test_values<false>(c, read_rm<false>(c, *insn), insn->imm);
        NEXT();
    op_test_rm16_imm:
        test_values<true>(c, read_rm<true>(c, *insn), insn->imm);
        NEXT();
    op_not_rm8:
        not_rm<false>(c, *insn);
        NEXT();
    op_not_rm16:
        not_rm<true>(c, *insn);
        NEXT();
    op_neg_rm8:
        neg_rm<false>(c, *insn);
        NEXT();
    op_neg_rm16:
        neg_rm<true>(c, *insn);
        NEXT();
    op_mul8:
        mul8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_mul16:
        mul16(c, read_rm<true>(c, *insn));
        NEXT();
    op_imul8:
        imul8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_imul16:
        imul16(c, read_rm<true>(c, *insn));
        NEXT();
    op_div8:
        div8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_div16:
        div16(c, read_rm<true>(c, *insn));
        NEXT();
    op_idiv8:
        idiv8(c, uint8_t(read_rm<false>(c, *insn)));
        NEXT();
    op_idiv16:
        idiv16(c, read_rm<true>(c, *insn));
        NEXT();
    op_inc_rm8:
        inc_dec_rm<false>(c, *insn, false);
        NEXT();
    op_dec_rm8:
        inc_dec_rm<false>(c, *insn, true);
        NEXT();
    op_inc_rm16:
        inc_dec_rm<true>(c, *insn, false);
        NEXT();
    op_dec_rm16:
        inc_dec_rm<true>(c, *insn, true);
        NEXT();
    op_call_rm : {
        uint16_t target = read_rm<true>(c, *insn);
        push16(c, next);
        next = target;
        NEXT();
    }
    op_call_far_rm : {
        uint16_t off, seg;
        load_far_pointer(c, *insn, off, seg);
        next = call_far(c, seg, off, next);
        NEXT();
    }
    op_jmp_rm:
        next = read_rm<true>(c, *insn);
        NEXT();
    op_jmp_far_rm : {
        uint16_t off, seg;
        load_far_pointer(c, *insn, off, seg);
        c.set_seg(CS, seg);
        next = off;
        NEXT();
    }
    op_push_rm:
        push16(c, read_rm<true>(c, *insn));
        NEXT();
    op_too_long:
        raise_exception(13);
    op_invalid: // OP_INVALID and every number the decoder does not hand out
        raise_exception(6);
    } catch (const Trap &) {
        SAVE();
        throw;
    }
#undef NEXT
#undef NEXT_READ_ONLY
#undef NEXT_UNLESS_TRAP_FLAG
#undef JUMP_NEAR
#undef ENTER_AT_CODE_BASE
#undef ENTER_BLOCK
#undef LEAVE
#undef SAVE
}

// Runs one instruction that starts with TF set, then takes the debug trap
// that follows it: the caller's VM86_TRAP (the kernel's vm86old entry
// sends SIGTRAP there) or, in the chip's own view, interrupt 1 through the
// vector table, after which the run goes on (step_from_here). An
// instruction that returns to the caller or faults takes no trap, nor one
// that enters an interrupt (which clears TF): the run goes on after it.
int single_step(Cpu &c, uint64_t limit) {
    uint64_t before = c.executed;
    if (before >= limit)
        return VM86_SIGNAL;
    c.interrupt_entered = false;
    int code = execute(c, before + 1);
    if (code == step_from_here)
        code = VM86_SIGNAL;
    if (code != VM86_SIGNAL || c.executed == before)
        return code;
    if (c.interrupt_entered)
        return step_from_here;
    if (!c.real_mode_flags)
        return VM86_TRAP | 1 << 8;
    uint16_t ip;
    if (!enter_interrupt(c, 1, c.ip, &ip))
        return intx(1);
    c.ip = ip;
    return step_from_here;
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
    bool exception = false;
    for (;;) {
        try {
            if (pending >= 0) {
                uint8_t vector = uint8_t(pending);
                pending = -1;
                uint16_t ip;
                if (!enter_interrupt(c, vector, c.ip, &ip)) {
                    code = intx(vector);
                    exception = true;
                    break;
                }
                c.ip = ip;
            }
            code = (c.flags & TF) ? single_step(c, limit) : execute(c, limit);
            if (code != step_from_here)
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
    if (fault)
        fault->exception = exception;
    if (executed)
        *executed = c.executed;
    return code;
}

} // namespace vm86
