// The ModRM operand of an instruction: reading and writing it, in a
// register or in memory, and far pointers in memory.
#pragma once

#include "cpu_state.h"
#include "decode.h"

namespace vm86::engine {

// The r/m operand: the register of ModRM rm, or the memory it addresses.
template <bool W> VM86_HOT uint16_t read_rm(Cpu &c, const Insn &in) {
    if (!in.mem)
        return get_reg<W>(c, in.rm);
    return read_mem<W>(c, in.seg, effective_offset(c, in));
}

template <bool W> VM86_HOT void write_rm(Cpu &c, const Insn &in, uint16_t v) {
    if (!in.mem)
        set_reg<W>(c, in.rm, v);
    else
        write_mem<W>(c, in.seg, effective_offset(c, in), v);
}

// Loads a far pointer (offset, then segment) from the memory operand. The
// four bytes are one operand: when its last byte lies past offset FFFF the
// 286 raises exception 13 rather than wrap to offset 0.
inline void load_far_pointer(Cpu &c, const Insn &in, uint16_t &offset, uint16_t &segment) {
    uint16_t off = effective_offset(c, in);
    if (off > 0xFFFC)
        raise_exception(13);
    offset = read16(c, in.seg, off);
    segment = read16(c, in.seg, uint16_t(off + 2));
}

} // namespace vm86::engine
