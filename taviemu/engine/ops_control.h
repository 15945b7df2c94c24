// Transfers of control: jumps, conditional jumps and loops, calls and
// returns near and far, INT and IRET, and BOUND. A far call checks both
// of its pushes first: when one of them would fault, SP and memory stay as
// they were, and the fault is reported at an instruction that has done
// nothing.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "interrupts.h"
#include "operands.h"

namespace vm86::engine {

// Pushes CS and the return address, then loads CS; returns the new IP.
inline uint16_t call_far(Cpu &c, uint16_t segment, uint16_t offset, uint16_t return_ip) {
    check_pushes(c, 2);
    push16(c, c.sreg[CS]);
    push16(c, return_ip);
    c.set_seg(CS, segment);
    return offset;
}

// RETF with `release` bytes of arguments; returns the new IP.
inline uint16_t return_far(Cpu &c, uint16_t release) {
    uint16_t sp = c.r[SP];
    uint16_t ip = read16(c, SS, sp);
    uint16_t cs = read16(c, SS, uint16_t(sp + 2));
    c.r[SP] = uint16_t(sp + 4 + release);
    c.set_seg(CS, cs);
    return ip;
}

inline uint16_t iret(Cpu &c) {
    uint16_t sp = c.r[SP];
    uint16_t ip = read16(c, SS, sp);
    uint16_t cs = read16(c, SS, uint16_t(sp + 2));
    uint16_t flags = read16(c, SS, uint16_t(sp + 4));
    c.r[SP] = uint16_t(sp + 6);
    c.set_seg(CS, cs);
    load_flags(c, flags);
    return ip;
}

inline int bound(Cpu &c, const Insn &in, uint16_t &) {
    uint16_t lo, hi;
    load_far_pointer(c, in, lo, hi);
    int16_t v = int16_t(c.r[in.reg]);
    if (v < int16_t(lo) || v > int16_t(hi))
        raise_exception(5);
    return go_on;
}

// Jcc (70 to 7F): the condition is the low nibble.
template <unsigned Cc> VM86_HOT int jump_if(Cpu &c, const Insn &in, uint16_t &next) {
    return condition(c, Cc) ? jump_relative(in, next) : go_on;
}

// LOOPNZ, LOOPZ, LOOP (E0 to E2): CX counts down, and ZF may end it early.
VM86_HOT int loop(Cpu &c, const Insn &in, uint16_t &next) {
    uint16_t cx = uint16_t(c.r[CX] - 1);
    c.r[CX] = cx;
    bool go = cx != 0;
    if (in.op == 0xE0)
        go = go && !get_zf(c);
    else if (in.op == 0xE1)
        go = go && get_zf(c);
    return go ? jump_relative(in, next) : go_on;
}

VM86_HOT int jcxz(Cpu &c, const Insn &in, uint16_t &next) {
    return c.r[CX] == 0 ? jump_relative(in, next) : go_on;
}

// JMP rel16 and rel8 (E9, EB).
VM86_HOT int jmp_near(Cpu &, const Insn &in, uint16_t &next) {
    return jump_relative(in, next);
}

// JMP r/m16 (FF with reg 4).
VM86_HOT int jmp_rm(Cpu &c, const Insn &in, uint16_t &next) {
    next = read_rm<true>(c, in);
    return go_on;
}

// JMP ptr16:16 (EA).
inline int jmp_far_ptr(Cpu &c, const Insn &in, uint16_t &next) {
    c.set_seg(CS, in.imm2);
    next = in.imm;
    return go_on;
}

// JMP m16:16 (FF with reg 5).
inline int jmp_far_rm(Cpu &c, const Insn &in, uint16_t &next) {
    uint16_t off, seg;
    load_far_pointer(c, in, off, seg);
    c.set_seg(CS, seg);
    next = off;
    return go_on;
}

// CALL rel16 (E8).
VM86_HOT int call_near(Cpu &c, const Insn &in, uint16_t &next) {
    push16(c, next);
    jump_relative(in, next);
    return go_on;
}

// CALL r/m16 (FF with reg 2).
VM86_HOT int call_rm(Cpu &c, const Insn &in, uint16_t &next) {
    uint16_t target = read_rm<true>(c, in);
    push16(c, next);
    next = target;
    return go_on;
}

// CALL ptr16:16 (9A).
inline int call_far_ptr(Cpu &c, const Insn &in, uint16_t &next) {
    next = call_far(c, in.imm2, in.imm, next);
    return go_on;
}

// CALL m16:16 (FF with reg 3).
inline int call_far_rm(Cpu &c, const Insn &in, uint16_t &next) {
    uint16_t off, seg;
    load_far_pointer(c, in, off, seg);
    next = call_far(c, seg, off, next);
    return go_on;
}

// RET and RET imm16 (C3, C2): the immediate is 0 without one.
VM86_HOT int ret_near(Cpu &c, const Insn &in, uint16_t &next) {
    uint16_t target = pop16(c);
    c.r[SP] = uint16_t(c.r[SP] + in.imm);
    next = target;
    return go_on;
}

// RETF and RETF imm16 (CB, CA).
inline int ret_far(Cpu &c, const Insn &in, uint16_t &next) {
    next = return_far(c, in.imm);
    return go_on;
}

// INT3, INT n, INTO (CC to CE): taken through the vector table, or handed
// to the caller with IP past the instruction.
inline int interrupt(Cpu &c, const Insn &in, uint16_t &next) {
    uint8_t n = in.op == 0xCC ? 3 : in.op == 0xCE ? 4 : uint8_t(in.imm);
    if (in.op == 0xCE && !(get_flags(c) & OF))
        return go_on;
    return enter_interrupt(c, n, next, &next) ? go_on : intx(n);
}

// IRET (CF): once TF is set, the caller steps one instruction at a time.
inline int interrupt_return(Cpu &c, const Insn &, uint16_t &next) {
    next = iret(c);
    return (c.flags & TF) ? step_from_here : go_on;
}

} // namespace vm86::engine
