// The helpers every tool's tests stand on: a fault here would hide faults there.
#include "run_program.h"
#include "temp_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using suite_testing::run;
using suite_testing::RunOptions;
using suite_testing::TempTree;

TEST(RunProgram, CollectsBothStreamsAndStatus) {
    auto r = run({"/bin/sh", "-c", "printf 'a\\0b'; printf err >&2; exit 3"});
    EXPECT_EQ(r.out, std::string("a\0b", 3));
    EXPECT_EQ(r.err, "err");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.signal, 0);
}

TEST(RunProgram, FeedsLargeInputWhileReadingOutput) {
    std::string input(1 << 20, 'x');
    auto r = run({"/bin/cat"}, input);
    EXPECT_EQ(r.out.size(), input.size());
    EXPECT_EQ(r.status, 0);
}

TEST(RunProgram, ReportsSignalsEnvironmentAndTimeout) {
    RunOptions opts;
    opts.env = {{"SUITE_X", "42"}};
    opts.unset_env = {"HOME"};
    auto r = run({"/bin/sh", "-c", "echo \"$SUITE_X${HOME-unset}\"; kill -TERM $$"}, opts);
    EXPECT_EQ(r.out, "42unset\n");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.signal, SIGTERM);

    RunOptions slow;
    slow.timeout_seconds = 0.3;
    auto t = run({"/bin/sleep", "10"}, slow);
    EXPECT_TRUE(t.timed_out);
    EXPECT_EQ(t.signal, SIGKILL);
}

TEST(TempTree, BuildsAndRemovesATree) {
    std::string root;
    {
        TempTree tree;
        root = tree.root();
        tree.file("a/b/c.txt", "hello", 0600);
        tree.symlink("b/c.txt", "a/link");
        tree.hardlink("a/b/c.txt", "a/hard");
        tree.dir("empty", 0);
        tree.set_mtime("a/b/c.txt", 1000000000);
        EXPECT_EQ(tree.read("a/link"), "hello");
        struct stat st {};
        ASSERT_EQ(stat(tree.path("a/hard").c_str(), &st), 0);
        EXPECT_EQ(st.st_nlink, 2u);
        EXPECT_EQ(st.st_mtime, 1000000000);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    struct stat st {};
    EXPECT_NE(lstat(root.c_str(), &st), 0);
}
