// One hardware-recorded single-instruction test (a line of the cpu286 test
// files), and running it through the engine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vm86::conformance {

// Register order of the test files.
enum TestReg {
    T_AX,
    T_BX,
    T_CX,
    T_DX,
    T_CS,
    T_SS,
    T_DS,
    T_ES,
    T_SP,
    T_BP,
    T_SI,
    T_DI,
    T_IP,
    T_FLAGS
};
constexpr unsigned test_regs = 14;

struct CpuTest {
    unsigned index = 0;
    std::string disassembly;
    std::vector<uint8_t> bytes;
    uint16_t before[test_regs] = {};
    uint16_t after[test_regs] = {};
    std::vector<std::pair<uint32_t, uint8_t>> memory_before, memory_after;
    uint16_t flags_mask = 0xFFFF;
    int vector = -1; // exception or interrupt taken, or -1
    std::string id;
};

// Parses one test line; false when it is malformed.
bool parse_test(std::string_view line, CpuTest &test);

// Flat memory for the tests: real-mode addresses reach 0x10FFEF.
constexpr uint32_t test_memory_size = 0x110000;

// Runs `test` in `memory` (test_memory_size bytes). Returns an empty string
// when the result matches, otherwise the first difference.
std::string run_test(const CpuTest &test, uint8_t *memory);

} // namespace vm86::conformance
