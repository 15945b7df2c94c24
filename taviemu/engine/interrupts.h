// Entering an interrupt or exception the way real mode does, unless the
// caller has claimed it.
#pragma once

#include "cpu_state.h"

namespace vm86::engine {

// Takes interrupt `n` through the vector table with `return_ip` as the
// address to come back to: pushes FLAGS, CS and IP, clears IF and TF and
// loads CS and *new_ip from the table. Returns false, changing nothing, when
// the interrupt belongs to the caller instead: it is revectored, or (as the
// kernel's entry has it) CS or the vector's segment is F000, or the table
// entry lies outside the memory.
bool enter_interrupt(Cpu &c, uint8_t n, uint16_t return_ip, uint16_t *new_ip);

} // namespace vm86::engine
