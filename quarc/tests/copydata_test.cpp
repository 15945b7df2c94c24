// copydata reaches the file again by name after lstat has seen it; what it
// finds there by then need not be the regular file the header describes.
#include "member_writer.h"
#include "temp_tree.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using suite_testing::TempTree;

// Runs copydata in a child with its archive output going to `out`, and ends
// the child with copydata's code; a child that hangs is ended by the alarm.
[[noreturn]] void copy_in_child(const TempTree &t, const char *name, const struct stat &st,
                                const std::string &out) {
    alarm(30);
    if (std::freopen(out.c_str(), "w", stdout) == nullptr)
        _exit(99);
    int code = quarc::copydata(AT_FDCWD, t.path(name).c_str(), name, st);
    std::fflush(stdout);
    _exit(code);
}

// Whatever is put in the place of the file that lstat saw (a symbolic link,
// which is not followed; a FIFO, which must not hold the run up waiting for a
// writer; another regular file renamed over it), none of its data goes under
// this member's header: the stated size is made up with zeros.
TEST(CopyData, AnotherFileInThePlaceOfTheFileGivesZeros) {
    const std::string secret = "not for this member";
    const char *kinds[] = {"symlink", "fifo", "file"};
    for (const char *kind : kinds) {
        TempTree t;
        t.file("f", "1234567890");
        t.file("secret", secret);
        struct stat st;
        ASSERT_EQ(lstat(t.path("f").c_str(), &st), 0);
        // Made beside it and renamed over it, as a swap would be done.
        if (std::string(kind) == "symlink")
            t.symlink("secret", "new");
        else if (std::string(kind) == "fifo")
            t.fifo("new");
        else
            t.file("new", secret);
        ASSERT_EQ(rename(t.path("new").c_str(), t.path("f").c_str()), 0);
        std::string out = t.path("out");
        EXPECT_EXIT(copy_in_child(t, "f", st, out), testing::ExitedWithCode(0),
                    "^quarc: f: file was replaced while it was read\n$")
            << kind;
        EXPECT_EQ(t.read("out"), std::string(512, '\0')) << kind;
    }
}

} // namespace
