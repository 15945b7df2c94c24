// Many hard-linked files in one run: every second name is stored as a link
// to the first, and GNU tar extracts the links intact.
#include "archive_reader.h"
#include "peer_program.h"
#include "quarc_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using quarc_test::quoted;
using quarc_test::shell;
using suite_testing::TempTree;

TEST(HardLinks, FortyThousandPairsExtractIntactWithGnuTar) {
    SUITE_REQUIRE_PROGRAMS("tar");
    constexpr int pairs = 40000;
    TempTree t(true);
    t.dir("src/a");
    t.dir("src/b");
    for (int i = 0; i < pairs; ++i) {
        std::string first = t.path("src/a/" + std::to_string(i));
        std::string second = t.path("src/b/" + std::to_string(i));
        int fd = open(first.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0) << first;
        close(fd);
        ASSERT_EQ(link(first.c_str(), second.c_str()), 0) << second;
    }
    auto r = shell(quoted(QUARC_PATH) + " src > archive.tar && mkdir out && cd out && tar -xf " +
                       "../archive.tar",
                   t.root());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    int broken = 0;
    for (int i = 0; i < pairs && broken < 5; ++i) {
        struct stat a, b;
        std::string n = std::to_string(i);
        bool linked = lstat(t.path("out/src/a/" + n).c_str(), &a) == 0 &&
                      lstat(t.path("out/src/b/" + n).c_str(), &b) == 0 && a.st_ino == b.st_ino &&
                      a.st_nlink == 2;
        if (!linked)
            ADD_FAILURE() << "pair " << n << " is not one file with two names", ++broken;
    }
}

} // namespace
