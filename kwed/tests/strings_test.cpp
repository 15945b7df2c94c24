// strlwr, strdup and strrep.
#include "kwed.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string rep(std::string text, int from, int to, int n) {
    char *s = text.data();
    EXPECT_EQ(kwed::strrep(s, from, to, n), s);
    return text;
}

TEST(Strrep, CountPicksTheOccurrence) {
    EXPECT_EQ(rep("a-b-c", '-', '+', 0), "a+b+c");
    EXPECT_EQ(rep("a-b-c", '-', '+', 1), "a+b-c");
    EXPECT_EQ(rep("a-b-c", '-', '+', 2), "a-b+c");
    EXPECT_EQ(rep("a-b-c", '-', '+', 3), "a-b-c");
    EXPECT_EQ(rep("a-b-c", '-', '+', -1), "a-b+c");
    EXPECT_EQ(rep("a-b-c", '-', '+', -2), "a+b-c");
    EXPECT_EQ(rep("a-b-c", '-', '+', -3), "a-b-c");
    EXPECT_EQ(rep("-", '-', '+', -1), "+");
    EXPECT_EQ(rep("-ab", '-', '+', -1), "+ab");
    EXPECT_EQ(rep("abc", '-', '+', 0), "abc");
    EXPECT_EQ(rep("abc", '-', '+', 1), "abc");
    EXPECT_EQ(rep("abc", '-', '+', -1), "abc");
}

TEST(Strrep, EmptyTextIsLeftAlone) {
    // A byte in front of the text that a backward scan must not reach.
    char buf[] = {'-', '\0'};
    for (int n : {-2, -1, 0, 1}) {
        EXPECT_EQ(kwed::strrep(buf + 1, '-', '+', n), buf + 1);
        EXPECT_EQ(buf[0], '-');
    }
}

TEST(Strrep, CharactersCompareAsChar) {
    // 0xE9 passed as an int and as a (signed) char both match the byte.
    EXPECT_EQ(rep("caf\xe9", 0xe9, 'e', 0), "cafe");
    EXPECT_EQ(rep("caf\xe9", static_cast<char>(0xe9), 'e', 0), "cafe");
    EXPECT_EQ(rep("a b", ' ', 0xff, 1), "a\xff"
                                        "b");
}

TEST(Strlwr, LowersUpperCaseOnly) {
    std::string s = "Mixed Case 1";
    EXPECT_EQ(kwed::strlwr(s.data()), s.data());
    EXPECT_EQ(s, "mixed case 1");
    std::string t = "^A[\\]_@ \xc3\x89";
    kwed::strlwr(t.data());
    EXPECT_EQ(t, "^a[\\]_@ \xc3\x89");
}

TEST(Strdup, CopiesTextAndNul) {
    const char *texts[] = {"", "kwed.rc", "a\xc3\xa9"};
    for (const char *text : texts) {
        char *copy = kwed::strdup(text);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, text);
        EXPECT_STREQ(copy, text);
        std::free(copy);
    }
}

} // namespace
