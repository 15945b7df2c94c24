// Whole programs through the engine: the benchmark program, checked
// against the same computation done here, and the instruction budget
// across block boundaries.
#include "machine.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

namespace vm86::testing {
namespace {

// What engine_bench.asm computes, done in C++: its text generator, a
// bitwise CRC-32, a sieve and a count of "ab" in the text.
[[maybe_unused]] uint32_t expected_checksum(unsigned rounds) {
    std::vector<uint8_t> text;
    uint16_t ax = 12345;
    for (int i = 0; i < 0x2000; ++i) {
        ax = uint16_t(ax * 25173u + 13849u);
        text.push_back(uint8_t('a' + ((ax >> 8) & 0x0F)));
    }
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : text) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
    }
    crc = ~crc;
    std::vector<bool> composite(0x4000);
    uint16_t primes = 0;
    for (uint32_t n = 2; n < 0x4000; ++n) {
        if (composite[n])
            continue;
        ++primes;
        for (uint32_t m = 2 * n; m < 0x4000; m += n)
            composite[m] = true;
    }
    uint16_t found = 0;
    for (size_t i = 0; i + 2 <= text.size(); ++i)
        found = uint16_t(found + (text[i] == 'a' && text[i + 1] == 'b'));
    uint16_t lo = 0, hi = 0;
    for (unsigned r = 0; r < rounds; ++r) {
        lo = uint16_t((lo ^ uint16_t(crc)) + primes);
        hi = uint16_t((hi ^ uint16_t(crc >> 16)) + found);
    }
    return uint32_t(hi) << 16 | lo;
}

TEST(GuestProgram, BenchmarkProgramComputesWhatItShould) {
#ifndef ENGINE_BENCH_PROGRAM
    GTEST_SKIP() << "nasm was not found: the program is not assembled";
#else
    FILE *f = std::fopen(ENGINE_BENCH_PROGRAM, "rb");
    ASSERT_NE(f, nullptr) << ENGINE_BENCH_PROGRAM;
    Machine m(0x10000);
    size_t n = std::fread(m.memory(), 1, 0x4000, f);
    std::fclose(f);
    ASSERT_GT(n, 0u);
    m.revector_all();
    // Entered in slices, as a runner does between system calls: the result
    // must not depend on where the budget cut the run.
    m.options.max_instructions = 100'003;
    uint64_t total = 0;
    int rc;
    while ((rc = m.run()) == VM86_SIGNAL) {
        total += m.executed;
        ASSERT_EQ(m.executed, 100'003u);
        ASSERT_LT(total, 50'000'000u);
    }
    total += m.executed;
    ASSERT_EQ(rc, intx(0x80));
    EXPECT_EQ(m.ax(), 1);
    uint32_t checksum = uint32_t(m.rec.regs.ebx & 0xFFFF) << 16 | (m.rec.regs.ecx & 0xFFFF);
    EXPECT_EQ(checksum, expected_checksum(ENGINE_BENCH_ROUNDS));
#endif
}

TEST(Budget, StopsExactlyInsideAStraightLineRun) {
    Machine m(0x10000);
    m.revector_all();
    for (uint16_t i = 0; i < 40; ++i)
        m.code(i, {0x40}); // inc ax, forty times
    m.code(40, {0xCD, 0x80});
    for (uint64_t budget : {1u, 3u, 7u, 13u, 14u, 15u, 29u}) {
        m.rec.regs.eip = 0;
        m.rec.regs.eax = 0;
        m.options.max_instructions = budget;
        EXPECT_EQ(m.run(), VM86_SIGNAL) << budget;
        EXPECT_EQ(m.executed, budget);
        EXPECT_EQ(m.ip(), budget);
        EXPECT_EQ(m.ax(), budget);
        m.options.max_instructions = 0;
        EXPECT_EQ(m.run(), intx(0x80)) << budget;
        EXPECT_EQ(m.ax(), 40);
        EXPECT_EQ(m.executed, 40 - budget + 1);
    }
}

TEST(Budget, StopsExactlyInsideATightLoop) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0xB9, 0x64, 0x00,     // mov cx, 100
               0x40,                 // inc ax
               0xE2, 0xFD,           // loop 0x03
               0xCD, 0x80});         // int 0x80
    m.options.max_instructions = 38; // mov, then 18 turns of two and one inc more
    EXPECT_EQ(m.run(), VM86_SIGNAL);
    EXPECT_EQ(m.ax(), 19);
    EXPECT_EQ(m.ip(), 4);
    EXPECT_EQ(m.rec.regs.ecx, 100u - 18u);
    m.options.max_instructions = 0;
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax(), 100);
    EXPECT_EQ(m.executed, (1u + 100u * 2u + 1u) - 38u); // the rest of the program
}

TEST(Budget, RepeatedStringInstructionCountsOnce) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0xB9, 0x00, 0x10, // mov cx, 0x1000
               0xBF, 0x00, 0x80, // mov di, 0x8000
               0xF3, 0xAA,       // rep stosb
               0xCD, 0x80});     // int 0x80
    m.rec.regs.eax = 0x77;
    m.options.max_instructions = 3;
    EXPECT_EQ(m.run(), VM86_SIGNAL);
    EXPECT_EQ(m.rec.regs.ecx, 0u);
    EXPECT_EQ(m.rec.regs.edi, 0x9000u);
    EXPECT_EQ(m.at(0x1000, 0x8FFF), 0x77);
    EXPECT_EQ(m.ip(), 8);
}

} // namespace
} // namespace vm86::testing
