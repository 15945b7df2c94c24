// findMountPoint against mount tables written by the tests, naming real
// directories and device nodes made for the purpose.
#include "find_mount_point.h"

#include "temp_tree.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using suite_testing::TempTree;
using sysapplets::findMountPoint;

dev_t device_of(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_dev : dev_t(-1);
}

class FindMountPoint : public ::testing::Test {
  protected:
    // Writes the table and returns its path.
    std::string table(const std::string &lines) { return tree.file("mtab", lines); }

    // The directory of the entry found for name, or "(none)".
    std::string found(const std::string &name, const std::string &mount_table) {
        const struct mntent *entry = findMountPoint(name.c_str(), mount_table.c_str());
        return entry ? entry->mnt_dir : "(none)";
    }
    std::string fsname(const std::string &name, const std::string &mount_table) {
        const struct mntent *entry = findMountPoint(name.c_str(), mount_table.c_str());
        return entry ? entry->mnt_fsname : "(none)";
    }

    void need_root() {
        if (geteuid() != 0)
            GTEST_SKIP() << "making device nodes needs root";
    }
    std::string node(const std::string &rel, mode_t type, dev_t device) {
        const std::string path = tree.path(rel);
        if (mknod(path.c_str(), type | 0600, device) != 0)
            ADD_FAILURE() << "mknod " << path;
        return path;
    }

    TempTree tree;
};

TEST_F(FindMountPoint, MountDirectoryByNameAndSpelledDifferently) {
    const std::string mnt = tree.dir("mnt");
    const auto t = table("proc /proc proc rw 0 0\n"
                         "/dev/fake " +
                         mnt + " ext2 rw 0 0\n");
    EXPECT_EQ(found(mnt, t), mnt);
    EXPECT_EQ(fsname(mnt, t), "/dev/fake");
    EXPECT_EQ(found(mnt + "/", t), mnt); // found through its device
    EXPECT_EQ(found(mnt + "/./", t), mnt);
    EXPECT_EQ(found("/proc", t), "/proc");
    EXPECT_EQ(found("/proc/", t), "/proc");
}

TEST_F(FindMountPoint, DeviceNameMatchesAsText) {
    // A source that is a plain file (an image) matches by its name even
    // though the entry's directory lies elsewhere.
    const std::string image = tree.file("disk.img", "data");
    const auto t = table("proc /proc proc rw 0 0\n" + image + " /proc/sys iso9660 ro 0 0\n");
    EXPECT_EQ(found(image, t), "/proc/sys");
}

TEST_F(FindMountPoint, FileDeepInsideAMountGivesThatMountNotRoot) {
    const auto t = table("/dev/root-missing / ext4 rw 0 0\n"
                         "sysfs /sys sysfs rw 0 0\n"
                         "proc /proc proc rw 0 0\n");
    EXPECT_EQ(found("/proc/self/status", t), "/proc");
    EXPECT_EQ(found("/proc/sys/kernel/ostype", t), "/proc");
    if (device_of("/sys") != device_of("/")) {
        EXPECT_EQ(found("/sys/kernel", t), "/sys");
    }
    if (device_of(tree.root()) == device_of("/")) {
        EXPECT_EQ(found(tree.file("a/b/c/deep.txt", "x"), t), "/");
    }
}

TEST_F(FindMountPoint, PseudoFileSystemsWithoutNodesAreSkipped) {
    const std::string here = tree.dir("here");
    const auto t = table("none /no/such/dir tmpfs rw 0 0\n"
                         "proc /proc proc rw 0 0\n"
                         "devpts /no/dev/pts devpts rw 0 0\n"
                         "here-fs " +
                         here + " ext4 rw 0 0\n");
    EXPECT_EQ(found(tree.file("here/file", "x"), t), here);
    EXPECT_EQ(found("/proc/1", t), "/proc");
}

TEST_F(FindMountPoint, EarlierOfTwoMatchingEntriesWins) {
    const std::string dir = tree.dir("twice");
    const auto t = table("first " + dir +
                         " ext4 rw 0 0\n"
                         "second " +
                         dir + " ext4 rw 0 0\n");
    EXPECT_EQ(fsname(dir, t), "first");
    EXPECT_EQ(fsname(tree.file("twice/f", "x"), t), "first");
}

TEST_F(FindMountPoint, NothingFoundGivesNull) {
    const std::string file = tree.file("lonely", "x");
    const auto t = table("proc /proc proc rw 0 0\n");
    EXPECT_EQ(found(tree.path("does-not-exist"), t), "(none)");
    EXPECT_EQ(found(file, t), "(none)");
    EXPECT_EQ(found(file, tree.path("no-table")), "(none)");
    EXPECT_EQ(found(file, table("")), "(none)");
}

TEST_F(FindMountPoint, BlockDeviceUnderItsOwnAndAnotherName) {
    need_root();
    // Two nodes of one device, and a device number nothing else uses.
    const dev_t device = makedev(250, 77);
    const std::string node_a = node("node-a", S_IFBLK, device);
    const std::string node_b = node("node-b", S_IFBLK, device);
    const auto t = table("proc /proc proc rw 0 0\n" + node_a + " /no/such/mnt ext2 rw 0 0\n");
    EXPECT_EQ(found(node_a, t), "/no/such/mnt");
    EXPECT_EQ(found(node_b, t), "/no/such/mnt");
}

TEST_F(FindMountPoint, BlockDeviceFindsTheDirectoryMountedFromIt) {
    need_root();
    // A node standing for the device that holds /proc: the entry whose
    // mount directory lies on that device matches.
    const dev_t proc_device = device_of("/proc");
    const std::string disk = node("proc-disk", S_IFBLK, proc_device);
    const auto t = table("none " + tree.root() + " ext4 rw 0 0\nproc /proc proc rw 0 0\n");
    EXPECT_EQ(found(disk, t), "/proc");
}

TEST_F(FindMountPoint, CharacterDeviceLooksUpTheFileSystemHoldingIt) {
    need_root();
    // The node's own number is that of /proc's device; it must not matter.
    const std::string tty = node("tty-like", S_IFCHR, device_of("/proc"));
    const auto t = table("proc /proc proc rw 0 0\nthis-fs " + tree.root() + " ext4 rw 0 0\n");
    EXPECT_EQ(found(tty, t), tree.root());
}

TEST_F(FindMountPoint, ExistingCharacterDeviceGivesTheFileSystemOfItsDirectory) {
    if (device_of("/dev") == device_of("/proc"))
        GTEST_SKIP() << "/dev is not a file system of its own here";
    EXPECT_EQ(found("/dev/null", table("proc /proc proc rw 0 0\nudev /dev devtmpfs rw 0 0\n")),
              "/dev");
}

TEST_F(FindMountPoint, CharacterNodeAsSourceDoesNotStandForABlockDevice) {
    need_root();
    // A character node whose number equals the device holding the tree is
    // no block device: the file is found through the later entry.
    const std::string look_alike = node("look-alike", S_IFCHR, device_of(tree.root()));
    const std::string dir = tree.dir("real");
    const auto t = table(look_alike + " /no/such/dir ext4 rw 0 0\nreal " + dir + " ext4 rw 0 0\n");
    EXPECT_EQ(fsname(tree.file("real/f", "x"), t), "real");
}

} // namespace
