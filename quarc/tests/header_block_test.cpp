#include "archive_reader.h"
#include "header_block.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using quarc_test::expected_fields;
using quarc_test::expected_header;
using namespace std::string_literals;

// putoctal with a marker byte at every position, to see which it touches.
std::string octal(long long value, std::size_t width) {
    std::string dest(width, '#');
    quarc::putoctal(value, width, dest.data());
    return dest;
}

std::string number(long long value, std::size_t field_width) {
    std::string dest(field_width, '#');
    EXPECT_TRUE(quarc::putnumber(value, dest));
    return dest;
}

TEST(Putoctal, EightByteFormLeavesTheLastPosition) {
    EXPECT_EQ(octal(0100644, 8), "100644 #");
    EXPECT_EQ(octal(0, 8), "     0 #");
    EXPECT_EQ(octal(040755, 8), " 40755 #");
}

TEST(Putoctal, TwelveByteFormFillsElevenDigitsAndASpace) {
    EXPECT_EQ(octal(1234, 13), "       2322 #");
    EXPECT_EQ(octal(0, 13), "          0 #");
    EXPECT_EQ(octal(077777777777LL, 13), "77777777777 #");
}

TEST(Putoctal, DigitsThatDoNotFitAreDroppedAndNegativeFillsWithSevens) {
    EXPECT_EQ(octal(01234567, 8), "234567 #");
    EXPECT_EQ(octal(-1, 8), "777777 #");
    EXPECT_FALSE(quarc::octal_fits(01000000, 8));
    EXPECT_TRUE(quarc::octal_fits(0777777, 8));
    EXPECT_FALSE(quarc::octal_fits(-1, 13));
    EXPECT_FALSE(quarc::octal_fits(0100000000000LL, 13));
}

TEST(Putnumber, BaseTwoFiftySixBeyondTheOctalRange) {
    // 8 GiB: one more than eleven octal digits hold.
    EXPECT_EQ(number(8589934592LL, 12), "\x80\0\0\0\0\0\0\x02\0\0\0\0"s);
    // uid 262144 (octal 1000000)
    EXPECT_EQ(number(262144, 8), "\x80\0\0\0\0\x04\0\0"s);
    // one day before 1970
    EXPECT_EQ(number(-86400, 12), "\xff\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xae\x80"s);
    EXPECT_EQ(number(-1, 8), "\xff\xff\xff\xff\xff\xff\xff\xff"s);
    EXPECT_EQ(quarc_test::number(number(-86400, 12)), -86400);
    EXPECT_EQ(quarc_test::number(number(4294967295LL, 8)), 4294967295LL);
}

TEST(Putnumber, RefusesWhatNoFormHolds) {
    std::string dest(8, '#');
    EXPECT_FALSE(quarc::putnumber(1LL << 56, dest));
    EXPECT_FALSE(quarc::putnumber(-(1LL << 56) - 1, dest));
    EXPECT_TRUE(quarc::putnumber((1LL << 56) - 1, dest));
}

std::string build(const quarc::header_fields &f) {
    quarc::header_block block;
    EXPECT_TRUE(quarc::fill_header(f, block));
    return std::string(block.data(), block.size());
}

TEST(FillHeader, RegularFile) {
    quarc::header_fields f;
    f.name = "dir/file.txt";
    f.mode = 0100644;
    f.uid = 1000;
    f.gid = 100;
    f.size = 1234;
    f.mtime = 1000000000;
    f.uname = "alice";
    f.gname = "users";
    expected_fields s;
    s.name = "dir/file.txt";
    s.mode = "100644 \0"s;
    s.uid = "  1750 \0"s;
    s.gid = "   144 \0"s;
    s.size = "       2322 ";
    s.mtime = " 7346545000 ";
    s.uname = "alice";
    s.gname = "users";
    std::string got = build(f);
    EXPECT_EQ(got, expected_header(s));
    // The checksum field: six digits, NUL, space.
    EXPECT_EQ(got[154], '\0');
    EXPECT_EQ(got[155], ' ');
    EXPECT_EQ(quarc_test::number(got.substr(148, 8)), quarc_test::block_sum(got));
}

TEST(FillHeader, DirectoryOfNinetyNineCharactersHasNoNul) {
    std::string name = std::string(99, 'd') + "/";
    quarc::header_fields f;
    f.name = name;
    f.mode = 040755;
    f.typeflag = quarc::typeflag::directory;
    f.uname = f.gname = "root";
    expected_fields s;
    s.name = name;
    s.mode = " 40755 \0"s;
    s.mtime = "          0 ";
    s.type = '5';
    std::string got = build(f);
    EXPECT_EQ(got, expected_header(s));
    EXPECT_EQ(got.substr(0, 100), name);
}

TEST(FillHeader, OwnerNamesOfThirtyTwoAreCutWithoutNul) {
    std::string long_name(40, 'u');
    quarc::header_fields f;
    f.name = "x";
    f.mode = 0100644;
    f.uname = long_name;
    f.gname = std::string_view(long_name).substr(0, 31);
    std::string got = build(f);
    EXPECT_EQ(got.substr(265, 32), std::string(32, 'u'));
    EXPECT_EQ(got.substr(297, 32), std::string(31, 'u') + '\0');
    EXPECT_EQ(got[329], '\0'); // devmajor untouched for a non-device
}

TEST(FillHeader, OverWideNumbersInBaseTwoFiftySix) {
    quarc::header_fields f;
    f.name = "big";
    f.mode = 0100644;
    f.uid = 300000;
    f.gid = 4000000000LL;
    f.size = 8LL << 30;
    f.mtime = -315619200; // 1960-01-01
    std::string got = build(f);
    EXPECT_EQ(quarc_test::number(got.substr(108, 8)), 300000);
    EXPECT_EQ(static_cast<unsigned char>(got[108]), 0x80);
    EXPECT_EQ(quarc_test::number(got.substr(116, 8)), 4000000000LL);
    EXPECT_EQ(quarc_test::number(got.substr(124, 12)), 8LL << 30);
    EXPECT_EQ(static_cast<unsigned char>(got[136]), 0xff);
    EXPECT_EQ(quarc_test::number(got.substr(136, 12)), -315619200);
    EXPECT_EQ(quarc_test::number(got.substr(148, 8)), quarc_test::block_sum(got));
}

} // namespace
