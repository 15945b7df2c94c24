// The one signature of the instruction handlers, and what they return.
//
// A handler carries out one decoded instruction. It receives the
// processor, the instruction and `next`, the IP of the instruction after
// it, which a transfer of control replaces with its target. How the run
// loop goes on afterwards is the handler's row of the opcode table
// (opcode_table.h); the handler's result only tells it what cannot be
// known before the instruction runs.
#pragma once

#include "cpu_state.h"
#include "decode.h"
#include "vm86_engine.h"

#include <cstdint>

namespace vm86::engine {

using Handler = int (*)(Cpu &c, const Insn &in, uint16_t &next);

// The usual result: the run goes on as the row says.
constexpr int go_on = 0;
// What a conditional jump returns when it jumps (`next` is its target).
constexpr int jumped = 1;
// Not a code of the vm86 entry: POPF or IRET has set TF, and the run goes
// on one instruction at a time (see single_step).
constexpr int step_from_here = 0xFF;

// The vm86 code that hands interrupt `n` to the caller.
constexpr int intx(unsigned n) {
    return VM86_INTx | int(n << 8);
}

// A near jump relative to the next instruction.
VM86_HOT int jump_relative(const Insn &in, uint16_t &next) {
    next = uint16_t(next + in.imm);
    return jumped;
}

} // namespace vm86::engine
