#include "hard_links.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Equal inode numbers on two file systems are two files: a second one must
// not become a link to the first, or its data would never be stored.
TEST(HardLinks, KeyedByDeviceAndInodeTogether) {
    quarc::enter_hardlink("disk1/file", {0x801, 1234});
    EXPECT_STREQ(quarc::find_hardlink({0x801, 1234}), "disk1/file");
    EXPECT_EQ(quarc::find_hardlink({0x802, 1234}), nullptr);
    EXPECT_EQ(quarc::find_hardlink({0x801, 1235}), nullptr);
    // Full width: numbers past 32 bits are not cut to their low half.
    quarc::enter_hardlink("big/inode", {0x801, (1ULL << 32) + 1234});
    EXPECT_STREQ(quarc::find_hardlink({0x801, 1234}), "disk1/file");
    EXPECT_STREQ(quarc::find_hardlink({0x801, (1ULL << 32) + 1234}), "big/inode");
    EXPECT_EQ(quarc::nhrdlink, 2);
    quarc::release_hardlinks();
    EXPECT_EQ(quarc::nhrdlink, 0);
    EXPECT_EQ(quarc::find_hardlink({0x801, 1234}), nullptr);
}

} // namespace
