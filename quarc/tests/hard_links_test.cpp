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

// Through many growths of the table: every file is found under its first
// name, and the table keeps the files in the order they were entered.
TEST(HardLinks, ManyFilesKeepTheirOrderAndNames) {
    constexpr int n = 50000;
    for (int i = 0; i < n; ++i) {
        std::string name = "f" + std::to_string(i);
        // Inode numbers that share their low bits, on a few devices.
        quarc::file_id id{std::uint64_t(i % 3), std::uint64_t(i) << 20};
        ASSERT_EQ(quarc::find_hardlink(id), nullptr) << i;
        quarc::enter_hardlink(name.c_str(), id);
    }
    ASSERT_EQ(quarc::nhrdlink, n);
    for (int i = 0; i < n; ++i) {
        std::string name = "f" + std::to_string(i);
        EXPECT_STREQ(quarc::hrdlink[i], name.c_str());
        EXPECT_EQ(quarc::inode[i].ino, std::uint64_t(i) << 20);
        EXPECT_STREQ(quarc::find_hardlink({std::uint64_t(i % 3), std::uint64_t(i) << 20}),
                     name.c_str());
    }
    EXPECT_EQ(quarc::find_hardlink({3, 0}), nullptr);
    quarc::release_hardlinks();
}

} // namespace
