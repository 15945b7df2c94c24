// The conversions behind the volume and cdrom words: decimal words to their
// low byte, words to device levels, levels into the mixer value and back.
#include "../decimal_byte.h"
#include "../volume_level.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

using sonarel::decimal_low_byte;

TEST(DecimalLowByte, AgreesWithAtoiOverTheIntRange) {
    const int samples[] = {0,     1,     9,       10,      95, 96, 255,  256,  257,  300,  511,
                           65535, 65536, 1000000, INT_MAX, -1, -5, -255, -256, -257, -300, INT_MIN};
    for (int value : samples) {
        char text[32];
        std::snprintf(text, sizeof text, "%d", value);
        EXPECT_EQ(decimal_low_byte(text), static_cast<unsigned>(std::atoi(text)) & 0xffU) << text;
    }
    for (const char *text : {" \t42", "+42", "42abc", "4 2", "--4", "+-4", "", "-", "abc", "0x20"})
        EXPECT_EQ(decimal_low_byte(text), static_cast<unsigned>(std::atoi(text)) & 0xffU) << text;
}

TEST(DecimalLowByte, KeepsTheLowByteOfNumbersBeyondInt) {
    // 2^64 + 44, 10^30 + 300, -(2^64 + 4): the exact values modulo 256.
    EXPECT_EQ(decimal_low_byte("18446744073709551660"), 44);
    EXPECT_EQ(decimal_low_byte("1000000000000000000000000000300"), 44);
    EXPECT_EQ(decimal_low_byte("-18446744073709551620"), 252);
    EXPECT_EQ(decimal_low_byte(std::string(5000, '9')), 255); // 10^5000 - 1
}

TEST(GetVolume, LevelsPercentagesAndZero) {
    struct {
        const char *word;
        unsigned level;
    } const cases[] = {
        {"50", 50},  {"50%", 50}, {"100%", 95},  {"1%", 5},   {"255%", 234}, {"0", 0},
        {"0%", 0},   {"00", 0},   {"256", 0},    {"256%", 0}, {"abc%", 0},   {"", 0},
        {"%", 0},    {"3", 5},    {"4", 5},      {"5", 5},    {"95", 95},    {"96", 95},
        {"300", 44}, {"-5", 95},  {"200%", 185}, {"99%", 94}, {"5%%", 9},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sonarel::getvolume(c.word), c.level) << c.word;
}

TEST(SetVolume, ClampsAndChoosesBytes) {
    std::uint32_t value = 0xa1b2c3d4;
    sonarel::setvolume(sonarel::right_channel, 40, value);
    EXPECT_EQ(value, 0xa1b228d4U);
    sonarel::setvolume(sonarel::left_channel, 0, value);
    EXPECT_EQ(value, 0xa1b22805U);
    sonarel::setvolume(sonarel::both_channels, 234, value);
    EXPECT_EQ(value, 0xa1b25f5fU);
}

TEST(LevelPercent, TruncatesTowardZero) {
    EXPECT_EQ(sonarel::level_percent(95), 100);
    EXPECT_EQ(sonarel::level_percent(5), 0);
    EXPECT_EQ(sonarel::level_percent(50), 50);
    EXPECT_EQ(sonarel::level_percent(0), -5);
    EXPECT_EQ(sonarel::level_percent(4), -1);
    EXPECT_EQ(sonarel::level_percent(100), 105);
    EXPECT_EQ(sonarel::level_percent(255), 277);
}
