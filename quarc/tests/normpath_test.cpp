#include "normpath.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string normalised(const char *src) {
    char dst[100];
    std::size_t len = quarc::normpath(src, dst);
    EXPECT_EQ(len, std::strlen(dst)) << src;
    return dst;
}

TEST(Normpath, DropsSlashesAndDotComponents) {
    EXPECT_EQ(normalised("/usr//lib/"), "usr/lib");
    EXPECT_EQ(normalised("./a/./b/."), "a/b");
    EXPECT_EQ(normalised("//a///b//"), "a/b");
    EXPECT_EQ(normalised("a/./././b"), "a/b");
}

TEST(Normpath, EmptyForTheCurrentAndRootDirectory) {
    EXPECT_EQ(normalised("."), "");
    EXPECT_EQ(normalised("./"), "");
    EXPECT_EQ(normalised("/"), "");
    EXPECT_EQ(normalised(""), "");
    EXPECT_EQ(normalised("/././/./"), "");
}

TEST(Normpath, KeepsDotDotAndNamesBeginningWithADot) {
    EXPECT_EQ(normalised("../x"), "../x");
    EXPECT_EQ(normalised(".profile"), ".profile");
    EXPECT_EQ(normalised("a/.b/.."), "a/.b/..");
    EXPECT_EQ(normalised("a/..."), "a/...");
    EXPECT_EQ(normalised("./.x/."), ".x");
}

TEST(Normpath, LongPathNeverWritesPastTheBuffer) {
    std::string src = "/" + std::string(150, 'a') + "//b";
    char dst[101];
    dst[100] = 'Z'; // a guard byte just past the buffer normpath is given
    std::size_t len = quarc::normpath(src.c_str(), std::span<char>(dst, 100));
    EXPECT_EQ(len, 152u);                              // the full length is reported
    EXPECT_EQ(std::string(dst), std::string(99, 'a')); // the part that fits, with its NUL
    EXPECT_EQ(dst[100], 'Z');
}

TEST(Normpath, ExactlyNinetyNineCharactersFit) {
    std::string src = "./" + std::string(97, 'n') + "/x/";
    char dst[100];
    EXPECT_EQ(quarc::normpath(src.c_str(), dst), 99u);
    EXPECT_EQ(std::string(dst), std::string(97, 'n') + "/x");
}

} // namespace
