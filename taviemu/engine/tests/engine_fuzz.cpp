// Runs random bytes as 16-bit code in a small memory. Whatever they do, the
// engine must stay inside that memory and stop within its budget, and its
// decoded blocks must not change the outcome: the same start run once with
// a budget, and again in many entries of a few instructions each (where
// blocks are cut short, or kept from entry to entry and checked against
// the bytes), must end in the same state.
#include "vm86_engine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t fuzz_memory = 0x11000; // vector table, code and a little more
constexpr uint64_t fuzz_budget = 300;

struct Outcome {
    int rc;
    uint64_t executed;
};

// One entry with the whole budget.
Outcome run_at_once(vm86::Record &rec, const vm86::Memory &mem, bool real_mode) {
    vm86::Options options;
    options.max_instructions = fuzz_budget;
    options.real_mode_flags = real_mode;
    uint64_t executed = 0;
    int rc = vm86::run(rec, mem, options, nullptr, &executed);
    if (executed > fuzz_budget)
        __builtin_trap();
    return {rc, executed};
}

// Entries of `step` instructions, until something other than the budget
// ends an entry or the whole budget is spent.
Outcome run_stepwise(vm86::Record &rec, const vm86::Memory &mem, bool real_mode, unsigned step) {
    vm86::Options options;
    options.real_mode_flags = real_mode;
    uint64_t total = 0;
    int rc = vm86::VM86_SIGNAL;
    for (;;) {
        options.max_instructions = std::min<uint64_t>(step, fuzz_budget - total);
        uint64_t executed = 0;
        rc = vm86::run(rec, mem, options, nullptr, &executed);
        if (executed > step)
            __builtin_trap();
        total += executed;
        if (rc != vm86::VM86_SIGNAL || total >= fuzz_budget)
            break;
    }
    return {rc, total};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 8)
        return 0;
    // Exact-size allocations kept from input to input, so that any stray
    // access is caught and the engine's code cache lives on as it does from
    // run to run of one program (both runs use the same memory).
    static uint8_t *const memory = new uint8_t[fuzz_memory];
    static std::vector<uint8_t> initial(fuzz_memory), after_first(fuzz_memory);
    std::fill(initial.begin(), initial.end(), 0);
    std::memcpy(initial.data(), data + 8, std::min<size_t>(size - 8, fuzz_memory));

    vm86::Record start{};
    start.regs.cs = uint16_t(data[0] & 0x0F) << 8; // code somewhere below 0x10000
    start.regs.eip = uint16_t(data[1]);
    start.regs.ds = start.regs.es = uint16_t(data[2] << 4);
    start.regs.ss = 0x0800;
    start.regs.esp = uint16_t(data[3] << 8 | data[4]);
    start.regs.ecx = data[5];
    start.regs.esi = start.regs.edi = uint16_t(data[6] << 8);
    start.regs.eflags = uint32_t(data[7] & 0x04) << 8; // DF
    if (data[7] & 1)
        std::memset(start.int_revectored, 0xFF, sizeof start.int_revectored);
    bool real_mode = data[7] & 2;
    uint32_t base = data[7] & 0x80 ? 0x100 : 0;

    vm86::Memory mem{memory, base, fuzz_memory};
    vm86::Record a = start, b = start;
    std::memcpy(memory, initial.data(), fuzz_memory);
    Outcome at_once = run_at_once(a, mem, real_mode);
    std::memcpy(after_first.data(), memory, fuzz_memory);
    std::memcpy(memory, initial.data(), fuzz_memory);
    unsigned step = 1 + (data[0] >> 4) * 2; // 1 to 31 instructions per entry
    Outcome stepwise = run_stepwise(b, mem, real_mode, step);
    bool same = at_once.rc == stepwise.rc && at_once.executed == stepwise.executed &&
                std::memcmp(&a, &b, sizeof a) == 0 &&
                std::memcmp(memory, after_first.data(), fuzz_memory) == 0;
    if (!same)
        __builtin_trap();
    return 0;
}
