// The loader and the initial stack, called directly on an area on the heap.
#include "guest_memory.h"
#include "tavi.h"
#include "temp_tree.h"
#include "test_area.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace taviemu;

namespace {

std::string header(uint32_t magic, uint32_t text, uint32_t data, uint32_t bss, uint32_t entry = 0) {
    uint8_t h[32] = {};
    put32(h, magic);
    put32(h + 4, 32);
    put32(h + 8, text);
    put32(h + 12, data);
    put32(h + 16, bss);
    put32(h + 20, entry);
    return std::string(reinterpret_cast<char *>(h), 32);
}

// Loads `image` from a file; the loader's result.
int load(const std::string &image) {
    suite_testing::TempTree tree;
    int fd = open(tree.file("prog", image).c_str(), O_RDONLY);
    int r = load_tavi(fd);
    close(fd);
    return r;
}

uint16_t word_at(TestArea &area, uint16_t seg, uint16_t off) {
    return get16(area.at(seg, off));
}

} // namespace

TEST(LoadTavi, RefusesBadHeaders) {
    TestArea area;
    std::string good = header(kMagicCombined, 4, 0, 0) + "\x90\x90\x90\x90";
    EXPECT_EQ(load(good), 0);
    EXPECT_EQ(load(good.substr(0, 31)), -ENOEXEC);
    EXPECT_EQ(load(""), -ENOEXEC);
    for (int at : {4, 5, 6, 7}) {
        std::string bad = good;
        bad[at] = at == 4 ? 33 : 1;
        EXPECT_EQ(load(bad), -ENOEXEC) << "byte " << at;
    }
    std::string magic = good;
    magic[2] = 0x30;
    EXPECT_EQ(load(magic), -ENOEXEC);
    magic = good;
    magic[0] = 0x02;
    EXPECT_EQ(load(magic), -ENOEXEC);
}

TEST(LoadTavi, RefusesSizesBeyondTheFile) {
    TestArea area;
    EXPECT_EQ(load(header(kMagicCombined, 5, 0, 0) + "abcd"), -ENOEXEC);
    EXPECT_EQ(load(header(kMagicCombined, 4, 3, 0) + "abcdxy"), -ENOEXEC);
    EXPECT_EQ(load(header(kMagicSeparate, 4, 3, 0) + "abcdxyz"), 0);
    // Short files stay short files even when the sizes would not fit either.
    EXPECT_EQ(load(header(kMagicCombined, 0x20000, 0, 0) + "abcd"), -ENOEXEC);
    EXPECT_EQ(load(header(kMagicSeparate, 4, 0xFFFFFFFF, 0) + "abcd"), -ENOEXEC);
}

TEST(LoadTavi, CombinedLayout) {
    TestArea area;
    area.fill(0xAA);
    std::string text(0x123, '\x90');
    std::string image = header(kMagicCombined, 0x123, 5, 7, 0x1234) + text + "DATA!";
    ASSERT_EQ(load(image), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(area.at(0x1000, 0x123)), 5), "DATA!");
    for (uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(*area.at(0x1000, 0x128 + i), 0) << "bss byte " << i;
    EXPECT_EQ(*area.at(0x1000, 0x12F), 0xAA); // nothing past the bss
    const vm86::Regs &r = tavi_cpu.regs;
    EXPECT_EQ(r.cs, 0x1000);
    EXPECT_EQ(r.ds, 0x1000);
    EXPECT_EQ(r.es, 0x1000);
    EXPECT_EQ(r.ss, 0x1000);
    EXPECT_EQ(r.eip, 0u); // whatever the entry field says
    EXPECT_EQ(r.esp, 0x10000u);
    EXPECT_EQ(tavi_bss_end, 0x123u + 5 + 7);
}

TEST(LoadTavi, SeparateLayout) {
    TestArea area;
    ASSERT_EQ(load(header(kMagicSeparate, 3, 4, 2) + "abcWXYZ"), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(area.at(0x1000, 0)), 3), "abc");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(area.at(0x2000, 0)), 4), "WXYZ");
    const vm86::Regs &r = tavi_cpu.regs;
    EXPECT_EQ(r.cs, 0x1000);
    EXPECT_EQ(r.ds, 0x2000);
    EXPECT_EQ(r.es, 0x2000);
    EXPECT_EQ(r.ss, 0x2000);
    EXPECT_EQ(tavi_bss_end, 6u);
}

TEST(LoadTavi, RefusesWhatDoesNotFitBeforeWriting) {
    TestArea area;
    area.fill(0x55);
    std::string big(0x10001, 'x');
    EXPECT_EQ(load(header(kMagicCombined, 0x10001, 0, 0) + big), kTooLarge);
    EXPECT_EQ(load(header(kMagicCombined, 0x8000, 0x8000, 1) + big), kTooLarge);
    EXPECT_EQ(load(header(kMagicSeparate, 0x10001, 0, 0) + big), kTooLarge);
    EXPECT_EQ(load(header(kMagicSeparate, 0, 0x10000, 1) + big), kTooLarge);
    EXPECT_EQ(load(header(kMagicCombined, 1, 1, 0xFFFFFFFF) + "ab"), kTooLarge);
    EXPECT_EQ(load(header(kMagicSeparate, 0, 0x20000, 0) + big + big), kTooLarge);
    for (uint8_t b : area.bytes())
        ASSERT_EQ(b, 0x55);
    // Exactly full segments are fine.
    EXPECT_EQ(load(header(kMagicCombined, 0x8000, 0x7000, 0x1000) + big.substr(0, 0xF000)), 0);
    EXPECT_EQ(load(header(kMagicSeparate, 0x10000, 0x10000, 0) + big + big.substr(1)), 0);
}

TEST(LoadTavi, DataSegmentMustBeExpressible) {
    TestArea area;
    tavi_linear = kAreaAddress + 8; // not on a paragraph boundary
    testing::internal::CaptureStdout();
    int loaded = load(header(kMagicCombined, 1, 0, 0) + "x");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error VM86 problem 10008!=10000 (Is DS > 16 bits ?)\n");
    EXPECT_EQ(loaded, kBadSegment);
}

TEST(BuildStack, BlockOfTheExample) {
    TestArea area;
    tavi_cpu.regs.ds = 0x2000;
    tavi_cpu.regs.esp = 0x10000;
    char path[] = "/x/prog", arg[] = "a";
    char *args[] = {path, arg, nullptr};
    char *env[] = {nullptr};
    ASSERT_EQ(build_stack(args, env), 0);
    EXPECT_EQ(tavi_cpu.regs.esp, 0xFFECu);
    std::vector<uint16_t> words;
    for (uint16_t off = 0xFFEC; off < 0xFFF6; off += 2)
        words.push_back(word_at(area, 0x2000, off));
    EXPECT_EQ(words, (std::vector<uint16_t>{2, 0xFFF6, 0xFFFE, 0, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(area.at(0x2000, 0xFFF6)), 10),
              std::string("/x/prog\0a\0", 10));
}

TEST(BuildStack, OddLengthsLeaveSpOdd) {
    TestArea area;
    tavi_cpu.regs.ds = 0x1000;
    tavi_cpu.regs.esp = 0x10000;
    char path[] = "/x/p", var[] = "A=1";
    char *args[] = {path, nullptr};
    char *env[] = {var, nullptr};
    ASSERT_EQ(build_stack(args, env), 0);
    EXPECT_EQ(tavi_cpu.regs.esp, 0xFFEDu); // 5 + 4 + 2 + 2 + 6 = 19 bytes
    EXPECT_EQ(word_at(area, 0x1000, 0xFFED), 1);
    EXPECT_EQ(word_at(area, 0x1000, 0xFFEF), 0xFFF7);
    EXPECT_EQ(word_at(area, 0x1000, 0xFFF1), 0);
    EXPECT_EQ(word_at(area, 0x1000, 0xFFF3), 0xFFFC);
    EXPECT_EQ(word_at(area, 0x1000, 0xFFF5), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(area.at(0x1000, 0xFFFC)), "A=1");
}

TEST(BuildStack, RefusesABlockThatReachesTheBss) {
    TestArea area;
    tavi_cpu.regs.ds = 0x1000;
    tavi_cpu.regs.esp = 0x10000;
    char path[] = "/x/prog", arg[] = "a";
    char *args[] = {path, arg, nullptr};
    tavi_bss_end = 0x10000 - 19; // one byte short of the 20 the block needs
    EXPECT_EQ(build_stack(args, nullptr), -E2BIG);
    EXPECT_EQ(tavi_cpu.regs.esp, 0x10000u);
    for (uint8_t b : area.bytes())
        ASSERT_EQ(b, 0);
    tavi_bss_end = 0x10000 - 20;
    EXPECT_EQ(build_stack(args, nullptr), 0);
    EXPECT_EQ(tavi_cpu.regs.esp, 0xFFECu);
}

TEST(BuildStack, RefusesMoreThanASegment) {
    TestArea area;
    tavi_cpu.regs.ds = 0x1000;
    tavi_cpu.regs.esp = 0x10000;
    std::string huge(0x10000, 'v');
    char *args[] = {huge.data(), nullptr};
    EXPECT_EQ(build_stack(args, nullptr), -E2BIG);
    EXPECT_EQ(tavi_cpu.regs.esp, 0x10000u);
}
