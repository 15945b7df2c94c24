// The multi-call program: choosing the applet, usage texts, exit statuses.
#include "child_process.h"
#include "sessdump.h"
#include "update.h"
#include "utmp_builder.h"

#include "run_program.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

namespace {

using namespace sysapplets_test;
using suite_testing::run;
using suite_testing::RunOptions;
using suite_testing::TempTree;

const std::string all_usage =
    std::string("Usage: sysapplets APPLET [ARGUMENT]...\n\nApplets:\n\n") +
    sysapplets::sessdump_usage + sysapplets::update_usage;

TEST(Dispatcher, UsageTextsAreExact) {
    EXPECT_STREQ(sysapplets::update_usage,
                 "update\n\n\tFlush buffered data to the disk devices every 30 seconds.\n");
    EXPECT_STREQ(sysapplets::sessdump_usage,
                 "sessdump\n\n\tDump file or stdin utmp file format to stdout, pipe delimited.\n"
                 "\tsessdump /var/run/utmp\n");
}

TEST(Dispatcher, NoAppletNamePrintsEveryUsage) {
    const auto r = run({SYSAPPLETS_PATH});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, all_usage);
}

TEST(Dispatcher, UnknownAppletIsNamed) {
    const auto r = run({SYSAPPLETS_PATH, "reboot"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sysapplets: reboot: applet not found\n" + all_usage);
}

TEST(Dispatcher, HelpAfterAnAppletPrintsItsUsage) {
    auto r = run({SYSAPPLETS_PATH, "sessdump", "--help"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, sysapplets::sessdump_usage);
    // Asking update for help must not start the daemon: run() would wait
    // for its open output pipes until the timeout, and the guard would end
    // the daemon.
    DaemonGuard guard;
    RunOptions quick;
    quick.timeout_seconds = 10;
    for (const char *argument : {"--help", "now"}) {
        guard.in_group([&] { r = run({SYSAPPLETS_PATH, "update", argument}, quick); });
        EXPECT_FALSE(r.timed_out) << argument;
        EXPECT_EQ(r.status, 1) << argument;
        EXPECT_EQ(r.err, sysapplets::update_usage) << argument;
    }
}

TEST(Dispatcher, RunsTheAppletNamedByItsOwnName) {
    RunOptions as_link;
    as_link.argv0 = "/sbin/sessdump";
    UtmpFields f;
    f.type = 1;
    f.pid = 2;
    const std::string input = utmp_record(f);
    as_link.input = input;
    auto r = run({SYSAPPLETS_PATH}, as_link);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1|2|||||0|0|0|0|0|0\n");

    as_link.argv0 = "update";
    as_link.input = {};
    as_link.timeout_seconds = 10;
    DaemonGuard guard;
    guard.in_group([&] { r = run({SYSAPPLETS_PATH, "--help"}, as_link); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, sysapplets::update_usage);
}

TEST(Dispatcher, EveryFileIsDumpedAndAnyFailureCounts) {
    TempTree tree;
    UtmpFields f;
    f.type = 5;
    const auto good = tree.file("good", utmp_record(f));
    const auto missing = tree.path("missing");
    const auto r = run({SYSAPPLETS_PATH, "sessdump", good, missing, good});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "5|0|||||0|0|0|0|0|0\n5|0|||||0|0|0|0|0|0\n");
    EXPECT_EQ(r.err, "sessdump: " + missing + ": No such file or directory\n");
}

TEST(Dispatcher, FailedWriteIsAFailure) {
    TempTree tree;
    const auto file = tree.file("utmp", utmp_record(UtmpFields{}));
    const auto r =
        run({"/bin/sh", "-c", "exec \"$0\" sessdump \"$1\" > /dev/full", SYSAPPLETS_PATH, file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sessdump: standard output: No space left on device\n");
}

} // namespace
