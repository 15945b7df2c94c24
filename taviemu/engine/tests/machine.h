// A small machine for the engine's tests: a memory with guard bytes around
// it, a CPU record, and helpers to place code and read the stack.
#pragma once

#include "vm86_engine.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace vm86::testing {

// Bytes before and after the memory handed to the engine, which it must
// never touch.
constexpr uint32_t guard_size = 4096;
constexpr uint8_t guard_byte = 0xA5;

struct Machine {
    uint32_t base, size;
    std::vector<uint8_t> host;
    Record rec{};
    Options options;
    Fault fault;
    uint64_t executed = 0;

    // Memory of `size` bytes at linear `base`; code at `cs`:0, stack top at
    // `cs`:FFFE, every register segment `cs`.
    Machine(uint32_t base_ = 0, uint32_t size_ = 0x20000, uint16_t cs = 0x1000)
        : base(base_), size(size_), host(size_ + 2 * guard_size, guard_byte) {
        std::memset(memory(), 0, size);
        rec.regs.cs = rec.regs.ds = rec.regs.es = rec.regs.ss = cs;
        rec.regs.esp = 0xFFFE;
        rec.cpu_type = CPU_286;
        options.max_instructions = 100000;
    }

    uint8_t *memory() { return host.data() + guard_size; }
    uint8_t &at(uint32_t linear) { return memory()[linear - base]; }
    uint8_t &at(uint16_t seg, uint16_t off) { return at(uint32_t(seg) * 16 + off); }
    uint16_t word(uint16_t seg, uint16_t off) {
        return uint16_t(at(seg, off) | at(seg, uint16_t(off + 1)) << 8);
    }
    void set_word(uint16_t seg, uint16_t off, uint16_t v) {
        at(seg, off) = uint8_t(v);
        at(seg, uint16_t(off + 1)) = uint8_t(v >> 8);
    }
    void code(uint16_t off, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes)
            at(rec.regs.cs, off++) = b;
    }
    // Interrupt vector n points at seg:off (the table must lie in memory).
    void vector(unsigned n, uint16_t seg, uint16_t off) {
        set_word(0, uint16_t(n * 4), off);
        set_word(0, uint16_t(n * 4 + 2), seg);
    }
    void revector(unsigned n) { rec.int_revectored[n / 8] |= uint8_t(1u << (n % 8)); }
    void revector_all() { std::memset(rec.int_revectored, 0xFF, sizeof rec.int_revectored); }
    void revector_ah(unsigned ah) { rec.int21_revectored[ah / 8] |= uint8_t(1u << (ah % 8)); }

    int run() { return vm86::run(rec, Memory{memory(), base, size}, options, &fault, &executed); }

    bool guards_intact() const {
        for (uint32_t i = 0; i < guard_size; ++i)
            if (host[i] != guard_byte || host[guard_size + size + i] != guard_byte)
                return false;
        return true;
    }

    uint16_t ax() const { return uint16_t(rec.regs.eax); }
    uint16_t ip() const { return uint16_t(rec.regs.eip); }
    uint16_t sp() const { return uint16_t(rec.regs.esp); }
    uint16_t flags() const { return uint16_t(rec.regs.eflags); }
};

constexpr int intx(unsigned n) {
    return VM86_INTx | int(n << 8);
}

} // namespace vm86::testing
