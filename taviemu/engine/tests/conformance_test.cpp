// The conformance harness: reading a test line and judging a result.
#include "cpu_test_case.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vm86::conformance {
namespace {

// A recorded "add [bx+0Eh],bl" test.
const std::string add_line =
    "0 | add [bx+0Eh],bl | 005f0ef4 | 02cb 6823 c18c fab5 ffff a0d7 ffff abdc 9b59 ffff 89be "
    "8749 94b8 1893 | 1094a8:00 1094a9:5f 1094aa:0e 1094ab:f4 106821:de | 02cb 6823 c18c fab5 "
    "ffff a0d7 ffff abdc 9b59 ffff 89be 8749 94bc 0013 | 106821:01 | ffff | - | 626be5084b331080";

struct HarnessTest : ::testing::Test {
    std::vector<uint8_t> memory = std::vector<uint8_t>(test_memory_size);
};

TEST_F(HarnessTest, ParsesAllFields) {
    CpuTest t;
    ASSERT_TRUE(parse_test(add_line, t));
    EXPECT_EQ(t.disassembly, "add [bx+0Eh],bl");
    EXPECT_EQ(t.bytes, (std::vector<uint8_t>{0x00, 0x5F, 0x0E, 0xF4}));
    EXPECT_EQ(t.before[T_CS], 0xFFFF);
    EXPECT_EQ(t.after[T_IP], 0x94BC);
    EXPECT_EQ(t.memory_before.size(), 5u);
    EXPECT_EQ(t.memory_after.at(0), std::make_pair(0x106821u, uint8_t(1)));
    EXPECT_EQ(t.vector, -1);
    EXPECT_EQ(t.id, "626be5084b331080");
}

TEST_F(HarnessTest, RejectsMalformedLines) {
    CpuTest t;
    EXPECT_FALSE(parse_test("", t));
    EXPECT_FALSE(parse_test("0 | nop | 90f4", t));
    std::string bad_reg = add_line;
    bad_reg.replace(bad_reg.find("02cb"), 4, "zzzz");
    EXPECT_FALSE(parse_test(bad_reg, t));
    std::string far_address = add_line;
    far_address.replace(far_address.find("106821:de"), 9, "999999:de");
    EXPECT_FALSE(parse_test(far_address, t));
}

TEST_F(HarnessTest, PassesAMatchingResultAndNamesTheFirstDifference) {
    CpuTest t;
    ASSERT_TRUE(parse_test(add_line, t));
    EXPECT_EQ(run_test(t, memory.data()), "");

    CpuTest wrong_memory = t;
    wrong_memory.memory_after[0].second = 0x02;
    EXPECT_EQ(run_test(wrong_memory, memory.data()), "byte 106821 is 01, expected 02");

    CpuTest wrong_flags = t;
    wrong_flags.after[T_FLAGS] = 0x0812; // OF and AF instead of CF and AF
    EXPECT_EQ(run_test(wrong_flags, memory.data()), "flags is 0013, expected 0812");
    wrong_flags.flags_mask = 0x0010; // only AF defined: the difference does not count
    EXPECT_EQ(run_test(wrong_flags, memory.data()), "");
}

} // namespace
} // namespace vm86::conformance
