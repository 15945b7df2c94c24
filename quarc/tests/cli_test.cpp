// The command line from outside: switches, names from standard input, and
// the failures that end a run.
#include "archive_reader.h"
#include "peer_program.h"
#include "quarc_run.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using quarc_test::kEndMarker;
using quarc_test::read_archive;
using quarc_test::run_quarc;
using suite_testing::TempTree;

std::vector<std::string> names(const std::string &out) {
    quarc_test::archive a = read_archive(out);
    EXPECT_EQ(a.error, "");
    std::vector<std::string> v;
    for (const auto &m : a.members)
        v.push_back(m.name);
    return v;
}

using list = std::vector<std::string>;

TEST(CommandLine, NoArgumentsPrintsTheUsage) {
    TempTree t;
    auto r = run_quarc(t, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "\nquarc: (very) cut-down tar.  Basic usage: quarc filename(s)\n"
                     "Switches quarc knows about: [-x | --exclude | -] filename\n"
                     "\t\t-X filename(s)\n");
}

TEST(CommandLine, OnlySwitchesGiveAnEmptyArchive) {
    TempTree t;
    for (const list &args :
         {list{"-x", "a"}, list{"-X"}, list{"-X", "a", "b"}, list{"--exclude", "a", "-x", "b"}}) {
        auto r = run_quarc(t, args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.out, kEndMarker) << args[0];
        EXPECT_EQ(r.err, "");
    }
}

TEST(CommandLine, NameAfterDashXIsAlwaysAnExcludeName) {
    TempTree t;
    t.file("a", "1");
    t.file("b", "2");
    t.file("-X", "3");
    auto r = run_quarc(t, {"-x", "-X", "a", "b"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names(r.out), (list{"a", "b"}));
    EXPECT_EQ(r.out.substr(r.out.size() - 1024), kEndMarker);
}

TEST(CommandLine, CapitalXTurnsEveryLaterArgumentIntoAnExcludeName) {
    TempTree t;
    t.file("d/b", "1");
    t.file("d/c", "2");
    t.file("d/e", "3");
    auto r = run_quarc(t, {"d", "-X", "d/b", "d//c/"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names(r.out), (list{"d/", "d/e"}));
}

TEST(CommandLine, ExcludedDirectoryLeavesOutItsWholeSubtree) {
    TempTree t;
    t.file("d/a", "1");
    t.file("d/sub/x", "2");
    t.file("d/sub/y/z", "3");
    t.file("d/b", "4");
    auto r = run_quarc(t, {"d", "-x", "d/sub"});
    EXPECT_EQ(r.status, 0);
    list got = names(r.out);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (list{"d/", "d/a", "d/b"}));
}

TEST(CommandLine, ExcludeNamesApplyToMembersNamedBeforeThem) {
    TempTree t;
    t.file("a", "1");
    t.file("etc/passwd", "root");
    t.file("etc/group", "root");
    auto r = run_quarc(t, {"a", "etc", "-x", "a", "--exclude", "./etc//passwd/"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names(r.out), (list{"etc/", "etc/group"}));
    // An absolute exclude name matches the member stored without its "/".
    std::string passwd = t.path("etc/passwd");
    r = run_quarc(t, {passwd, "-x", passwd});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kEndMarker);
}

TEST(CommandLine, ExcludedNameNeedNotExist) {
    TempTree t;
    auto r = run_quarc(t, {"missing", "-x", "missing"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kEndMarker);
}

TEST(CommandLine, ExcludingDotLeavesOutTheCurrentDirectory) {
    TempTree t;
    t.file("a", "1");
    auto r = run_quarc(t, {".", "-x", "."});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kEndMarker);
}

TEST(CommandLine, EqualsSignJoinsNothing) {
    TempTree t;
    t.file("a", "1");
    auto r = run_quarc(t, {"--exclude=a", "a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't stat: No such file or directory\n");
    EXPECT_EQ(r.out, "");
}

TEST(CommandLine, FinalDashXWithoutANameIsRefused) {
    TempTree t;
    t.file("a", "1");
    auto r = run_quarc(t, {"a", "-x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: -x needs a name after it\n");
    EXPECT_EQ(r.out, "");
    r = run_quarc(t, {"a", "--exclude"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: --exclude needs a name after it\n");
    // After "-X" a final "-x" is just a name.
    r = run_quarc(t, {"a", "-X", "-x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names(r.out), list{"a"});
}

TEST(CommandLine, OverLongExcludeNameStillExcludesTheSameLongName) {
    TempTree t;
    std::string longname = "./" + std::string(120, 'x');
    auto r = run_quarc(t, {longname, "-x", longname.substr(2) + "/"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kEndMarker);
}

TEST(StandardInput, NamesOnePerLineInPlace) {
    TempTree t;
    t.file("a", "1");
    t.file("b", "2");
    t.file("c", "3");
    t.file("d", "4");
    // The last line has no newline; "-" stands in the middle of the list.
    auto r = run_quarc(t, {"a", "-", "d"}, "b\nc");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names(r.out), (list{"a", "b", "c", "d"}));
    // A second "-" finds the input at its end.
    r = run_quarc(t, {"-", "-"}, "a\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names(r.out), list{"a"});
}

// Feeds quarc's standard input from a terminal: the argument is a shell
// command, the input is typed as one piece (a Control-D at the start of a
// line is an end of input, and the terminal goes on after it). Exits 77
// when no terminal can be had.
const char *kOnATerminal = R"(
import os, pty, select, sys, time
try:
    pid, fd = pty.fork()
except OSError:
    sys.exit(77)
if pid == 0:
    os.execv("/bin/sh", ["sh", "-c", sys.argv[1]])
os.write(fd, sys.argv[2].encode())
deadline = time.time() + 60
while True:
    done, status = os.waitpid(pid, os.WNOHANG)
    if done:
        sys.exit(os.waitstatus_to_exitcode(status))
    if time.time() > deadline:
        os.kill(pid, 9)
        sys.exit(124)
    if select.select([fd], [], [], 0.1)[0]:
        try:
            os.read(fd, 4096)  # the echo
        except OSError:
            time.sleep(0.05)  # the terminal is closed: the child is ending
)";

TEST(StandardInput, EachDashReadsOnAfterAnEndOfInputFromATerminal) {
    TempTree t;
    t.file("a", "1");
    t.file("b", "2");
    auto r = quarc_test::shell(
        "python3 -c " + quarc_test::quoted(kOnATerminal) + " " +
            quarc_test::quoted(quarc_test::quoted(QUARC_PATH) + " - - > out.tar") +
            " 'a\n\004b\n\004'",
        t.root());
    if (r.status == 77)
        GTEST_SKIP() << "no terminal to be had";
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names(t.read("out.tar")), (list{"a", "b"}));
}

// Lists an archive with GNU tar as the reader; it must read it without a
// complaint.
std::string gnu_tar_listing(TempTree &t, const std::string &archive) {
    t.file("listed.tar", archive);
    auto r = quarc_test::shell("tar -tf listed.tar", t.root());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
}

// A line is one name, however long: alice's folder, named so that the 99th
// byte of her path falls just before text that names root's file, must not
// make root's file a member. Her path is too long for the archive: it is
// named and left out, and the run goes on. Nor is a line cut at a NUL byte.
TEST(StandardInput, LongLineIsOneNameNeverPiecesOfOthers) {
    SUITE_REQUIRE_PROGRAMS("tar");
    TempTree t;
    std::string root_file = "secret/" + std::string(44, 's');   // 51 characters
    std::string folder = "alice/" + std::string(92, 'a') + "/"; // 99 characters
    t.file(root_file, "root's");
    t.file(folder + root_file, "alice's");
    t.file("a", "1");
    t.file("after", "2");
    std::string line = folder + root_file;
    ASSERT_EQ(line.size(), 150u);
    auto r = run_quarc(t, {"-"}, line + "\na" + '\0' + "/x\nafter\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: " + line + ": name too long for the archive, left out\n" +
                         "quarc: a\\000/x: name holds a NUL byte, left out\n");
    EXPECT_EQ(names(r.out), list{"after"});
    EXPECT_TRUE(read_archive(r.out).has_end_marker);
    EXPECT_EQ(gnu_tar_listing(t, r.out), "after\n");
}

TEST(StandardInput, LineOfNinetyNineCharactersIsOneName) {
    TempTree t;
    std::string name(99, 'n');
    t.file(name, "1");
    t.file("after", "2");
    auto r = run_quarc(t, {"-"}, name + "\nafter\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(names(r.out), (list{name, "after"}));
}

TEST(StandardInput, EmptyLineFailsUnlessExcluded) {
    TempTree t;
    t.file("a", "1");
    auto r = run_quarc(t, {"-"}, "a\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't stat: No such file or directory\n");
    EXPECT_EQ(names(r.out), list{"a"});
    r = run_quarc(t, {"-", "-x", "/"}, "a\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names(r.out), list{"a"});
    // Carriage returns and blanks are part of the name.
    r = run_quarc(t, {"-"}, "a\r\n");
    EXPECT_EQ(r.status, 1);
}

// Names from standard input, ended by newlines or, after "--null", by NUL
// bytes (as find -print0 writes them): a name with a newline is read whole,
// so that its pieces cannot name another user's files; a name that is gone
// when it is examined is named and left out, and the archive is complete;
// a member named like the switch is "./--null".
TEST(StandardInput, NameGoneOrEndedByNul) {
    TempTree t;
    t.file("a", "1");
    t.file("b\nc", "2");
    t.file("--null", "3");
    auto left_out = [](const char *name) {
        return "quarc: " + std::string(name) + ": no longer there, left out\n";
    };
    const std::string gone = left_out("gone") + left_out("a/x");
    struct Case {
        list args;
        std::string input;
        list members;
        std::string err;
        int status;
    } cases[] = {
        {{"--null", "-"}, std::string("a\0b\nc", 5), {"a", "b\nc"}, "", 0},
        // A line is cut at the newline in a name: neither piece is there.
        {{"-"}, "a\ngone\na/x\nb\nc\n", {"a"}, gone + left_out("b") + left_out("c"), 1},
        {{"--null", "-"}, std::string("a\0gone\0a/x\0", 11), {"a"}, gone, 1},
        {{"./--null", "--null", "-"}, "a", {"--null", "a"}, "", 0},
    };
    for (const Case &c : cases) {
        auto r = run_quarc(t, c.args, c.input);
        EXPECT_EQ(names(r.out), c.members) << c.input;
        EXPECT_EQ(r.err, c.err) << c.input;
        EXPECT_EQ(r.status, c.status) << c.input;
        EXPECT_TRUE(read_archive(r.out).has_end_marker) << c.input;
    }
}

TEST(StandardInput, UnreadableInputFailsTheRun) {
    TempTree t;
    t.file("a", "1");
    t.file("b", "2");
    // A directory as standard input: every read fails. The names it should
    // have given are missing, so the archive must not look complete.
    auto r = quarc_test::shell(quarc_test::quoted(QUARC_PATH) + " a - b < .", t.root());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: standard input: Is a directory\n");
    EXPECT_EQ(r.out.size(), 1024u); // a's header and data block, no end marker
    EXPECT_EQ(names(r.out), list{"a"});
}

TEST(Failures, MissingFileStopsTheRunWithoutEndMarker) {
    TempTree t;
    t.file("a", "hello");
    t.file("b", "never");
    auto r = run_quarc(t, {"a", "missing", "b"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't stat: No such file or directory\n");
    ASSERT_EQ(r.out.size(), 1024u); // a's header and its one data block
    quarc_test::archive a = read_archive(r.out);
    EXPECT_FALSE(a.has_end_marker);
    EXPECT_EQ(names(r.out), list{"a"});
}

// Runs quarc in the tree as a user that permissions apply to: root reads
// every file, so it runs as nobody instead.
suite_testing::RunResult run_unprivileged(const TempTree &t, std::vector<std::string> args) {
    args.insert(args.begin(), QUARC_PATH);
    if (geteuid() == 0) {
        chmod(t.root().c_str(), 0755);
        args.insert(args.begin(),
                    {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    suite_testing::RunOptions options;
    options.cwd = t.root();
    options.no_stdin = true;
    return suite_testing::run(args, options);
}

TEST(Failures, UnreadableDirectoryKeepsItsHeaderAndStops) {
    TempTree t;
    t.file("d/a", "1");
    t.dir("d/locked", 0);
    t.file("d/locked/inner", "2");
    t.file("z", "3");
    auto r = run_unprivileged(t, {"d/locked", "z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.size(), 512u);
    EXPECT_EQ(r.out.substr(0, 9), std::string("d/locked/", 9));
    EXPECT_EQ(r.out[156], '5');
    // Reached through the walk: the members before it stay, it is the last.
    r = run_unprivileged(t, {"d", "z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    quarc_test::archive a = read_archive(r.out);
    EXPECT_EQ(a.error, "");
    EXPECT_FALSE(a.has_end_marker);
    ASSERT_FALSE(a.members.empty());
    EXPECT_EQ(a.members.front().name, "d/");
    EXPECT_EQ(a.members.back().name, "d/locked/");
}

TEST(Failures, UnreadableFileKeepsItsHeaderAndStops) {
    TempTree t;
    t.file("secret", "hidden", 0);
    t.file("z", "3");
    auto r = run_unprivileged(t, {"secret", "z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.size(), 512u);
    EXPECT_EQ(r.out.substr(0, 7), std::string("secret\0", 7));
    EXPECT_EQ(r.out[156], '0');
}

// The lines of a text, sorted: the walk yields entries in no fixed order.
list sorted_lines(const std::string &text) {
    list v;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        v.push_back(text.substr(at, end - at));
    }
    std::sort(v.begin(), v.end());
    return v;
}

// A stored name has at most 99 characters (a directory's 100 with its "/"),
// measured on the normalised name, so the archive is the same however the
// path is spelled. Every name left out is named, the archive is finished,
// and the run ends with status 1.
TEST(Failures, TooLongNamesAreNamedAndLeftOut) {
    TempTree t;
    std::string dir(10, 'd');
    std::string kept = dir + "/" + std::string(88, 'k');    // 99 characters
    std::string sub = dir + "/" + std::string(88, 's');     // 99 and "/"
    std::string dropped = dir + "/" + std::string(89, 'x'); // 100
    t.file(kept, "kept");
    t.file(dropped, "dropped");
    t.file(sub + "/y", "dropped with its long name");
    t.file("z", "after");
    auto message = [](const std::string &name) {
        return "quarc: " + name + ": name too long for the archive, left out";
    };
    list expected_err = {message(dropped), message(sub + "/y")};
    std::sort(expected_err.begin(), expected_err.end());
    std::string first;
    for (std::string spelling : {dir, dir + "/", ".//" + dir + "//", "./" + dir + "/."}) {
        auto r = run_quarc(t, {spelling, "z"});
        EXPECT_EQ(r.status, 1) << spelling;
        EXPECT_EQ(sorted_lines(r.err), expected_err) << spelling;
        quarc_test::archive a = read_archive(r.out);
        EXPECT_TRUE(a.has_end_marker) << spelling;
        list stored = names(r.out);
        std::sort(stored.begin(), stored.end());
        EXPECT_EQ(stored, (list{dir + "/", kept, sub + "/", "z"})) << spelling;
        if (first.empty())
            first = r.out;
        EXPECT_TRUE(r.out == first) << spelling << ": another archive";
    }
    // The same for a name given on the command line.
    std::string n100(100, 'b');
    t.file(n100, "2");
    auto r = run_quarc(t, {n100, "z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, message(n100) + "\n");
    EXPECT_EQ(names(r.out), list{"z"});
    EXPECT_TRUE(read_archive(r.out).has_end_marker);
}

// A link target of 100 bytes or more does not fit the header: one user's
// link must not stop the archive of everything else. The link is named and
// left out, the walk and the run go on, and the archive is finished.
TEST(Failures, TooLongLinkTargetIsNamedAndLeftOut) {
    SUITE_REQUIRE_PROGRAMS("tar");
    TempTree t;
    t.symlink(std::string(99, 't'), "d/ok");
    t.symlink(std::string(100, 't'), "d/long");
    t.file("d/file", "data");
    t.file("z", "after");
    auto r = run_quarc(t, {"d", "z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: d/long: symbolic link target too long for the archive, left out\n");
    quarc_test::archive a = read_archive(r.out);
    EXPECT_TRUE(a.has_end_marker);
    list stored = names(r.out);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (list{"d/", "d/file", "d/ok", "z"}));
    list listed = sorted_lines(gnu_tar_listing(t, r.out));
    EXPECT_EQ(listed, (list{"d/", "d/file", "d/ok", "z"}));
}

// Names in messages cannot drive the terminal: the bytes of control
// characters (C0, DEL, and C1 both raw and in UTF-8) show as octal escapes
// and a backslash is doubled, so that the name reads back unambiguously;
// other UTF-8 text stays as it is.
TEST(Failures, ControlCharactersInNamesAreQuotedInMessages) {
    TempTree t;
    std::string odd = "e\033[2J\n\x7f\x9b\xc2\x9b\xc3\xa9\\";
    std::string shown = "e\\033[2J\\012\\177\\233\\302\\233\xc3\xa9\\\\";
    std::string long_name = std::string(100, 'n') + odd;
    t.file("d/" + long_name, "left out");
    auto message = [](const std::string &name) {
        return "quarc: " + name + ": name too long for the archive, left out\n";
    };
    auto r = run_quarc(t, {"d", long_name});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, message("d/" + std::string(100, 'n') + shown) +
                         message(std::string(100, 'n') + shown));
    EXPECT_EQ(names(r.out), list{"d/"});
}

TEST(CommandLine, ArchiveWrittenIntoTheTreeLeavesItselfOut) {
    TempTree t;
    t.file("d/a", "1");
    auto r = quarc_test::shell(std::string(QUARC_PATH) + " d > d/out.tar", t.root());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quarc: d/out.tar: the archive itself is left out\n");
    EXPECT_EQ(names(t.read("d/out.tar")), (list{"d/", "d/a"}));
}

TEST(Failures, WriteErrorIsReported) {
    TempTree t;
    t.file("a", std::string(1000, 'a'));
    auto r = quarc_test::shell(std::string(QUARC_PATH) + " a > /dev/full", t.root());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: write error: No space left on device\n");
    // More than the output buffer holds: the write fails in the middle.
    t.file("b", std::string(1 << 20, 'b'));
    t.file("c", std::string(1 << 20, 'c'));
    r = quarc_test::shell(std::string(QUARC_PATH) + " a b c > /dev/full", t.root());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: write error: No space left on device\n");
}

} // namespace
