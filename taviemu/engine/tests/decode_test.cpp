// The decoder: lengths, operands, prefixes and the forms the 286 refuses.
#include "decode.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <vector>

namespace vm86::engine {
namespace {

Insn decode_bytes(std::initializer_list<uint8_t> bytes, bool *wrapped = nullptr) {
    static std::vector<uint8_t> memory;
    memory.assign(0x100, 0x90);
    std::copy(bytes.begin(), bytes.end(), memory.begin());
    Cpu c{};
    c.host = memory.data();
    c.size = uint32_t(memory.size());
    bool w = false;
    Insn in = decode(c, 0, w);
    if (wrapped)
        *wrapped = w;
    return in;
}

TEST(Decode, LengthsAndOperands) {
    struct Case {
        const char *what;
        std::initializer_list<uint8_t> bytes;
        unsigned len;
    };
    const Case cases[] = {
        {"nop", {0x90}, 1},
        {"add [bx+si],al", {0x00, 0x00}, 2},
        {"add [bp+0x12],al", {0x00, 0x46, 0x12}, 3},
        {"add [0x1234],al", {0x00, 0x06, 0x34, 0x12}, 4},
        {"add [bx+0x1234],ax", {0x01, 0x87, 0x34, 0x12}, 4},
        {"add word [bx+0x1234],0x5678", {0x81, 0x87, 0x34, 0x12, 0x78, 0x56}, 6},
        {"add word [bx],-1 (83)", {0x83, 0x07, 0xFF}, 3},
        {"test byte [0x10],0x7f", {0xF6, 0x06, 0x10, 0x00, 0x7F}, 5},
        {"test word [0x10],0x7fff", {0xF7, 0x06, 0x10, 0x00, 0xFF, 0x7F}, 6},
        {"not word [0x10]", {0xF7, 0x16, 0x10, 0x00}, 4},
        {"call 0x1234:0x5678", {0x9A, 0x78, 0x56, 0x34, 0x12}, 5},
        {"enter 0x10,2", {0xC8, 0x10, 0x00, 0x02}, 4},
        {"mov ax,[0x1234]", {0xA1, 0x34, 0x12}, 3},
        {"es rep movsw", {0x26, 0xF3, 0xA5}, 3},
        {"lock cs add [bx],al", {0xF0, 0x2E, 0x00, 0x07}, 4},
        {"imul ax,[bx],0x10 (6B)", {0x6B, 0x07, 0x10}, 3},
        {"fadd dword [bx] (no coprocessor)", {0xD8, 0x07}, 2},
        {"shl word [bx+0x10],5", {0xC1, 0x67, 0x10, 0x05}, 4},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decode_bytes(c.bytes).len, c.len) << c.what;
}

TEST(Decode, EffectiveAddressParts) {
    Insn in = decode_bytes({0x8B, 0x42, 0xFE}); // mov ax,[bp+si-2]
    EXPECT_EQ(in.base, BP);
    EXPECT_EQ(in.index, SI);
    EXPECT_EQ(in.disp, 0xFFFE);
    EXPECT_EQ(in.seg, SS); // BP addresses the stack segment
    EXPECT_EQ(in.reg, AX);

    in = decode_bytes({0x3E, 0x8B, 0x46, 0x00}); // mov ax,[ds:bp+0]
    EXPECT_EQ(in.seg, DS);

    in = decode_bytes({0x8B, 0x06, 0x00, 0x00}); // mov ax,[0]: not BP-based
    EXPECT_EQ(in.base, ZERO);
    EXPECT_EQ(in.seg, DS);

    in = decode_bytes({0x83, 0xC0, 0x80}); // add ax,-128
    EXPECT_EQ(in.op, G_ALU16S + 0);
    EXPECT_EQ(in.imm, 0xFF80);
    EXPECT_FALSE(in.mem);
}

TEST(Decode, RefusedForms) {
    const std::initializer_list<uint8_t> invalid[] = {
        {0x0F, 0x00, 0x00}, // protected-mode extensions
        {0x63, 0x00},       // ARPL
        {0x8D, 0xC0},       // lea ax,ax
        {0xC4, 0xC0},       // les ax,ax
        {0x62, 0xC0},       // bound ax,ax
        {0x8E, 0xC8},       // mov cs,ax
        {0x8C, 0xE0},       // mov ax,fs: no FS on a 286
        {0x8F, 0xC8},       // 8F /1
        {0xC6, 0xC8, 0x00}, // C6 /1
        {0xFE, 0xD0},       // FE /2
        {0xFF, 0xD8},       // call far ax
        {0xFF, 0xF8},       // FF /7
    };
    for (auto bytes : invalid)
        EXPECT_EQ(decode_bytes(bytes).op, OP_INVALID) << int(*bytes.begin());
}

TEST(Decode, PrefixLimitAndWrap) {
    Insn in = decode_bytes({0x26, 0x26, 0x26, 0x26, 0x26, 0x26, 0x26, 0x26, 0x26, 0x26, 0x90});
    EXPECT_EQ(in.op, OP_TOO_LONG); // eleven bytes

    std::vector<uint8_t> memory(0x10000, 0);
    memory[0xFFFF] = 0xB8; // mov ax, imm16 whose immediate wraps to offset 0
    Cpu c{};
    c.host = memory.data();
    c.size = uint32_t(memory.size());
    bool wrapped = false;
    in = decode(c, 0xFFFF, wrapped);
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(in.len, 3);
}

} // namespace
} // namespace vm86::engine
