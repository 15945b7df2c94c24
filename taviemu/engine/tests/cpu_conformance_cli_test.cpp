// cpu-conformance as a user runs it: its report lines and exit statuses.
#include "run_program.h"
#include "temp_tree.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

using suite_testing::run;

// Two recorded "add [bx+0Eh],bl" and "add [bx+si-1AAFh],dl" tests.
const std::string header = "# 00  status=normal arch=86\n";
const std::string first =
    "0 | add [bx+0Eh],bl | 005f0ef4 | 02cb 6823 c18c fab5 ffff a0d7 ffff abdc 9b59 ffff 89be "
    "8749 94b8 1893 | 1094a8:00 1094a9:5f 1094aa:0e 1094ab:f4 106821:de | 02cb 6823 c18c fab5 "
    "ffff a0d7 ffff abdc 9b59 ffff 89be 8749 94bc 0013 | 106821:01 | ffff | - | 626be5084b331080\n";
const std::string second =
    "2 | add [bx+si-1AAFh],dl | 3e009051e5f4 | 247d 5d43 885b b46c dbb3 8b0e 65af 2d43 6388 df39 "
    "0ee4 ffff 38c8 a056 | df3f8:3e df3f9:00 df3fa:90 df3fb:51 df3fc:e5 df3fd:f4 6ac68:36 | 247d "
    "5d43 885b b46c dbb3 8b0e 65af 2d43 6388 df39 0ee4 ffff 38ce 0892 | 6ac68:a2 | ffff | - | "
    "d388e02418f92255\n";

// Writes `text` gzip-compressed to `dir`/`key`.txt.gz.
void write_gz(suite_testing::TempTree &tree, const std::string &key, const std::string &text) {
    auto r = run({"/bin/sh", "-c", "gzip -c > '" + tree.path(key + ".txt.gz") + "'"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
}

TEST(CpuConformanceProgram, ReportsEachFileAndTheTotal) {
    suite_testing::TempTree tree;
    write_gz(tree, "00", header + first + second);
    write_gz(tree, "E4", "# E4  status=normal arch=86\n" + first); // I/O: skipped whatever it holds
    auto r = run({CPU_CONFORMANCE_PATH, tree.root()});
    EXPECT_EQ(r.out, "00: 2 passed, 0 failed, 0 skipped\n"
                     "E4: 0 passed, 0 failed, 1 skipped\n"
                     "2 passed, 0 failed, 1 skipped\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(CpuConformanceProgram, NamesAFailingTestAndItsFirstDifference) {
    suite_testing::TempTree tree;
    std::string wrong = second;
    wrong.replace(wrong.find("6ac68:a2"), 8, "6ac68:a3");
    write_gz(tree, "00", header + first + wrong);
    write_gz(tree, "01", header + first);
    auto r = run({CPU_CONFORMANCE_PATH, tree.root(), "00"}); // only the file named
    EXPECT_EQ(r.out, "00: 1 passed, 1 failed, 0 skipped\n"
                     "  d388e02418f92255 (add [bx+si-1AAFh],dl): byte 6ac68 is a2, expected a3\n"
                     "1 passed, 1 failed, 0 skipped\n");
    EXPECT_EQ(r.status, 1);
}

TEST(CpuConformanceProgram, UsageAndUnreadableFiles) {
    auto usage = run({CPU_CONFORMANCE_PATH});
    EXPECT_EQ(usage.err, "usage: cpu-conformance DIR [KEY...]\n");
    EXPECT_EQ(usage.status, 2);

    suite_testing::TempTree tree;
    auto empty = run({CPU_CONFORMANCE_PATH, tree.root()});
    EXPECT_NE(empty.err.find("no test files"), std::string::npos);
    EXPECT_EQ(empty.status, 2);

    write_gz(tree, "00", header + first);
    auto missing = run({CPU_CONFORMANCE_PATH, tree.root(), "00", "99"});
    EXPECT_EQ(missing.out, "00: 1 passed, 0 failed, 0 skipped\n1 passed, 0 failed, 0 skipped\n");
    EXPECT_NE(missing.err.find("cannot read " + tree.path("99.txt.gz")), std::string::npos);
    EXPECT_EQ(missing.status, 2);

    // Plain bytes and a compressed file cut short are both unreadable.
    tree.file("bad.txt.gz", "not compressed");
    auto bad = run({CPU_CONFORMANCE_PATH, tree.root(), "bad"});
    EXPECT_EQ(bad.status, 2);
    write_gz(tree, "cut", header + first + second);
    ASSERT_EQ(truncate(tree.path("cut.txt.gz").c_str(), 40), 0);
    auto cut = run({CPU_CONFORMANCE_PATH, tree.root(), "cut"});
    EXPECT_NE(cut.err.find("cannot read"), std::string::npos);
    EXPECT_EQ(cut.status, 2);
}

} // namespace
