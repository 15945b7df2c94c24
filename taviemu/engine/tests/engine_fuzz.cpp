// Runs random bytes as 16-bit code in a small memory: whatever they do, the
// engine must stay inside that memory and stop within its budget.
#include "vm86_engine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t fuzz_memory = 0x11000; // vector table, code and a little more
constexpr uint64_t fuzz_budget = 1000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 8)
        return 0;
    // One exact-size allocation for every input, so that any stray access
    // is caught and the engine's code cache is kept from input to input (as
    // it is from run to run of one program).
    static uint8_t *const memory = new uint8_t[fuzz_memory];
    std::memset(memory, 0, fuzz_memory);
    std::memcpy(memory, data + 8, std::min<size_t>(size - 8, fuzz_memory));
    vm86::Record rec{};
    rec.regs.cs = uint16_t(data[0] & 0x0F) << 8; // code somewhere below 0x10000
    rec.regs.eip = uint16_t(data[1]);
    rec.regs.ds = rec.regs.es = uint16_t(data[2] << 4);
    rec.regs.ss = 0x0800;
    rec.regs.esp = uint16_t(data[3] << 8 | data[4]);
    rec.regs.ecx = data[5];
    rec.regs.esi = rec.regs.edi = uint16_t(data[6] << 8);
    rec.regs.eflags = uint32_t(data[7] & 0x04) << 8; // DF
    if (data[7] & 1)
        std::memset(rec.int_revectored, 0xFF, sizeof rec.int_revectored);
    vm86::Options options;
    options.max_instructions = fuzz_budget;
    options.real_mode_flags = data[7] & 2;
    vm86::Memory mem{memory, uint32_t(data[7] & 0x80 ? 0x100 : 0), fuzz_memory};
    for (int entry = 0; entry < 4; ++entry) {
        uint64_t executed = 0;
        int rc = vm86::run(rec, mem, options, nullptr, &executed);
        if (executed > fuzz_budget)
            __builtin_trap();
        if (rc < 0 || vm86::vm86_type(rc) == vm86::VM86_SIGNAL)
            break;
        if (vm86::vm86_type(rc) == vm86::VM86_UNKNOWN)
            rec.regs.eip = uint16_t(rec.regs.eip + 1); // step over it, as a runner might
    }
    return 0;
}
