// The virtual-8086 engine: runs 16-bit real-mode code the way Linux's i386
// vm86 entry (system call 113) does, for machines whose kernel has no such
// entry. It takes the same CPU record, runs until something needs the
// caller, writes the registers back and returns the same codes.
//
// The engine is a library: no I/O, no exit, no globals shared with callers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vm86 {

// Linux i386 struct vm86_regs, at fixed widths so that the layout is the
// same in 32- and 64-bit builds.
struct Regs {
    uint32_t ebx, ecx, edx, esi, edi, ebp, eax;
    uint32_t null_ds, null_es, null_fs, null_gs, orig_eax;
    uint32_t eip;
    uint16_t cs, pad_cs;
    uint32_t eflags;
    uint32_t esp;
    uint16_t ss, pad_ss;
    uint16_t es, pad_es;
    uint16_t ds, pad_ds;
    uint16_t fs, pad_fs;
    uint16_t gs, pad_gs;
};

// Linux i386 struct vm86_struct (160 bytes, little-endian).
struct Record {
    Regs regs;
    uint32_t flags;
    uint32_t screen_bitmap;
    uint32_t cpu_type;
    uint8_t int_revectored[32];   // bit n of byte n/8: interrupt n returns to the caller
    uint8_t int21_revectored[32]; // bit AH: interrupt 0x21 with that AH returns
};

static_assert(sizeof(Regs) == 84);
static_assert(offsetof(Regs, eip) == 48);
static_assert(offsetof(Regs, cs) == 52);
static_assert(offsetof(Regs, eflags) == 56);
static_assert(offsetof(Regs, esp) == 60);
static_assert(offsetof(Regs, ss) == 64);
static_assert(sizeof(Record) == 160);
static_assert(offsetof(Record, flags) == 84);
static_assert(offsetof(Record, int_revectored) == 96);
static_assert(offsetof(Record, int21_revectored) == 128);

// Return kinds, in the low 8 bits of a non-negative result; the argument
// (the interrupt number for INTx) is the result shifted right by 8.
constexpr int VM86_SIGNAL = 0;
constexpr int VM86_UNKNOWN = 1;
constexpr int VM86_INTx = 2;
constexpr int VM86_STI = 3;
// The debug trap after an instruction run with TF set (argument 1). The
// kernel's vm86old entry sends SIGTRAP to the caller instead; the engine,
// which sends no signals, returns this code of the kernel's vm86 entry so
// that the caller can do the same.
constexpr int VM86_TRAP = 6;
constexpr int vm86_type(int code) {
    return code & 0xff;
}
constexpr int vm86_arg(int code) {
    return code >> 8;
}

constexpr uint32_t CPU_286 = 2;

// The program's memory: linear address `base` is host byte `host[0]`, and
// only [base, base + size) exists. Any access outside it ends the run with
// a fault report instead of touching host memory.
struct Memory {
    uint8_t *host;
    uint32_t base;
    uint32_t size;
};

// How the caller wants the run bounded and how FLAGS is presented.
struct Options {
    // Stop with VM86_SIGNAL after this many instructions (0: no bound). The
    // record then holds the state before the next instruction.
    uint64_t max_instructions = 0;
    // The chip's own view of FLAGS (PUSHF without IOPL, IF real): used by the
    // conformance harness, which runs bare real-mode code.
    bool real_mode_flags = false;
};

// Why a run ended when it could not go on (a negative result of run()),
// and whether a VM86_INTx result is a processor exception.
struct Fault {
    uint32_t linear = 0; // the address that lay outside the memory
    uint16_t cs = 0, ip = 0;
    // VM86_INTx came from a fault (divide error, BOUND, invalid opcode,
    // segment overrun), not from an INT instruction: the record's CS:IP is
    // the faulting instruction, which has no end to go on from.
    bool exception = false;
};

// Runs until the program needs the caller. Returns a vm86 code as the kernel
// does (>= 0), or -EFAULT when an access fell outside `memory` (details in
// *fault when given). `executed`, when given, receives the count of
// instructions completed in this call.
int run(Record &record, const Memory &memory, const Options &options = {}, Fault *fault = nullptr,
        uint64_t *executed = nullptr);

// Drops every decoded instruction the engine keeps for this thread. Not
// needed for correctness (each run() checks again what the caller may have
// written into the memory); it frees the cache's memory once the program is
// done, or forgets a memory whose mapping is about to be reused.
void reset_code_cache();

} // namespace vm86
