// The engine as the runner sees it: what returns to the caller, what is
// taken through the vector table, and the virtual interrupt flag.
#include "machine.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string_view>

namespace vm86::testing {
namespace {

constexpr uint16_t IF = 0x0200, TF = 0x0100, CF = 0x0001, DF = 0x0400;

TEST(Interrupts, RevectoredIntReturnsWithIpPastIt) {
    Machine m(0x10000); // as taviemu lays out its area: no vector table in memory
    m.revector_all();
    m.rec.regs.eax = 0xABCD1234;
    m.rec.regs.ebx = 0x00000042;
    m.code(0, {0xB8, 0x07, 0x00, // mov ax, 7
               0xCD, 0x80,       // int 0x80
               0xF4});           // hlt
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ip(), 5);
    EXPECT_EQ(m.rec.regs.eax, 0xABCD0007u); // upper half kept
    EXPECT_EQ(m.rec.regs.ebx, 0x42u);
    EXPECT_EQ(m.sp(), 0xFFFE); // nothing pushed
    EXPECT_EQ(m.executed, 2u);
    // Entering again goes on after the INT.
    EXPECT_EQ(m.run(), VM86_UNKNOWN);
    EXPECT_EQ(m.ip(), 5);
}

TEST(Interrupts, NotRevectoredGoesThroughTheVectorTable) {
    Machine m; // memory from linear 0: the vector table is the program's
    m.vector(0x42, 0x1800, 0x0010);
    m.code(0x100, {0xCD, 0x42,   // int 0x42
                   0xCD, 0x80}); // int 0x80
    m.rec.regs.eip = 0x100;
    m.rec.regs.eflags = IF | TF | CF;
    m.at(0x1800, 0x10) = 0xB8; // handler: mov ax, 0x1234; iret
    m.at(0x1800, 0x11) = 0x34;
    m.at(0x1800, 0x12) = 0x12;
    m.at(0x1800, 0x13) = 0xCF;
    m.revector(0x80);
    m.options.max_instructions = 2; // stop inside the handler after its first instruction
    EXPECT_EQ(m.run(), VM86_SIGNAL);
    EXPECT_EQ(m.rec.regs.cs, 0x1800);
    EXPECT_EQ(m.ip(), 0x13);
    EXPECT_EQ(m.ax(), 0x1234);
    EXPECT_EQ(m.flags() & (IF | TF), 0); // cleared on entry
    EXPECT_EQ(m.sp(), 0xFFF8);
    EXPECT_EQ(m.word(0x1000, 0xFFF8), 0x102);                 // return IP past the INT
    EXPECT_EQ(m.word(0x1000, 0xFFFA), 0x1000);                // CS
    EXPECT_EQ(m.word(0x1000, 0xFFFC), IF | TF | CF | 0x3002); // FLAGS with IOPL 3
    m.options.max_instructions = 0;
    EXPECT_EQ(m.run(), intx(0x80)); // IRET came back
    EXPECT_EQ(m.ip(), 0x104);
    EXPECT_EQ(m.sp(), 0xFFFE);
    EXPECT_EQ(m.flags() & (IF | TF | CF), IF | TF | CF);
}

TEST(Interrupts, Int21RevectoredByAh) {
    Machine m;
    m.vector(0x21, 0x1800, 0);
    m.at(0x1800, 0) = 0xF4; // the table's handler: hlt
    m.revector_ah(0x4C);
    m.code(0, {0xB4, 0x4C,   // mov ah, 0x4c
               0xCD, 0x21,   // int 0x21
               0xB4, 0x09,   // mov ah, 9
               0xCD, 0x21}); // int 0x21
    EXPECT_EQ(m.run(), intx(0x21));
    EXPECT_EQ(m.ip(), 4);
    EXPECT_EQ(m.run(), VM86_UNKNOWN); // AH 9 is not claimed: the table's handler runs
    EXPECT_EQ(m.rec.regs.cs, 0x1800);
    EXPECT_EQ(m.ip(), 0);
}

TEST(Interrupts, BiosSegmentAndMissingTableComeBack) {
    Machine m;
    m.vector(0x10, 0xF000, 0x1234); // the BIOS segment: handed back, not entered
    m.code(0, {0xCD, 0x10});        // int 0x10
    EXPECT_EQ(m.run(), intx(0x10));
    EXPECT_EQ(m.ip(), 2);
    EXPECT_EQ(m.sp(), 0xFFFE);

    Machine from_f000(0, 0x110000, 0xF000);
    from_f000.vector(0x11, 0x2000, 0);
    from_f000.code(0, {0xCD, 0x11}); // int 0x11 from code in F000
    EXPECT_EQ(from_f000.run(), intx(0x11));

    Machine high(0x10000); // the table lies outside the memory
    high.code(0, {0xCC});  // int3
    EXPECT_EQ(high.run(), intx(3));
    EXPECT_EQ(high.ip(), 1);
}

TEST(Interrupts, ChipViewTakesEvenBiosVectors) {
    Machine m(0, 0x110000);
    m.options.real_mode_flags = true;
    m.vector(0x10, 0xF000, 0x0000);
    m.at(0xF000, 0) = 0xF4;
    m.rec.regs.eflags = IF;
    m.code(0, {0x9C,         // pushf
               0xCD, 0x10}); // int 0x10
    EXPECT_EQ(m.run(), VM86_UNKNOWN);
    EXPECT_EQ(m.rec.regs.cs, 0xF000);
    EXPECT_EQ(m.word(0x1000, 0xFFFC), IF | 0x0002); // PUSHF: no IOPL bits
    EXPECT_EQ(m.word(0x1000, 0xFFFA), IF | 0x0002); // interrupt entry: the same
}

TEST(Exceptions, DivideErrorRevectoredAndNot) {
    Machine m;
    m.revector(0);
    m.code(0, {0x31, 0xC9,         // xor cx, cx
               0x26, 0xF7, 0xF1}); // es: div cx (the prefix belongs to the instruction)
    EXPECT_EQ(m.run(), intx(0));
    EXPECT_EQ(m.ip(), 2); // at the faulting instruction, prefix included

    Machine t;
    t.vector(0, 0x1800, 0x40);
    t.at(0x1800, 0x40) = 0xF4;
    t.code(0, {0x31, 0xC9, 0x26, 0xF7, 0xF1});
    EXPECT_EQ(t.run(), VM86_UNKNOWN);
    EXPECT_EQ(t.rec.regs.cs, 0x1800);
    EXPECT_EQ(t.word(0x1000, 0xFFF8), 2); // pushed IP: the DIV
}

TEST(Exceptions, InvalidOpcodeBoundAndSegmentOverrun) {
    Machine m;
    m.revector_all();
    m.code(0, {0x0F, 0x01, 0xE0}); // 0F: not a real-mode instruction here
    EXPECT_EQ(m.run(), intx(6));
    EXPECT_EQ(m.ip(), 0);

    Machine b;
    b.revector_all();
    b.set_word(0x1000, 0x200, 10); // bounds 10..20
    b.set_word(0x1000, 0x202, 20);
    b.code(0, {0xB8, 0x15, 0x00,         // mov ax, 21
               0x62, 0x06, 0x00, 0x02}); // bound ax, [0x200]
    EXPECT_EQ(b.run(), intx(5));
    EXPECT_EQ(b.ip(), 3);

    Machine w;
    w.revector_all();
    w.code(0, {0x90,               // nop
               0xA1, 0xFF, 0xFF}); // mov ax, [0xffff]: a word past the segment's end
    EXPECT_EQ(w.run(), intx(13));
    EXPECT_EQ(w.ip(), 1);
    EXPECT_TRUE(w.fault.exception);

    Machine n; // an INT instruction is no exception, whatever its number
    n.revector_all();
    n.code(0, {0xCD, 0x0D}); // int 13
    EXPECT_EQ(n.run(), intx(13));
    EXPECT_FALSE(n.fault.exception);
}

TEST(VirtualIf, CliStiPushfPopf) {
    Machine m(0x10000);
    m.revector_all();
    m.rec.regs.eflags = IF;
    m.code(0, {0xFA,         // cli
               0x9C,         // pushf
               0xFB,         // sti
               0x9C,         // pushf
               0xCD, 0x80}); // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.flags() & IF, IF);
    EXPECT_EQ(m.word(0x1000, 0xFFFC), 0x3002);      // IF clear, IOPL 3
    EXPECT_EQ(m.word(0x1000, 0xFFFA), 0x3002 | IF); // IF set

    Machine p(0x10000);
    p.revector_all();
    p.code(0, {0x68, 0x01, 0xF7, // push 0xf701: TF, IF, DF, CF and bits 12-15
               0x9D,             // popf
               0xCD, 0x80});     // int 0x80
    EXPECT_EQ(p.run(), intx(0x80));
    EXPECT_EQ(p.flags() & 0xFFFF, IF | TF | DF | CF | 0x0002); // bits 12-15 not held
    EXPECT_EQ(p.rec.regs.eflags & 0x3000, 0u);
}

TEST(VirtualIf, IretTakesIfFromTheStack) {
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0x68, 0x00, 0x02, // push IF
               0x0E,             // push cs
               0x68, 0x20, 0x00, // push 0x20
               0xCF});           // iret
    m.code(0x20, {0xCD, 0x80});  // int 0x80
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ip(), 0x22);
    EXPECT_EQ(m.flags() & IF, IF);
    EXPECT_EQ(m.sp(), 0xFFFE);
}

TEST(TrapFlag, SingleStepTrapComesAfterTheNextInstruction) {
    constexpr int trap = VM86_TRAP | 1 << 8;
    Machine m(0x10000);
    m.revector_all();
    m.code(0, {0x68, 0x00, 0x01, // push TF
               0x9D,             // popf: no trap after it, TF was clear
               0x40,             // inc ax: the trap comes after this
               0x40,             // inc ax
               0xCD, 0x80,       // int 0x80: returns to the caller, no trap
               0x43,             // inc bx
               0xF4});           // hlt
    EXPECT_EQ(m.run(), trap);
    EXPECT_EQ(m.ip(), 5);
    EXPECT_EQ(m.ax(), 1);
    EXPECT_EQ(m.run(), trap);
    EXPECT_EQ(m.ip(), 6);
    EXPECT_EQ(m.run(), intx(0x80));
    EXPECT_EQ(m.ip(), 8);
    EXPECT_EQ(m.run(), trap);
    EXPECT_EQ(m.rec.regs.ebx, 1u);
    EXPECT_EQ(m.executed, 1u);

    Machine i(0x10000); // IRET loads TF from the stack the same way
    i.revector_all();
    i.code(0, {0x68, 0x00, 0x01, // push TF
               0x0E,             // push cs
               0x68, 0x20, 0x00, // push 0x20
               0xCF});           // iret
    i.code(0x20, {0x41, 0x41});  // inc cx; inc cx
    EXPECT_EQ(i.run(), trap);
    EXPECT_EQ(i.ip(), 0x21);
    EXPECT_EQ(i.rec.regs.ecx, 1u);
}

TEST(TrapFlag, ChipViewTakesInterruptOne) {
    Machine m;
    m.options.real_mode_flags = true;
    m.vector(1, 0x1800, 0x10);
    m.at(0x1800, 0x10) = 0xF4;   // the handler: hlt
    m.code(0, {0x68, 0x00, 0x01, // push TF
               0x9D,             // popf
               0x40,             // inc ax: then interrupt 1
               0x40});           // inc ax
    EXPECT_EQ(m.run(), VM86_UNKNOWN);
    EXPECT_EQ(m.rec.regs.cs, 0x1800);
    EXPECT_EQ(m.ip(), 0x10);
    EXPECT_EQ(m.ax(), 1);
    EXPECT_EQ(m.word(0x1000, 0xFFF8), 5);       // pushed IP: past the first inc
    EXPECT_EQ(m.word(0x1000, 0xFFFC) & TF, TF); // pushed FLAGS keep TF
    EXPECT_EQ(m.flags() & TF, 0);               // the handler runs without it
}

TEST(Unknown, InputOutputAndHltStopAtTheInstruction) {
    struct Case {
        const char *what;
        std::initializer_list<uint8_t> bytes;
    };
    const Case cases[] = {
        {"in al, dx", {0xEC}},
        {"out 0x80, al", {0xE6, 0x80}},
        {"rep outsb", {0xF3, 0x6E}},
        {"insw", {0x6D}},
        {"hlt", {0xF4}},
        {"cs: in ax, 0x60", {0x2E, 0xE5, 0x60}},
    };
    for (const Case &c : cases) {
        Machine m(0x10000);
        m.code(0, {0x90}); // nop
        m.code(1, c.bytes);
        m.rec.regs.ecx = 5;
        EXPECT_EQ(m.run(), VM86_UNKNOWN) << c.what;
        EXPECT_EQ(m.ip(), 1) << c.what;
        EXPECT_EQ(m.rec.regs.ecx, 5u) << c.what;
        EXPECT_EQ(m.executed, 1u) << c.what;
    }
}

TEST(Memory, AccessOutsideTheMemoryIsReportedNotMade) {
    struct Case {
        const char *what;
        std::initializer_list<uint8_t> bytes;
        uint32_t linear;
    };
    const Case cases[] = {
        // mov [0xfff0], ax with DS = 0x2FFF: linear 0x3FFE0, past the 128 KiB
        {"store above", {0x8E, 0xDB, 0xA3, 0xF0, 0xFF}, 0x3FFE0},
        // mov al, [0] with DS = 0: linear 0, below the memory
        {"load below", {0x31, 0xDB, 0x8E, 0xDB, 0xA0, 0x00, 0x00}, 0},
        // jmp 0x3000:0: fetching outside
        {"fetch", {0x31, 0xDB, 0xEA, 0x00, 0x00, 0x00, 0x30}, 0x30000},
        // rep stosb from ES = 0x2FFF, DI = 0, running off the end after 16 bytes
        {"string", {0x8E, 0xC3, 0xBF, 0x00, 0x00, 0xB9, 0x40, 0x00, 0xF3, 0xAA}, 0x30000},
    };
    for (const Case &c : cases) {
        Machine m(0x10000);
        m.rec.regs.ebx = 0x2FFF;
        m.code(0, c.bytes);
        EXPECT_EQ(m.run(), -EFAULT) << c.what;
        EXPECT_EQ(m.fault.linear, c.linear) << c.what;
        EXPECT_TRUE(m.guards_intact()) << c.what;
        if (std::string_view(c.what) == "string") { // stopped where it stood
            EXPECT_EQ(m.rec.regs.ecx, 0x30u);
            EXPECT_EQ(m.rec.regs.edi, 0x10u);
        }
    }
    Machine m(0x10000);
    m.rec.regs.ebx = 0x2FFF;
    m.code(0, {0x90, 0x8E, 0xDB, 0xA3, 0xF0, 0xFF});
    EXPECT_EQ(m.run(), -EFAULT);
    EXPECT_EQ(m.fault.cs, 0x1000);
    EXPECT_EQ(m.fault.ip, 3); // the store; the segment load before it completed
    EXPECT_EQ(m.ip(), 3);
    EXPECT_EQ(m.rec.regs.ds, 0x2FFF);
}

TEST(Memory, SizeBeyondWhatRealModeReachesIsHarmless) {
    // 0xFFFF0 bytes from 0x10000 reach FFFF:FFFF; the caller claims 4 GiB.
    Machine m(0x10000, 0xFFFF0);
    m.revector_all();
    m.code(0, {0xB8, 0xFF, 0xFF,             // mov ax, 0xffff
               0x8E, 0xD8,                   // mov ds, ax
               0xC6, 0x06, 0xFF, 0xFF, 0x5A, // mov byte [0xffff], 0x5a: linear 0x10FFEF
               0xCD, 0x80});                 // int 0x80
    int rc = vm86::run(m.rec, Memory{m.memory(), 0x10000, 0xFFFFFFFF}, m.options);
    EXPECT_EQ(rc, intx(0x80));
    EXPECT_EQ(m.at(0x10FFEF), 0x5A);
    EXPECT_TRUE(m.guards_intact());
}

TEST(Budget, EndlessLoopStopsWithSignal) {
    Machine m(0x10000);
    m.code(0, {0xEB, 0xFE}); // jmp $
    m.options.max_instructions = 1000;
    EXPECT_EQ(m.run(), VM86_SIGNAL);
    EXPECT_EQ(m.executed, 1000u);
    EXPECT_EQ(m.ip(), 0);

    // A fault whose handler faults again is bounded too.
    Machine f;
    f.vector(6, 0x1000, 0);
    f.code(0, {0x0F}); // invalid, and the handler is itself
    f.options.max_instructions = 50;
    EXPECT_EQ(f.run(), VM86_SIGNAL);
    EXPECT_TRUE(f.guards_intact());
}

} // namespace
} // namespace vm86::testing
