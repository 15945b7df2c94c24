// What is not computation: the coprocessor's WAIT and ESC, the
// instructions a virtual-8086 task may not execute, the opcodes the 286
// refuses, and the end marker of a decoded block.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "vm86_engine.h"

namespace vm86::engine {

// WAIT (9B): there is no coprocessor to wait for.
inline int coprocessor_wait(Cpu &, const Insn &, uint16_t &) {
    return go_on;
}

// ESC (D8 to DF): no coprocessor, so the operand is checked, not used.
inline int coprocessor_escape(Cpu &c, const Insn &in, uint16_t &) {
    if (in.mem && effective_offset(c, in) > 0xFFFC)
        raise_exception(13);
    return go_on;
}

// IN, OUT, INS, OUTS and HLT: the caller is asked, IP at the instruction.
inline int refused(Cpu &, const Insn &, uint16_t &) {
    return VM86_UNKNOWN;
}

// An opcode or ModRM form the 286 does not define.
inline int invalid(Cpu &, const Insn &, uint16_t &) {
    raise_exception(6);
}

// More than ten bytes with the prefixes: a general protection fault.
inline int too_long(Cpu &, const Insn &, uint16_t &) {
    raise_exception(13);
}

// Not an instruction: the end of a block, after which the run loop finds
// the block at IP.
inline int block_end(Cpu &, const Insn &, uint16_t &) {
    return go_on;
}

} // namespace vm86::engine
