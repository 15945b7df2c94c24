// Operands that run past offset FFFF of their segment, and instructions that
// write several words: the 286 raises exception 13 for an access whose last
// byte lies past FFFF, and a fault in a later write of an instruction leaves
// SP and memory as they were, so that the fault is true of the instruction's
// address.
#include "machine.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <vector>

namespace vm86::testing {
namespace {

struct Case {
    const char *what;
    std::vector<uint8_t> code;
    uint16_t sp, si, di, cx;
};

// Every case faults at its first instruction (offset 0) with exception 13,
// having written nothing: the stack area and ES:DI keep their pattern.
TEST(SegmentEnd, OperandsPastFfffRaiseExceptionThirteen) {
    const Case cases[] = {
        {"les bx, [0xfffe]", {0xC4, 0x1E, 0xFE, 0xFF}, 0x100, 0, 0, 0},
        {"lds si, [0xfffd]", {0xC5, 0x36, 0xFD, 0xFF}, 0x100, 0, 0, 0},
        {"bound ax, [0xfffe]", {0x62, 0x06, 0xFE, 0xFF}, 0x100, 0, 0, 0},
        {"call far [0xfffe]", {0xFF, 0x1E, 0xFE, 0xFF}, 0x100, 0, 0, 0},
        {"jmp far [0xfffe]", {0xFF, 0x2E, 0xFE, 0xFF}, 0x100, 0, 0, 0},
        {"retf at sp ffff", {0xCB}, 0xFFFF, 0, 0, 0},
        {"iret, flags word at ffff", {0xCF}, 0xFFFB, 0, 0, 0},
        {"pusha, fifth word at ffff", {0x60}, 0x0009, 0, 0, 0},
        {"enter 4, 0 at sp 1", {0xC8, 0x04, 0x00, 0x00}, 0x0001, 0, 0, 0},
        {"enter 0, 2, frame word at ffff", {0xC8, 0x00, 0x00, 0x02}, 0x0005, 0, 0, 0},
        {"call far 2000:0010, ip word at ffff", {0x9A, 0x10, 0x00, 0x00, 0x20}, 0x0003, 0, 0, 0},
        {"movsw at si ffff", {0xA5}, 0x100, 0xFFFF, 0x200, 0},
        {"movsw at di ffff", {0xA5}, 0x100, 0x200, 0xFFFF, 0},
        {"rep movsw at di ffff", {0xF3, 0xA5}, 0x100, 0x200, 0xFFFF, 3},
        {"cmpsw at si ffff", {0xA7}, 0x100, 0xFFFF, 0x200, 0},
        {"repe cmpsw at di ffff", {0xF3, 0xA7}, 0x100, 0x200, 0xFFFF, 3},
        {"scasw at di ffff", {0xAF}, 0x100, 0, 0xFFFF, 0},
        {"repne scasw at di ffff", {0xF2, 0xAF}, 0x100, 0, 0xFFFF, 3},
        {"lodsw at si ffff", {0xAD}, 0x100, 0xFFFF, 0, 0},
        {"rep lodsw at si ffff", {0xF3, 0xAD}, 0x100, 0xFFFF, 0, 3},
        {"stosw at di ffff", {0xAB}, 0x100, 0, 0xFFFF, 0},
        {"rep stosw at di ffff", {0xF3, 0xAB}, 0x100, 0, 0xFFFF, 3},
    };
    for (const Case &c : cases) {
        Machine m(0x10000);
        m.revector_all();
        // The data segment (2000) holds the far pointers' operands; the stack
        // and ES:DI are in 1000, filled with a pattern.
        m.rec.regs.ds = 0x2000;
        for (uint32_t off = 0; off < 0x10000; ++off)
            m.at(0x1000, uint16_t(off)) = 0x5A;
        for (size_t i = 0; i < c.code.size(); ++i)
            m.at(0x1000, uint16_t(0x8000 + i)) = c.code[i];
        m.rec.regs.eip = 0x8000;
        m.rec.regs.esp = c.sp;
        m.rec.regs.esi = c.si;
        m.rec.regs.edi = c.di;
        m.rec.regs.ecx = c.cx;
        m.rec.regs.eax = 0x1111;
        m.rec.regs.ebp = 0x0040;
        std::vector<uint8_t> before(m.memory(), m.memory() + m.size);
        EXPECT_EQ(m.run(), intx(13)) << c.what;
        EXPECT_EQ(m.ip(), 0x8000) << c.what;
        EXPECT_EQ(m.rec.regs.cs, 0x1000) << c.what;
        EXPECT_EQ(m.sp(), c.sp) << c.what;
        EXPECT_EQ(m.rec.regs.ds, 0x2000) << c.what;
        EXPECT_EQ(m.rec.regs.es, 0x1000) << c.what;
        EXPECT_TRUE(std::vector<uint8_t>(m.memory(), m.memory() + m.size) == before) << c.what;
    }
}

TEST(SegmentEnd, FarPointerThatEndsAtFfffLoads) {
    Machine m(0x10000);
    m.revector_all();
    m.set_word(0x1000, 0xFFFC, 0x1234);
    m.set_word(0x1000, 0xFFFE, 0x5678);
    m.code(0, {0xC4, 0x1E, 0xFC, 0xFF, // les bx, [0xfffc]
               0xCD, 0x80});           // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.rec.regs.ebx, 0x1234u);
    EXPECT_EQ(m.rec.regs.es, 0x5678);
}

TEST(SegmentEnd, InterruptEntryPushesAllOrNothing) {
    // The first word pushed lies in the memory, the next ones (SP wrapped to
    // FFFE) beyond its end: nothing is pushed and SP stays.
    Machine m(0, 0x18000);
    m.vector(0x42, 0x1000, 0x100);
    m.code(0, {0xCD, 0x42}); // int 0x42
    m.rec.regs.ss = 0x1100;
    m.rec.regs.esp = 0x0002;
    m.set_word(0x1100, 0, 0xA5A5);
    EXPECT_EQ(m.run(), -EFAULT);
    EXPECT_EQ(m.fault.linear, 0x20FFFu);
    EXPECT_EQ(m.sp(), 0x0002);
    EXPECT_EQ(m.word(0x1100, 0), 0xA5A5);
    EXPECT_EQ(m.ip(), 0);
}

} // namespace
} // namespace vm86::testing
