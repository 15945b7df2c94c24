// Members written from real files, checked byte for byte: every kind of
// file, hard links, the directory walk, and files that change size.
#include "archive_reader.h"
#include "quarc_run.h"

#include <algorithm>
#include <cerrno>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;
using quarc_test::expected_fields;
using quarc_test::expected_header;
using quarc_test::kEndMarker;
using quarc_test::read_archive;
using quarc_test::run_quarc;
using suite_testing::TempTree;

constexpr long long kTime = 1700000000; // octal 14524770400
const std::string kTimeField = "14524770400 ";

expected_fields fields_of(const std::string &name, const std::string &mode, char type) {
    expected_fields s;
    s.name = name;
    s.mode = mode;
    s.mtime = kTimeField;
    s.type = type;
    return s;
}

// The archive of one run that must succeed.
std::string archive_of(const TempTree &t, const std::vector<std::string> &args) {
    auto r = run_quarc(t, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    return r.out;
}

TEST(Members, EmptyFileIsOneHeaderBlock) {
    TempTree t;
    t.file("empty", "", 0644);
    t.set_mtime("empty", kTime);
    std::string out = archive_of(t, {"empty"});
    EXPECT_EQ(out, expected_header(fields_of("empty", "100644 \0"s, '0')) + kEndMarker);
}

TEST(Members, DataIsPaddedToWholeBlocks) {
    TempTree t;
    std::string d512(512, 'x'), d513 = std::string(512, 'y') + "z";
    t.file("f512", d512, 0600);
    t.file("f513", d513, 0600);
    t.set_mtime("f512", kTime);
    t.set_mtime("f513", kTime);
    std::string out = archive_of(t, {"f512", "f513"});
    expected_fields s512 = fields_of("f512", "100600 \0"s, '0');
    s512.size = "       1000 ";
    expected_fields s513 = fields_of("f513", "100600 \0"s, '0');
    s513.size = "       1001 ";
    EXPECT_EQ(out, expected_header(s512) + d512 + expected_header(s513) + d513 +
                       std::string(511, '\0') + kEndMarker);
}

TEST(Members, DirectoryHeaderIsFollowedByItsEntries) {
    TempTree t;
    t.dir("d", 0755);
    t.file("d/f", "", 0644);
    t.set_mtime("d/f", kTime);
    t.set_mtime("d", kTime);
    std::string out = archive_of(t, {"./d/"});
    EXPECT_EQ(out, expected_header(fields_of("d/", " 40755 \0"s, '5')) +
                       expected_header(fields_of("d/f", "100644 \0"s, '0')) + kEndMarker);
}

TEST(Members, WalkKeepsEachSubtreeTogether) {
    TempTree t;
    t.file("a/b/c", "c");
    t.file("a/d", "d");
    t.dir("a/e");
    auto a = read_archive(archive_of(t, {"a"}));
    ASSERT_EQ(a.members.size(), 5u);
    EXPECT_EQ(a.members[0].name, "a/");
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < a.members.size(); ++i) {
        if (a.members[i].name == "a/b/") {
            ASSERT_LT(i + 1, a.members.size());
            EXPECT_EQ(a.members[i + 1].name, "a/b/c");
            rest.push_back("a/b/ a/b/c");
            ++i;
        } else {
            rest.push_back(a.members[i].name);
        }
    }
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"a/b/ a/b/c", "a/d", "a/e/"}));
}

TEST(Members, DotAndSlashGetNoHeaderOfTheirOwn) {
    TempTree t;
    t.file("x", "1");
    t.dir("y");
    auto a = read_archive(archive_of(t, {"."}));
    std::vector<std::string> got;
    for (const auto &m : a.members)
        got.push_back(m.name);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"x", "y/"}));
}

TEST(Members, SecondNameOfAFileIsAHardLink) {
    TempTree t;
    t.file("dir1/a", "shared data", 0644);
    t.hardlink("dir1/a", "dir2/b");
    t.set_mtime("dir1/a", kTime);
    std::string a_path = t.path("dir1/a");
    std::string out = archive_of(t, {a_path, "dir2/b"});
    std::string a_name = a_path.substr(1);
    expected_fields first = fields_of(a_name, "100644 \0"s, '0');
    first.size = "         13 ";
    expected_fields second = fields_of("dir2/b", "100644 \0"s, '1');
    second.linkname = a_name; // normalised: no leading "/"
    EXPECT_EQ(out, expected_header(first) + "shared data" + std::string(501, '\0') +
                       expected_header(second) + kEndMarker);
    // Only one of the two names archived: a plain file with its data.
    out = archive_of(t, {"dir2/b"});
    expected_fields alone = fields_of("dir2/b", "100644 \0"s, '0');
    alone.size = "         13 ";
    EXPECT_EQ(out, expected_header(alone) + "shared data" + std::string(501, '\0') + kEndMarker);
}

TEST(Members, SymbolicLinksAreStoredNotFollowed) {
    TempTree t;
    std::string target(99, 't');
    t.symlink(target, "long");
    t.dir("realdir");
    t.file("realdir/inside", "1");
    t.symlink("realdir", "dirlink");
    t.set_mtime("long", kTime);
    t.set_mtime("dirlink", kTime);
    std::string out = archive_of(t, {"long", "dirlink"});
    expected_fields l = fields_of("long", "120777 \0"s, '2');
    l.linkname = target;
    expected_fields d = fields_of("dirlink", "120777 \0"s, '2');
    d.linkname = "realdir";
    EXPECT_EQ(out, expected_header(l) + expected_header(d) + kEndMarker);
}

TEST(Members, FifoAndSocketAreFifosWithoutData) {
    TempTree t;
    t.fifo("pipe", 0640);
    t.set_mtime("pipe", kTime);
    std::string sock = t.path("sock");
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(fd);
    chmod(sock.c_str(), 0755);
    t.set_mtime("sock", kTime);
    std::string out = archive_of(t, {"pipe", "sock"});
    EXPECT_EQ(out, expected_header(fields_of("pipe", " 10640 \0"s, '6')) +
                       expected_header(fields_of("sock", "140755 \0"s, '6')) + kEndMarker);
}

mode_t lstat_mode(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(Members, CharacterDeviceNumbers) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mknod needs root";
    TempTree t;
    // A container may withhold the right to make device nodes even from root.
    if (mknod(t.path("tty").c_str(), S_IFCHR | 0620, makedev(4, 65)) != 0 && errno == EPERM)
        GTEST_SKIP() << "device nodes cannot be made here";
    ASSERT_TRUE(S_ISCHR(lstat_mode(t.path("tty"))));
    ASSERT_EQ(mknod(t.path("wide").c_str(), S_IFBLK | 0600, makedev(259, 300)), 0);
    chmod(t.path("tty").c_str(), 0620); // mknod is subject to the umask
    t.set_mtime("tty", kTime);
    t.set_mtime("wide", kTime);
    std::string out = archive_of(t, {"tty", "wide"});
    expected_fields tty = fields_of("tty", " 20620 \0"s, '3');
    tty.devmajor = "     4 \0"s;
    tty.devminor = "   101 \0"s;
    // Numbers past 8 bits are kept whole, not cut to the old 16-bit form.
    expected_fields wide = fields_of("wide", " 60600 \0"s, '4');
    wide.devmajor = "   403 \0"s;
    wide.devminor = "   454 \0"s;
    EXPECT_EQ(out, expected_header(tty) + expected_header(wide) + kEndMarker);
}

TEST(Members, UnknownOwnerHasNoNames) {
    if (geteuid() != 0)
        GTEST_SKIP() << "chown needs root";
    TempTree t;
    std::string p = t.file("f", "", 0644);
    ASSERT_EQ(lchown(p.c_str(), 54321, 54321), 0);
    t.set_mtime("f", kTime);
    std::string out = archive_of(t, {"f"});
    expected_fields s = fields_of("f", "100644 \0"s, '0');
    s.uid = s.gid = "152061 \0"s;
    s.uname = s.gname = "";
    EXPECT_EQ(out, expected_header(s) + kEndMarker);
}

TEST(Members, OwnerNamesStayRightPastTheCache) {
    if (geteuid() != 0)
        GTEST_SKIP() << "chown needs root";
    TempTree t;
    // More owners than the writer remembers, then the first ones again.
    std::vector<unsigned> owners;
    for (unsigned id = 0; id < 12; ++id)
        owners.push_back(id);
    owners.push_back(0);
    owners.push_back(1);
    std::vector<std::string> args;
    for (std::size_t i = 0; i < owners.size(); ++i) {
        std::string name = "f" + std::to_string(i);
        ASSERT_EQ(lchown(t.file(name, "").c_str(), owners[i], owners[i] + 1), 0);
        args.push_back(name);
    }
    auto a = read_archive(archive_of(t, args));
    ASSERT_EQ(a.members.size(), owners.size());
    for (std::size_t i = 0; i < owners.size(); ++i) {
        const passwd *pw = getpwuid(owners[i]);
        const group *gr = getgrgid(owners[i] + 1);
        std::string uname = a.members[i].header.substr(265, 32);
        std::string gname = a.members[i].header.substr(297, 32);
        EXPECT_EQ(uname.substr(0, uname.find('\0')), pw ? pw->pw_name : "") << owners[i];
        EXPECT_EQ(gname.substr(0, gname.find('\0')), gr ? gr->gr_name : "") << owners[i];
    }
}

// A file under /proc claims size 0 and yet yields data: the header's size
// wins, the run is named on standard error and ends with status 1.
TEST(ChangingFiles, FileThatGrewIsCutAtTheStatedSize) {
    struct stat st;
    if (lstat("/proc/version", &st) != 0 || st.st_size != 0)
        GTEST_SKIP() << "no /proc/version of size 0";
    TempTree t;
    t.file("after", "x");
    auto r = run_quarc(t, {"/proc/version", "after"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: /proc/version: file changed size while it was read\n");
    auto a = read_archive(r.out);
    EXPECT_EQ(a.error, "");
    EXPECT_TRUE(a.has_end_marker);
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_EQ(a.members[0].name, "proc/version");
    EXPECT_EQ(a.members[0].size, 0);
    EXPECT_EQ(a.members[1].name, "after");
}

// A sysfs file claims a whole page and yields a few bytes: the rest of the
// stated size is made up with zero bytes.
TEST(ChangingFiles, FileThatShrankIsPaddedWithZeros) {
    const char *path = "/sys/kernel/mm/transparent_hugepage/enabled";
    struct stat st;
    if (lstat(path, &st) != 0 || st.st_size != 4096)
        GTEST_SKIP() << "no sysfs file to read";
    TempTree t;
    std::string content = t.read(path);
    auto r = run_quarc(t, {path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quarc: "s + path + ": file changed size while it was read\n");
    auto a = read_archive(r.out);
    EXPECT_EQ(a.error, "");
    EXPECT_TRUE(a.has_end_marker);
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_EQ(a.members[0].size, 4096);
    EXPECT_EQ(a.members[0].data, content + std::string(4096 - content.size(), '\0'));
}

// Large files may go through the kernel (splice into a pipe, copy_file_range
// or sendfile into a file); the bytes must be the same as through the buffer.
TEST(Output, SameBytesThroughPipeFileAndAppendedFile) {
    TempTree t;
    std::string big;
    for (int i = 0; big.size() < 5 * 1024 * 1024 + 7; ++i)
        big += std::to_string(i) + "\n";
    t.file("tree/big", big);
    t.file("tree/small", "small");
    t.file("tree/medium", std::string(70000, 'm'));
    auto piped = run_quarc(t, {"tree"});
    ASSERT_EQ(piped.status, 0);
    std::string q = quarc_test::quoted(QUARC_PATH);
    ASSERT_EQ(quarc_test::shell(q + " tree > out.tar && : > app.tar && " + q +
                                    " tree >> app.tar && " + q + " tree | cat > cat.tar",
                                t.root())
                  .status,
              0);
    EXPECT_TRUE(piped.out == t.read("out.tar"));
    EXPECT_TRUE(piped.out == t.read("app.tar"));
    EXPECT_TRUE(piped.out == t.read("cat.tar"));
    auto a = read_archive(piped.out);
    EXPECT_EQ(a.error, "");
    int found = 0;
    for (const auto &m : a.members) {
        if (m.name == "tree/big") {
            ++found;
            EXPECT_EQ(m.size, static_cast<long long>(big.size()));
            EXPECT_TRUE(m.data.substr(0, big.size()) == big);
        }
    }
    EXPECT_EQ(found, 1);
}

} // namespace
