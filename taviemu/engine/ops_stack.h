// The stack: PUSH and POP of registers, segments, immediates, memory and
// FLAGS, PUSHA/POPA and ENTER/LEAVE. An instruction that writes several
// words checks them all first: when one of them would fault, SP and
// memory stay as they were, and the fault is reported at an instruction
// that has done nothing.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "operands.h"

namespace vm86::engine {

// PUSH ES, CS, SS, DS (06, 0E, 16, 1E).
inline int push_seg(Cpu &c, const Insn &in, uint16_t &) {
    push16(c, c.sreg[(in.op >> 3) & 3]);
    return go_on;
}

// POP ES, SS, DS (07, 17, 1F).
inline int pop_seg(Cpu &c, const Insn &in, uint16_t &) {
    c.set_seg((in.op >> 3) & 3, pop16(c));
    return go_on;
}

// PUSH reg (50 to 57): PUSH SP pushes the value before the decrement.
VM86_HOT int push_reg(Cpu &c, const Insn &in, uint16_t &) {
    push16(c, c.r[in.op & 7]);
    return go_on;
}

// POP reg (58 to 5F): POP SP keeps the popped value.
VM86_HOT int pop_reg(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t v = pop16(c);
    c.r[in.op & 7] = v;
    return go_on;
}

// PUSH imm (68, 6A).
VM86_HOT int push_imm(Cpu &c, const Insn &in, uint16_t &) {
    push16(c, in.imm);
    return go_on;
}

// PUSH r/m16 (FF with reg 6).
VM86_HOT int push_rm(Cpu &c, const Insn &in, uint16_t &) {
    push16(c, read_rm<true>(c, in));
    return go_on;
}

// POP r/m16 (8F): SP has moved on before the store (which may fault).
VM86_HOT int pop_rm(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t v = pop16(c);
    write_rm<true>(c, in, v);
    return go_on;
}

inline int pushf(Cpu &c, const Insn &, uint16_t &) {
    push16(c, pushed_flags(c));
    return go_on;
}

// POPF: once TF is set, the caller steps one instruction at a time.
inline int popf(Cpu &c, const Insn &, uint16_t &) {
    load_flags(c, pop16(c));
    return (c.flags & TF) ? step_from_here : go_on;
}

inline int pusha(Cpu &c, const Insn &, uint16_t &) {
    check_pushes(c, 8);
    uint16_t sp = c.r[SP];
    for (unsigned n = AX; n <= DI; ++n)
        push16(c, n == SP ? sp : c.r[n]);
    return go_on;
}

inline int popa(Cpu &c, const Insn &, uint16_t &) {
    for (int n = DI; n >= AX; --n) {
        uint16_t v = pop16(c);
        if (n != SP)
            c.r[n] = v;
    }
    return go_on;
}

// ENTER size, level: the 286 takes the level modulo 32.
inline int enter(Cpu &c, const Insn &in, uint16_t &) {
    unsigned level = in.imm2 & 31;
    check_pushes(c, level > 0 ? level + 1u : 1u);
    for (unsigned i = 1; i < level; ++i)
        check_word(c, SS, uint16_t(c.r[BP] - 2 * i)); // the frame pointers copied
    push16(c, c.r[BP]);
    uint16_t frame = c.r[SP];
    if (level > 0) {
        uint16_t bp = c.r[BP];
        for (unsigned i = 1; i < level; ++i) {
            bp = uint16_t(bp - 2);
            push16(c, read16(c, SS, bp));
        }
        push16(c, frame);
    }
    c.r[BP] = frame;
    c.r[SP] = uint16_t(c.r[SP] - in.imm);
    return go_on;
}

inline int leave(Cpu &c, const Insn &, uint16_t &) {
    uint16_t bp = read16(c, SS, c.r[BP]);
    c.r[SP] = uint16_t(c.r[BP] + 2);
    c.r[BP] = bp;
    return go_on;
}

} // namespace vm86::engine
