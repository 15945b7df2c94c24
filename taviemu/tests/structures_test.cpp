// The library's structures as the translator fills them: the host's values
// folded into their widths the same way in every call, and EOVERFLOW,
// with nothing written, for what does not fit.
#include "call_fixture.h"
#include "guest_memory.h"
#include "inode_numbers.h"
#include "process_numbers.h"
#include "temp_tree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/times.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace taviemu;
using namespace taviemu_testing;

namespace {

constexpr uint16_t kPath = 0x100, kStat = 0x300, kEntry = 0x400;

// The folding a device number gets: 8-bit pieces XOR-ed for each half.
uint8_t folded_byte(uint64_t value) {
    uint8_t folded = 0;
    for (; value != 0; value >>= 8)
        folded ^= static_cast<uint8_t>(value);
    return folded;
}

// Sets both times of `path` (seconds since the epoch).
void set_times(const std::string &path, int64_t atime, int64_t mtime) {
    timespec times[2] = {{static_cast<time_t>(atime), 0}, {static_cast<time_t>(mtime), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

} // namespace

TEST(Structures, StatFieldsAtTheirOffsets) {
    Program program;
    suite_testing::TempTree tree;
    std::string file = tree.file("f", std::string(1234, 'a'), 0640);
    set_times(file, 1000000000, 1100000000);
    struct stat host;
    ASSERT_EQ(stat(file.c_str(), &host), 0);
    program.put_string(kPath, file);
    ASSERT_EQ(call(18, kPath, kStat), 0);
    EXPECT_EQ(program.word(kStat + 0),
              folded_byte(major(host.st_dev)) << 8 | folded_byte(minor(host.st_dev)));
    // The number the run gives the file, whatever files it numbered before.
    EXPECT_EQ(program.word(kStat + 2), inode_number(host.st_dev, host.st_ino));
    EXPECT_EQ(program.word(kStat + 4), 0100640);
    EXPECT_EQ(program.word(kStat + 6), 1);
    EXPECT_EQ(program.dword(kStat + 14), 1234u);
    EXPECT_EQ(program.dword(kStat + 18), 1000000000u);
    EXPECT_EQ(program.dword(kStat + 22), 1100000000u);
    EXPECT_EQ(program.dword(kStat + 26), static_cast<uint32_t>(host.st_ctime));

    // fstat and lstat agree with it; lstat sees a link itself.
    int fd = open(file.c_str(), O_RDONLY);
    ASSERT_EQ(call(28, static_cast<uint16_t>(fd), 0x340), 0);
    close(fd);
    EXPECT_EQ(std::memcmp(program.at(kDs, kStat), program.at(kDs, 0x340), 30), 0);
    program.put_string(kPath, tree.symlink("f", "link"));
    ASSERT_EQ(call(57, kPath, kStat), 0);
    EXPECT_EQ(program.word(kStat + 4) & 0170000, 0120000);
    EXPECT_EQ(program.dword(kStat + 14), 1u);
    // A device number is major << 8 | minor.
    program.put_string(kPath, "/dev/null");
    ASSERT_EQ(call(18, kPath, kStat), 0);
    EXPECT_EQ(program.word(kStat + 12), 0x0103);
}

// What a 16-bit field or a 32-bit long cannot hold: EOVERFLOW, the
// program's memory as it was, and lseek's descriptor where it stood.
TEST(Structures, ValuesThatDoNotFitGiveEoverflow) {
    Program program;
    suite_testing::TempTree tree;
    std::string big = tree.file("big");
    ASSERT_EQ(truncate(big.c_str(), int64_t{3} << 30), 0);
    std::string late = tree.file("late");
    set_times(late, 1000000000, int64_t{1} << 33);
    program.fill(0xAA);
    for (const std::string &path : {big, late}) {
        program.put_string(kPath, path);
        std::vector<uint8_t> before = program.bytes();
        EXPECT_EQ(call(18, kPath, kStat), -EOVERFLOW) << path;
        EXPECT_EQ(program.bytes(), before) << path;
    }
    int fd = open(big.c_str(), O_RDONLY);
    ASSERT_EQ(lseek(fd, 100, SEEK_SET), 100);
    put32(program.at(kDs, 0x500), 0);
    EXPECT_EQ(call(19, static_cast<uint16_t>(fd), 0x500, SEEK_END), -EOVERFLOW);
    EXPECT_EQ(program.dword(0x500), 0u);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 100);
    put32(program.at(kDs, 0x500), 0x7FFFFFFF);
    EXPECT_EQ(call(19, static_cast<uint16_t>(fd), 0x500, SEEK_SET), 0);
    put32(program.at(kDs, 0x500), 1);
    EXPECT_EQ(call(19, static_cast<uint16_t>(fd), 0x500, SEEK_CUR), -EOVERFLOW);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0x7FFFFFFF);
    close(fd);
}

// IDs of 32768 and more would read as errors: the program sees 32766 in
// AX and in every field, and its 0xFFFF leaves an owner as it is.
TEST(Structures, LargeIdsReadAsTheOverflowId) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    Program program;
    suite_testing::TempTree tree;
    std::string file = tree.file("f");
    ASSERT_EQ(chown(file.c_str(), 40000, 65534), 0);
    program.put_string(kPath, file);
    ASSERT_EQ(call(18, kPath, kStat), 0);
    EXPECT_EQ(program.word(kStat + 8), 32766);
    EXPECT_EQ(program.word(kStat + 10), 32766);
    EXPECT_EQ(call(16, kPath, 0xFFFF, 1234), 0);
    struct stat host;
    ASSERT_EQ(stat(file.c_str(), &host), 0);
    EXPECT_EQ(host.st_uid, 40000u);
    EXPECT_EQ(host.st_gid, 1234u);

    pid_t child = fork();
    if (child == 0) {
        bool ok = setresgid(1000, 50000, 50000) == 0 && setresuid(40000, 1000, 1000) == 0 &&
                  call(24, 0x600) == 32766 && program.word(0x600) == 1000 &&
                  call(47, 0x600) == 1000 && program.word(0x600) == 32766;
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
}

// One entry a call, the result the name's length, 0 at the end and after
// it, also when entries are removed on the way; d_ino as lstat gives st_ino.
TEST(Structures, ReaddirGivesEachEntryOnce) {
    Program program;
    suite_testing::TempTree tree;
    std::map<std::string, int> seen;
    for (const std::string &name : {std::string("a"), std::string("bb"), std::string(255, 'n')})
        tree.file("d/" + name);
    int fd = open(tree.path("d").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    int length, rounds = 0;
    while ((length = call(64, static_cast<uint16_t>(fd), kEntry, 1)) > 0 && ++rounds < 100) {
        std::string name(reinterpret_cast<char *>(program.at(kDs, kEntry + 10)));
        EXPECT_EQ(static_cast<size_t>(length), name.size());
        EXPECT_EQ(program.word(kEntry + 8), length);
        program.put_string(kPath, tree.path("d") + "/" + name);
        ASSERT_EQ(call(57, kPath, kStat), 0);
        EXPECT_EQ(program.dword(kEntry), program.word(kStat + 2)) << name;
        if (name != "." && name != "..")
            unlink((tree.path("d") + "/" + name).c_str());
        ++seen[name];
    }
    EXPECT_EQ(length, 0);
    EXPECT_EQ(call(64, static_cast<uint16_t>(fd), kEntry, 1), 0);
    close(fd);
    std::map<std::string, int> want = {
        {".", 1}, {"..", 1}, {"a", 1}, {"bb", 1}, {std::string(255, 'n'), 1}};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(call(64, 0, kEntry, 1), -ENOTDIR);
}

// Files whose inode numbers fold alike still get numbers of their own, each
// kept for the run; the first keeps its fold, and none is 0.
TEST(Structures, InodeNumbersAreNeverShared) {
    struct Case {
        uint64_t dev, ino;
        uint16_t want;
    };
    const Case cases[] = {
        {1, 0x00010002, 3}, // folds to 3
        {1, 0x00000003, 4}, // folds to 3, taken
        {1, 0x00020001, 5}, // folds to 3, taken twice
        {1, 0x00010002, 3}, // seen before
        {2, 0x00000003, 6}, // the same inode number on another device
        {1, 0x00010001, 1}, // folds to 0
        {1, 0x00000001, 2}, // folds to 1, taken
    };
    InodeNumbers run;
    for (const Case &c : cases)
        EXPECT_EQ(run.number(c.dev, c.ino), c.want) << std::hex << c.dev << ":" << c.ino;
}

// times: the four CPU times and the tick count in 1/100 s; gettimeofday's
// two structures, each optional.
TEST(Structures, TimesAndTimeOfDay) {
    Program program;
    program.fill(0xAA);
    timeval before;
    gettimeofday(&before, nullptr);
    ASSERT_EQ(call(62, 0x600, 0x610), 0);
    EXPECT_GE(program.dword(0x600), static_cast<uint32_t>(before.tv_sec));
    EXPECT_LE(program.dword(0x600), static_cast<uint32_t>(before.tv_sec + 2));
    EXPECT_LT(program.dword(0x604), 1000000u);
    EXPECT_NE(program.word(0x610), 0xAAAA);
    EXPECT_EQ(call(62, 0, 0), 0);
    struct tms host;
    clock_t now = times(&host);
    ASSERT_EQ(call(43, 0x620, 0x630), 0);
    EXPECT_GE(program.dword(0x630), static_cast<uint32_t>(now));
    EXPECT_LE(program.dword(0x630), static_cast<uint32_t>(now + 100));
    EXPECT_GE(program.dword(0x620), static_cast<uint32_t>(host.tms_utime));
    EXPECT_NE(program.dword(0x62C), 0xAAAAAAAAu);
    EXPECT_EQ(call(43, 0, 0), 0);
}

// F_GETLK tells the lock in the way with the holder's process number;
// F_GETFL gives only the flags the library knows.
TEST(Structures, FcntlLockAndFlags) {
    Program program;
    suite_testing::TempTree tree;
    std::string file = tree.file("f", "0123456789");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open(file.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_start = 2;
        lock.l_len = 5;
        char c = fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
        (void)!write(fds[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    int fd = open(file.c_str(), O_RDWR | O_APPEND);
    const uint8_t ask[14] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // F_WRLCK, the whole file
    std::memcpy(program.at(kDs, 0x700), ask, sizeof ask);
    EXPECT_EQ(call(50, static_cast<uint16_t>(fd), 5, 0x700), 0);
    EXPECT_EQ(program.word(0x700), F_WRLCK);
    EXPECT_EQ(program.dword(0x704), 2u);
    EXPECT_EQ(program.dword(0x708), 5u);
    EXPECT_EQ(host_process(program.word(0x70C)), holder);
    EXPECT_EQ(call(50, static_cast<uint16_t>(fd), 6, 0x700), -EAGAIN);    // F_SETLK
    EXPECT_EQ(call(50, static_cast<uint16_t>(fd), 3), O_RDWR | O_APPEND); // no O_LARGEFILE
    EXPECT_EQ(call(50, static_cast<uint16_t>(fd), 99), -EINVAL);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(fd);
    close(fds[0]);
    close(fds[1]);
}
