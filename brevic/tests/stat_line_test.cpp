// The stat-line parser on crafted lines, and the computed column texts.
#include "brevic.h"

#include <gtest/gtest.h>
#include <string>

using brevic::ps_process;

namespace {

// The fields after the name, as a 6.x kernel writes them for a large process.
const std::string tail = "S 4000 4242 4100 34817 4242 4194560 111 0 7 0 9006100 0 0 0 20 0 1 0 "
                         "12345 6442450944 300000 18446744073709551615 1 2 3 4 5 0 0 0 0 "
                         "1193046 0 0 17 1 0 0 0 0 0\n";

bool parse(const std::string &line, ps_process &p) {
    p = ps_process{};
    return brevic::parse_stat_line(line, p);
}

} // namespace

TEST(BrevicStatLine, FieldsAfterAnAwkwardName) {
    ps_process p;
    ASSERT_TRUE(parse("4242 (my) (proc x) " + tail, p));
    EXPECT_EQ(p.pid, 4242);
    EXPECT_STREQ(p.comm, "my) (proc x");
    EXPECT_EQ(p.state, 'S');
    EXPECT_EQ(p.ppid, 4000);
    EXPECT_EQ(p.session, 4100);
    EXPECT_EQ(p.tty_nr, 34817);
    EXPECT_EQ(p.majflt, 7u);
    EXPECT_EQ(p.utime, 9006100u);
    EXPECT_EQ(p.priority, 20);
    EXPECT_EQ(p.vsize, 6291456u); // 6 GiB in KiB
    EXPECT_EQ(p.rss, 1200000);    // 300000 pages of 4 KiB
    EXPECT_EQ(p.rsslim, UINT64_MAX);
    EXPECT_EQ(p.wchan, 0x123456u);
    EXPECT_EQ(p.cnswap, 0u);
}

TEST(BrevicStatLine, NamesOfFifteenAndSixteenCharacters) {
    ps_process p;
    ASSERT_TRUE(parse("7 (abcdefghijklmno) " + tail, p));
    EXPECT_STREQ(p.comm, "abcdefghijklmno");
    ASSERT_TRUE(parse("7 (kworker/u8:0-events_unbound) " + tail, p));
    EXPECT_STREQ(p.comm, "kworker/u8:0-ev");
    ASSERT_TRUE(parse("7 () " + tail, p));
    EXPECT_STREQ(p.comm, "");
}

TEST(BrevicStatLine, RejectedLines) {
    ps_process p;
    const std::string long_name = "9 (" + std::string(70, 'n') + ") ";
    // Through `blocked` (30 fields after the name) is enough; one fewer is not.
    const std::string thirty =
        long_name + "S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 1 1 1 1 1 1 1 1 0 0";
    ASSERT_TRUE(parse("4242 (x) " + tail, p));
    ASSERT_TRUE(brevic::parse_stat_line(thirty, p)); // over the same record
    EXPECT_EQ(p.pid, 9);
    EXPECT_EQ(p.wchan, 0u); // not left from the line before
    EXPECT_EQ(p.sigignore, 0u);
    EXPECT_FALSE(parse(thirty.substr(0, thirty.size() - 2), p));
    EXPECT_FALSE(
        parse("9 (short) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 1 1 1 1 1 1 1 1 0 0", p));
    std::string no_close = "4242 (name " + tail;
    EXPECT_FALSE(parse(no_close, p));
    EXPECT_FALSE(parse("4242 name) " + tail, p));
    EXPECT_FALSE(
        parse(long_name + "S 1 1 1 0 -1 x 0 0 0 0 0 0 0 0 20 0 1 0 5 1 1 1 1 1 1 1 1 0 0", p));
    // A ')' as the very last byte leaves no state to read, and nothing past the text is read.
    EXPECT_FALSE(parse("1 (" + std::string(90, 'x') + ")", p));
    // A field too large for its width ends the conversion.
    EXPECT_FALSE(parse(
        long_name + "S 1 1 1 99999999999 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 1 1 1 1 1 1 1 1 0 0", p));
}

TEST(BrevicStatLine, EightyBytesAreTheShortestLine) {
    const std::string fields = ") S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5 1 1 1 1 1 1 1 1 0 0";
    const std::string eighty = "9 (" + std::string(14, 'n') + fields;
    ASSERT_EQ(eighty.size(), 80u);
    ps_process p;
    EXPECT_TRUE(parse(eighty, p));
    EXPECT_FALSE(parse(eighty.substr(0, 3) + eighty.substr(4), p)); // 79 bytes
}

TEST(BrevicColumns, TimeText) {
    brevic::time_text t;
    EXPECT_STREQ(brevic::format_time(9006100, t), "1-01:01:01");
    EXPECT_STREQ(brevic::format_time(359999, t), "00:59:59");
    EXPECT_STREQ(brevic::format_time(0, t), "00:00:00");
    EXPECT_STREQ(brevic::format_time(8639999, t), "23:59:59");
    EXPECT_STREQ(brevic::format_time(8640000, t), "1-00:00:00");
    // Past the 32-bit tick count (497 days) the time still adds up.
    EXPECT_STREQ(brevic::format_time(4294967296ULL + 8640000, t), "498-02:27:52");
}

TEST(BrevicColumns, TtyUserAndNameTexts) {
    brevic::tty_text tty;
    EXPECT_STREQ(brevic::format_tty(1025, tty), "  4,1  ");
    EXPECT_STREQ(brevic::format_tty(-1, tty), "255,255");
    EXPECT_STREQ(brevic::format_tty(0, tty), "  0,0  ");
    EXPECT_STREQ(brevic::format_tty((136 << 8) | (300 & 0xff) | ((300 & ~0xff) << 12), tty),
                 "136,300");
    // A minor of 2^19 or more sets the sign bit of the 32-bit number.
    const auto big_minor =
        static_cast<int>((136u << 8) | (600000u & 0xff) | ((600000u >> 8) << 20));
    ASSERT_LT(big_minor, -1);
    EXPECT_STREQ(brevic::format_tty(big_minor, tty), "136,600000");
    brevic::user_text user;
    EXPECT_STREQ(brevic::format_user(0, "root", user), "root    ");
    EXPECT_STREQ(brevic::format_user(0, "averylongname", user), "averylon");
    EXPECT_STREQ(brevic::format_user(54321, nullptr, user), "54321   ");
    EXPECT_STREQ(brevic::format_user(4294967294u, nullptr, user), "4294967294   ");
    brevic::comm_text name;
    const char comm[16] = "a\nb\033[2Jc\x7f";
    EXPECT_STREQ(brevic::printable_comm(comm, name), "a?b?[2Jc?");
}
