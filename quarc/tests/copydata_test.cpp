// copydata reaches the file again by name after lstat has seen it; what it
// finds there by then need not be the regular file the header describes.
#include "member_writer.h"
#include "temp_tree.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using suite_testing::TempTree;

// Runs copydata in a child with its archive output thrown away, and ends the
// child with copydata's code; a child that hangs is ended by the alarm.
[[noreturn]] void copy_in_child(const std::string &path, long long size) {
    alarm(30);
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        _exit(99);
    int code = quarc::copydata(path.c_str(), size);
    std::fflush(stdout);
    _exit(code);
}

// A symbolic link put in the file's place is not followed: the archive
// would otherwise hold another file's data under this file's name.
TEST(CopyData, SymbolicLinkInThePlaceOfTheFileIsNotFollowed) {
    TempTree t;
    t.file("secret", "not for this member");
    t.symlink("secret", "swapped");
    EXPECT_EXIT(copy_in_child(t.path("swapped"), 19), testing::ExitedWithCode(5), "");
}

// A FIFO put in the file's place does not hold the run up waiting for a
// writer: it gives no data, and the stated size is made up with zeros.
TEST(CopyData, FifoInThePlaceOfTheFileDoesNotWait) {
    TempTree t;
    t.fifo("swapped");
    EXPECT_EXIT(copy_in_child(t.path("swapped"), 10), testing::ExitedWithCode(0),
                "swapped: file changed size while it was read");
}

} // namespace
