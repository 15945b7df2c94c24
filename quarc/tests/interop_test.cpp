// The archives are real tar archives: GNU tar, bsdtar and Python's tarfile
// list them, extract them, and the extracted trees equal the source.
#include "archive_reader.h"
#include "peer_program.h"
#include "quarc_run.h"
#include "tree_snapshot.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

using quarc_test::quoted;
using quarc_test::shell;
using quarc_test::snapshot;
using suite_testing::TempTree;

const std::string kQuarc = quoted(QUARC_PATH);
const std::string kUtf8 = "LC_ALL=C.UTF-8 ";

// The varied tree under "src": every kind of member the writer knows.
void build_varied_tree(TempTree &t, bool &has_device) {
    t.file("src/empty", "");
    t.file("src/f511", std::string(511, 'a'));
    t.file("src/f512", std::string(512, 'b'), 0600);
    t.file("src/f513", std::string(513, 'c'), 0755);
    std::string big;
    for (unsigned i = 0; big.size() < 5 * 1024 * 1024; ++i)
        big += char('A' + (i * 7919u) % 53u);
    t.file("src/big5m", big);
    t.dir("src/emptydir", 0700);
    t.file("src/nested/a/b/c/deep.txt", "deep\n");
    t.symlink("f511", "src/link_to_file");
    t.symlink("nested/a", "src/link_to_dir");
    t.symlink("does/not/exist", "src/dangling");
    t.hardlink("src/f512", "src/f512_again");          // within one directory
    t.hardlink("src/f513", "src/nested/a/f513_there"); // across directories
    t.hardlink("src/empty", "src/nested/empty_too");
    t.fifo("src/fifo", 0640);
    t.file("src/" + std::string(95, 'n'), "ninety-nine"); // "src/" + 95 = 99
    t.dir("src/" + std::string(95, 'd'));                 // 99 and "/": a name field with no NUL
    t.file("src/grüße.txt", "utf-8\n");
    t.file("src/日本語/ファイル", "nihongo\n");
    has_device =
        geteuid() == 0 && mknod(t.path("src/tty").c_str(), S_IFCHR | 0620, makedev(4, 65)) == 0;
    if (has_device) {
        chmod(t.path("src/tty").c_str(), 0620);
        lchown(t.path("src/f511").c_str(), 1234, 5678);
    }
    // Distinct times everywhere, directories last so that nothing moves them.
    std::istringstream lines(shell("cd src && find . -depth", t.root()).out);
    long long when = 1600000000;
    for (std::string line; std::getline(lines, line);)
        t.set_mtime("src/" + line, when += 3607);
    t.set_mtime("src", when + 1);
}

void expect_same_tree(const TempTree &t, const std::string &extracted,
                      quarc_test::snapshot_options options = {}) {
    std::string want = snapshot(t.path("src"), options);
    std::string got = snapshot(t.path(extracted + "/src"), options);
    EXPECT_EQ(got, want) << "extracted into " << extracted;
}

std::vector<std::string> sorted_lines(const std::string &text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        v.push_back(line);
    std::sort(v.begin(), v.end());
    return v;
}

const char *kPythonExtract = R"(
import sys, tarfile
with tarfile.open(sys.argv[1]) as archive:
    archive.extractall(sys.argv[2])
)";

// Extracts archive.tar with all three readers and compares each result.
void extract_with_every_reader(const TempTree &t, const std::string &gnu_options = "") {
    auto gnu = shell("mkdir gnu && cd gnu && tar " + gnu_options + " -xf ../archive.tar", t.root());
    EXPECT_EQ(gnu.status, 0) << gnu.err;
    EXPECT_EQ(gnu.err, "");
    expect_same_tree(t, "gnu");

    auto bsd = shell("mkdir bsd && cd bsd && bsdtar -xpf ../archive.tar", t.root());
    EXPECT_EQ(bsd.status, 0) << bsd.err;
    EXPECT_EQ(bsd.err, "");
    expect_same_tree(t, "bsd");

    auto py = shell("python3 -c " + quoted(kPythonExtract) + " archive.tar py", t.root());
    EXPECT_EQ(py.status, 0) << py.err;
    EXPECT_EQ(py.err, "");
    // tarfile leaves the times of symbolic links as extraction made them.
    expect_same_tree(t, "py", {.symlink_times = false});
}

TEST(Interop, VariedTreeListsAndExtractsEqualToTheSource) {
    SUITE_REQUIRE_PROGRAMS("tar", "bsdtar", "python3");
    TempTree t;
    bool has_device = false;
    build_varied_tree(t, has_device);
    ASSERT_EQ(shell(kQuarc + " src > archive.tar", t.root()).status, 0);
    quarc_test::archive a = quarc_test::read_archive(t.read("archive.tar"));
    EXPECT_EQ(a.error, "");
    std::string names;
    for (const auto &m : a.members)
        names += m.name + "\n";

    auto gnu = shell(kUtf8 + "tar -tvf archive.tar && " + kUtf8 + "tar -tf archive.tar", t.root());
    EXPECT_EQ(gnu.status, 0);
    EXPECT_EQ(gnu.err, "");
    auto gnu_names = shell(kUtf8 + "tar -tf archive.tar", t.root());
    EXPECT_EQ(sorted_lines(gnu_names.out), sorted_lines(names));
    auto bsd = shell(kUtf8 + "bsdtar -tvf archive.tar", t.root());
    EXPECT_EQ(bsd.status, 0);
    EXPECT_EQ(bsd.err, "");
    auto bsd_names = shell(kUtf8 + "bsdtar -tf archive.tar", t.root());
    EXPECT_EQ(sorted_lines(bsd_names.out), sorted_lines(names));
    if (has_device) {
        EXPECT_NE(gnu.out.find("crw--w---- root/root      4,65 "), std::string::npos) << gnu.out;
    }
    auto py = shell("python3 -c 'import sys, tarfile\n"
                    "for m in tarfile.open(sys.argv[1]): print(m.name + (\"/\" if m.isdir() "
                    "else \"\"))' archive.tar",
                    t.root());
    EXPECT_EQ(py.status, 0) << py.err;
    EXPECT_EQ(sorted_lines(py.out), sorted_lines(names));

    extract_with_every_reader(t);
}

// Numbers past the octal fields: an owner above 0777777, times before 1970
// and past eleven octal digits of seconds.
TEST(Interop, OverWideNumbersInBaseTwoFiftySix) {
    SUITE_REQUIRE_PROGRAMS("tar", "bsdtar", "python3");
    if (geteuid() != 0)
        GTEST_SKIP() << "chown to a large uid needs root";
    TempTree t;
    t.file("src/owner", "wide owner\n");
    ASSERT_EQ(lchown(t.path("src/owner").c_str(), 300000, 400000), 0);
    t.file("src/old", "before 1970\n");
    t.set_mtime("src/old", -315619200); // 1960-01-01
    t.file("src/future", "after 2242\n");
    t.set_mtime("src/future", 10413792000LL); // 2300-01-01
    t.set_mtime("src", 1700000000);
    ASSERT_EQ(shell(kQuarc + " src > archive.tar", t.root()).status, 0);
    quarc_test::archive a = quarc_test::read_archive(t.read("archive.tar"));
    EXPECT_EQ(a.error, "");
    // The first byte of each wide field marks the base-256 form.
    std::map<std::string, std::pair<int, int>> marks;
    for (const auto &m : a.members)
        marks[m.name] = {static_cast<unsigned char>(m.header[108]),
                         static_cast<unsigned char>(m.header[136])};
    EXPECT_EQ(marks["src/owner"].first, 0x80);
    EXPECT_EQ(marks["src/old"].second, 0xff);
    EXPECT_EQ(marks["src/future"].second, 0x80);
    auto gnu = shell("TZ=UTC tar -tvf archive.tar", t.root());
    EXPECT_EQ(gnu.status, 0);
    EXPECT_NE(gnu.out.find("300000/400000"), std::string::npos) << gnu.out;
    EXPECT_NE(gnu.out.find("1960-01-01 00:00 src/old"), std::string::npos) << gnu.out;
    EXPECT_NE(gnu.out.find("2300-01-01 00:00 src/future"), std::string::npos) << gnu.out;
    // GNU tar warns about such times, and still sets them.
    extract_with_every_reader(t, "--warning=no-timestamp");
}

// Copies standard input to a file, leaving holes where whole chunks are zero,
// so that an archive of a sparse file stays sparse on disk and the readers
// can seek over its data instead of reading gibibytes of zeros.
const char *kSparseCopy = R"(
import os, sys
out = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
zero = bytes(1 << 20)
size = 0
while True:
    chunk = sys.stdin.buffer.raw.read(1 << 20)
    if not chunk:
        break
    if chunk != zero[:len(chunk)]:
        os.pwrite(out, chunk, size)
    size += len(chunk)
os.ftruncate(out, size)
)";

// A tree for a file that is one big hole. On tmpfs a hole reads as the
// shared zero page; on a disk file system every page of it is first made in
// the page cache, which for gibibytes on a loaded machine takes many times
// longer. So the tree goes to /dev/shm when that is a writable tmpfs.
std::unique_ptr<TempTree> tree_for_holes() {
    struct statfs fs;
    bool shm =
        statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC && access("/dev/shm", W_OK) == 0;
    if (!shm)
        return std::make_unique<TempTree>();
    const char *tmpdir = std::getenv("TMPDIR");
    std::string saved = tmpdir ? tmpdir : "";
    setenv("TMPDIR", "/dev/shm", 1);
    auto t = std::make_unique<TempTree>();
    if (tmpdir)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    return t;
}

// A sparse file of 8 GiB: its size needs twelve octal digits.
TEST(Interop, EightGibibyteFileSize) {
    SUITE_REQUIRE_PROGRAMS("tar", "bsdtar", "python3");
    std::unique_ptr<TempTree> tree = tree_for_holes();
    TempTree &t = *tree;
    t.dir("src");
    ASSERT_EQ(truncate(t.file("src/huge").c_str(), 8LL << 30), 0);
    t.set_mtime("src", 1700000000);
    auto copy =
        shell(kQuarc + " src | python3 -c " + quoted(kSparseCopy) + " archive.tar", t.root());
    ASSERT_EQ(copy.status, 0) << copy.err;
    struct stat st;
    ASSERT_EQ(stat(t.path("archive.tar").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, (8LL << 30) + 2 * 512 + 1024);
    // The copy left holes only where the data was zero: all of the file's.
    EXPECT_LT(st.st_blocks, 16 * 1024 * 2) << "data of the hole came out as something else";
    const std::string size = "8589934592";
    auto gnu = shell("tar -tvf archive.tar", t.root());
    EXPECT_EQ(gnu.status, 0) << gnu.err;
    EXPECT_NE(gnu.out.find("root/root " + size + " "), std::string::npos) << gnu.out;
    auto bsd = shell("bsdtar -tvf archive.tar", t.root());
    EXPECT_EQ(bsd.status, 0) << bsd.err;
    EXPECT_NE(bsd.out.find(" " + size + " "), std::string::npos) << bsd.out;
    auto py = shell("python3 -c 'import sys, tarfile\n"
                    "for m in tarfile.open(sys.argv[1]): print(m.name, m.size)' archive.tar",
                    t.root());
    EXPECT_EQ(py.status, 0) << py.err;
    EXPECT_EQ(py.out, "src 0\nsrc/huge " + size + "\n");
}

} // namespace
