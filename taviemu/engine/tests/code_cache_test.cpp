// Decoded instructions must follow the bytes: code the program rewrites,
// code the caller rewrites between runs, and two memories used in turn.
#include "code_cache.h"
#include "machine.h"

#include <gtest/gtest.h>

namespace vm86::testing {
namespace {

TEST(CodeCache, ProgramRewritesAnInstructionItHasRun) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0x00, {0xB9, 0x02, 0x00,             // mov cx, 2
                  0xE8, 0x1A, 0x00,             // call 0x20
                  0x01, 0xC3,                   // add bx, ax
                  0xC6, 0x06, 0x21, 0x00, 0x05, // mov byte [0x21], 5
                  0xE2, 0xF4,                   // loop 0x03
                  0xCD, 0x80});                 // int 0x80
    m.code(0x20, {0xB0, 0x01,                   // mov al, 1
                  0xC3});                       // ret
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.rec.regs.ebx, 1u + 5u);
}

TEST(CodeCache, StoreIntoTheRestOfTheRunningBlock) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0xC6, 0x06, 0x0A, 0x00, 0x05, // mov byte [0x0a], 5: the immediate below
               0x90, 0x90, 0x90, 0x90,       // nop x4
               0xB0, 0x01,                   // mov al, 1 (becomes mov al, 5)
               0xCD, 0x80});                 // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax() & 0xFF, 5);
    EXPECT_EQ(m.executed, 7u);
}

TEST(CodeCache, NearJumpsAfterAFarOneStayInTheNewSegment) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0x00, {0xEB, 0x10});                   // jmp 0x12
    m.code(0x03, {0xB8, 0x11, 0x11, 0xCD, 0x80}); // mov ax, 0x1111; int 0x80 (never run)
    m.code(0x12, {0xEA, 0x00, 0x00, 0x00, 0x18}); // jmp 1800:0000
    const uint8_t far_code[] = {0xB9, 0x03, 0x00, // mov cx, 3
                                0xE2, 0xFE,       // loop $ (to 1800:0003)
                                0xB8, 0x42, 0x42, // mov ax, 0x4242
                                0xCD, 0x80};      // int 0x80
    for (unsigned i = 0; i < sizeof far_code; ++i)
        m.at(0x1800, uint16_t(i)) = far_code[i];
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax(), 0x4242);
    EXPECT_EQ(m.rec.regs.cs, 0x1800);
    EXPECT_EQ(m.executed, 2u + 1u + 3u + 2u);
}

TEST(CodeCache, LoopThatRewritesItsOwnBody) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0xB9, 0x05, 0x00,             // mov cx, 5
               0x40,                         // inc ax (becomes inc bx)
               0xC6, 0x06, 0x03, 0x00, 0x43, // mov byte [0x03], 0x43
               0xE2, 0xF8,                   // loop 0x03
               0xCD, 0x80});                 // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax(), 1);
    EXPECT_EQ(m.rec.regs.ebx, 4u);
}

TEST(CodeCache, RewrittenInstructionOfAnotherLength) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0xB9, 0x02, 0x00,             // mov cx, 2
               0x01, 0xC3,                   // add bx, ax
               0xC6, 0x06, 0x0D, 0x00, 0xB8, // mov byte [0x0d], 0xb8
               0x90, 0x90, 0x90,             // nop x3
               0xB0, 0x07,                   // mov al, 7 (becomes mov ax, 0x9007)
               0x90,                         // nop (the immediate's high byte)
               0xE2, 0xF1,                   // loop 0x03
               0xCD, 0x80});                 // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax(), 0x9007);
    EXPECT_EQ(m.rec.regs.ebx, 0x9007u);
    EXPECT_EQ(m.executed, 1u + 2u * 7u + 1u); // the nop is the immediate's now
}

TEST(CodeCache, InstructionThatOverwritesItselfCompletesAsFetched) {
    Machine m(0x10000);
    m.revector_all();
    m.rec.regs.esp = 0x0003;
    m.code(0, {0xE8, 0x10, 0x00}); // call 0x13: the return address lands on its own operand
    m.code(0x13, {0xCD, 0x80});    // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ip(), 0x15);
    EXPECT_EQ(m.word(0x1000, 1), 3);
}

TEST(CodeCache, StringStoreOverCachedCode) {
    Machine m(0x10000);
    m.revector_all();
    // The routine at 0x40 runs once, then REP MOVSB copies a new body over it.
    m.code(0x00, {0xE8, 0x3D, 0x00,         // call 0x40
                  0x89, 0xC3,               // mov bx, ax
                  0xBE, 0x60, 0x00,         // mov si, 0x60
                  0xBF, 0x40, 0x00,         // mov di, 0x40
                  0xB9, 0x04, 0x00,         // mov cx, 4
                  0xF3, 0xA4,               // rep movsb
                  0xE8, 0x2D, 0x00,         // call 0x40
                  0xCD, 0x80});             // int 0x80
    m.code(0x40, {0xB8, 0x11, 0x11, 0xC3}); // mov ax, 0x1111; ret
    m.code(0x60, {0xB8, 0x22, 0x22, 0xC3}); // mov ax, 0x2222; ret
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.rec.regs.ebx, 0x1111u);
    EXPECT_EQ(m.ax(), 0x2222);
}

TEST(CodeCache, CallerRewritesCodeBetweenRuns) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0xB0, 0x01,   // mov al, 1
               0xCD, 0x80}); // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax() & 0xFF, 1);
    m.code(1, {0x09}); // now: mov al, 9
    m.rec.regs.eip = 0;
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax() & 0xFF, 9);
    m.code(0, {0x90, 0x90}); // now: nop; nop
    m.rec.regs.eip = 0;
    m.rec.regs.eax = 0;
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax(), 0);
    EXPECT_EQ(m.executed, 3u);
}

TEST(CodeCache, TwoMemoriesInTurn) {
    Machine a(0x10000), b(0x10000);
    a.revector_all();
    b.revector_all();
    a.code(0, {0xB8, 0xAA, 0x00, 0xCD, 0x80}); // mov ax, 0xaa; int 0x80
    b.code(0, {0xB8, 0xBB, 0x00, 0xCD, 0x80}); // mov ax, 0xbb; int 0x80
    for (int round = 0; round < 2; ++round) {
        a.rec.regs.eip = b.rec.regs.eip = 0;
        EXPECT_EQ(a.run(), intx(0x80));
        EXPECT_EQ(b.run(), intx(0x80));
        EXPECT_EQ(a.ax(), 0xAA);
        EXPECT_EQ(b.ax(), 0xBB);
    }
    reset_code_cache();
    a.rec.regs.eip = 0;
    EXPECT_EQ(a.run(), intx(0x80));
    EXPECT_EQ(a.ax(), 0xAA);
}

// When the epochs come round to the first one again, the blocks kept from
// that one must not pass for current: the cache starts from nothing.
TEST(CodeCache, EpochsComingRound) {
    reset_code_cache();
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0xB0, 0x01,   // mov al, 1
               0xCD, 0x80}); // int 0x80
    EXPECT_EQ(m.run(), intx(0x80)); // the cache's first epoch
    engine::cache_for_run(m.memory(), m.base, m.size).epoch = UINT32_MAX;
    m.code(1, {0x09}); // now: mov al, 9
    m.rec.regs.eip = 0;
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax() & 0xFF, 9);
}

TEST(CodeCache, InstructionWrappingPastTheSegmentEnd) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0xFFFE, {0xB8, 0x34}); // mov ax, 0x1234: its last byte at offset 0
    m.code(0x0000, {0x12, 0xCD, 0x80});
    m.rec.regs.eip = 0xFFFE;
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax(), 0x1234);
    EXPECT_EQ(m.ip(), 3);
}

} // namespace
} // namespace vm86::testing

namespace vm86::testing {
namespace {

// The same bytes reached through two CS:IP pairs in one run wrap at
// different places: code decoded for one must not run past the other's
// segment end.
TEST(CodeCache, SameBytesThroughAnotherSegment) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0x100, {0xEA, 0xE0, 0xFF, 0x01, 0x10}); // jmp 1001:FFE0 (linear 0x1FFF0)
    for (uint32_t l = 0x1FFF0; l < 0x20000; ++l)
        m.at(l) = 0x90;                                        // nop x16, up to linear 0x1FFFF
    const uint8_t far_jump[] = {0xEA, 0xF0, 0xFF, 0x00, 0x10}; // jmp 1000:FFF0, the same bytes
    const uint8_t wrapped[] = {0xB8, 0x22, 0x22, 0xCD, 0x80};  // mov ax, 0x2222; int 0x80
    for (unsigned i = 0; i < 5; ++i) {
        m.at(0x20000 + i) = far_jump[i]; // reached as 1001:FFF0
        m.at(0x10000 + i) = wrapped[i];  // reached as 1000:0000, after 1000:FFFF
    }
    m.rec.regs.eip = 0x100;
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ax(), 0x2222);
    EXPECT_EQ(m.executed, 1u + 16u + 1u + 16u + 2u);
}

} // namespace
} // namespace vm86::testing
