// Decimal words reduced to their low byte: the same as atoi for every number
// atoi can hold, and the exact low byte for numbers beyond it.
#include "../decimal_byte.h"

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
