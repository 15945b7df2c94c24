// Where another user's files meet an editor run by root: links and folders
// swapped under a save, a file's extended attributes, a full disk under a
// file with two names, and run-control files planted in a shared folder.
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

using kwed_testing::Editor;
using kwed_testing::quote;

// The user who plants links and files.
constexpr uid_t alice = 2001;

std::string xattr(const std::string &path, const char *name) {
    char value[512];
    ssize_t n = lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "(none)" : std::string(value, static_cast<std::size_t>(n));
}

// Root edits a file in a folder that another user controls, who puts a link
// there into a chain of folder links ending in a folder of root's: one link
// fewer than the kernel follows in one path (so that only a walk of its own
// reaches root's file), and one more. Saving asks, and root's file stays.
TEST_F(Editor, SavingAsksWhenTheFileBecameALinkIntoALongChain) {
    tree.file("rootdir/secret.txt", "root's own\n", 0600);
    for (int links : {40, 41}) {
        std::string chain = "chain" + std::to_string(links);
        tree.dir(chain);
        for (int i = 1; i < links; ++i)
            tree.symlink("l" + std::to_string(i + 1), chain + "/l" + std::to_string(i));
        tree.symlink("../rootdir", chain + "/l" + std::to_string(links));
        std::remove(tree.path("notes.txt").c_str());
        tree.file("notes.txt", "mine\n");
        auto s = start("notes.txt");
        s->type("new ");
        EXPECT_TRUE(s->wait_text("new mine")) << s->screen();
        std::remove(tree.path("notes.txt").c_str());
        tree.symlink(chain + "/l1/secret.txt", "notes.txt");
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text("notes.txt changed on disk since it was read; save over it?"))
            << links << "\n"
            << s->screen();
        s->keys({"n"});
        EXPECT_TRUE(s->wait_text("Not saved.")) << links << "\n" << s->screen();
        s->keys({"C-q"});
        EXPECT_TRUE(s->wait_text("Save changes?")) << s->screen();
        s->keys({"n"});
        EXPECT_EQ(s->wait_exit(), 0);
        EXPECT_EQ(tree.read("rootdir/secret.txt"), "root's own\n") << links;
    }
}

// Root saves alice/proj/notes.txt again and again while alice swaps her
// folder proj with a link to a folder of root's that holds a notes.txt of
// its own. Every save goes to alice's file, or asks while the path leads to
// root's folder; root's is never replaced or given away.
TEST_F(Editor, FolderSwappedDuringSavesNeverLeadsToAnotherFile) {
    if (getuid() != 0)
        GTEST_SKIP() << "the swapper runs as another user";
    chmod(tree.root().c_str(), 0755);
    std::string rootfile = tree.file("rootdir/notes.txt", "root's own\n", 0644);
    std::string home = tree.dir("alice");
    std::string proj = tree.dir("alice/proj");
    std::string notes = tree.file("alice/proj/notes.txt", "alice's\n");
    std::string other = tree.symlink("../rootdir", "alice/other");
    for (const std::string &p : {home, proj, notes, other})
        ASSERT_EQ(lchown(p.c_str(), alice, alice), 0);
    struct stat before;
    ASSERT_EQ(stat(rootfile.c_str(), &before), 0);

    auto s = start("alice/proj/notes.txt");
    pid_t swapper = fork();
    ASSERT_GE(swapper, 0);
    if (swapper == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(alice, alice, alice) != 0 ||
            setresuid(alice, alice, alice) != 0)
            _exit(1);
        auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < stop)
            renameat2(AT_FDCWD, proj.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE);
        _exit(0);
    }
    int saves = 0;
    std::string typed;
    // The old saves went astray within 6 to 15 saves; a slow (sanitizer)
    // build on a busy machine makes fewer in the time allowed.
    auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(12);
    while (saves < 15 && std::chrono::steady_clock::now() < stop) {
        s->type("x");
        typed += "x";
        s->keys({"C-s"});
        std::string wrote =
            "Wrote alice/proj/notes.txt, " + std::to_string(typed.size() + 8) + " bytes.";
        // While proj is the link, the folder at the path is root's: asked.
        const std::string asked = "The folder of alice/proj/notes.txt has changed";
        ASSERT_TRUE(s->wait_for([&](const std::string &screen) {
            for (const std::string &end :
                 {wrote, asked, std::string("changed on disk"), std::string("Not saved")})
                if (screen.find(end) != std::string::npos)
                    return true;
            return false;
        })) << s->screen();
        if (s->screen().find(wrote) != std::string::npos) {
            ++saves;
            continue;
        }
        if (s->screen().find(asked) != std::string::npos) {
            s->keys({"n"});
            ASSERT_TRUE(s->wait_text("Not saved.")) << s->screen();
            s->keys({"C-l"}); // a key that changes nothing takes the message away
            ASSERT_TRUE(
                s->wait_for([](const std::string &x) { return x.find("Not saved") == x.npos; }));
            continue;
        }
        if (s->screen().find("changed on disk") != std::string::npos)
            s->keys({"n"});
        ADD_FAILURE() << "save " << saves + 1 << ": " << s->row(23);
    }
    kill(swapper, SIGKILL);
    waitpid(swapper, nullptr, 0);
    struct stat st;
    if (lstat(proj.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        ASSERT_EQ(renameat2(AT_FDCWD, proj.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE), 0);
    }
    s->keys({"C-q"});
    EXPECT_EQ(s->wait_exit(), 0);
    EXPECT_GE(saves, 2);
    EXPECT_EQ(tree.read(rootfile), "root's own\n") << "after " << saves << " saves";
    ASSERT_EQ(stat(rootfile.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, before.st_ino);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(tree.read(notes), typed + "alice's\n");
}

// A save through a new file gives it the old one's ACL, user attribute and
// capabilities, whether root saves it or its owner does.
TEST_F(Editor, SaveKeepsExtendedAttributes) {
    if (getuid() != 0 || access("/usr/bin/setfacl", X_OK) != 0)
        GTEST_SKIP() << "needs root and setfacl";
    chmod(tree.root().c_str(), 0755);
    // File capabilities (version 2): cap_net_bind_service permitted.
    const unsigned char cap[20] = {1, 0, 0, 2, 0, 4};
    struct {
        const char *who;
        const char *wrapper;
        bool capability; // only root may give a file capabilities
    } cases[] = {
        {"root", "", true},
        {"owner", "/usr/bin/setpriv --reuid=2001 --regid=2001 --clear-groups", false},
    };
    for (const auto &c : cases) {
        std::string folder = tree.dir(c.who);
        std::string f = tree.file(std::string(c.who) + "/f.txt", "text\n", 0644);
        ASSERT_EQ(chown(folder.c_str(), alice, alice), 0);
        ASSERT_EQ(chown(f.c_str(), alice, alice), 0);
        // The ACL shuts out one user whom the mode would let read it.
        std::string acl = "/usr/bin/setfacl -m u:2002:--- " + quote(f);
        ASSERT_EQ(std::system(acl.c_str()), 0);
        if (setxattr(f.c_str(), "user.origin", "kept", 4, 0) != 0) {
            GTEST_SKIP() << "no user attributes here";
        }
        if (c.capability) {
            ASSERT_EQ(setxattr(f.c_str(), "security.capability", cap, sizeof cap, 0), 0);
        }
        std::vector<std::string> was;
        for (const char *name : {"system.posix_acl_access", "user.origin", "security.capability"})
            was.push_back(xattr(f, name));
        struct stat before;
        ASSERT_EQ(stat(f.c_str(), &before), 0);

        auto s = start(std::string(c.who) + "/f.txt", "", true, c.wrapper);
        s->type("more ");
        s->keys({"C-s"});
        EXPECT_TRUE(s->wait_text("Wrote " + std::string(c.who) + "/f.txt, 10 bytes."))
            << s->screen();
        s->keys({"C-q"});
        EXPECT_EQ(s->wait_exit(), 0);
        EXPECT_EQ(tree.read(f), "more text\n");
        struct stat after;
        ASSERT_EQ(stat(f.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode) << c.who;
        EXPECT_EQ(after.st_uid, alice) << c.who;
        int i = 0;
        for (const char *name : {"system.posix_acl_access", "user.origin", "security.capability"})
            EXPECT_EQ(xattr(f, name), was[i++]) << c.who << " " << name;
    }
}

// A run-control file in the current folder that another user owns, or that
// others may write to, is passed over with a message that names it; so is a
// link there that another user made (to a file of root's), a link to a file
// of the kernel's (a process's command line, which /proc shows as root's)
// and a FIFO (which would keep the editor waiting for a writer). The key
// map comes from the next place. With -f the name is taken as given.
TEST_F(Editor, PlantedRunControlFileIsPassedOver) {
    if (getuid() != 0)
        GTEST_SKIP() << "planting a file of another user needs root";
    tree.file("f.txt", "text\n");
    const std::string map = ".title Planted\nquit ^Q\n";
    std::string rootrc = tree.file("root.rc", map);
    // The kernel shows a process's arguments, NUL-separated, as its command line.
    std::vector<char *> argv = {const_cast<char *>(map.c_str()), const_cast<char *>("60"), nullptr};
    pid_t sleeper;
    ASSERT_EQ(posix_spawn(&sleeper, "/bin/sleep", nullptr, nullptr, argv.data(), environ), 0);
    std::string cmdline = "/proc/" + std::to_string(sleeper) + "/cmdline";
    const std::string ignored = "Ignored the run-control file kwed.rc: ";
    struct {
        uid_t owner;
        mode_t mode;      // S_IFIFO for a FIFO
        std::string link; // what kwed.rc is a link to, if it is one
        const char *args;
        std::string message; // empty: the planted file is used
    } cases[] = {
        {alice, 0644, "", "f.txt", ignored + "it belongs to user 2001."},
        {0, 0666, "", "f.txt", ignored + "others may write to it."},
        {0, 0664, "", "", ignored + "others may write to it."},
        {alice, 0644, "", "-f kwed.rc f.txt", ""},
        {alice, 0, rootrc, "f.txt", ignored + "it is a link of user 2001."},
        {0, 0, cmdline, "f.txt", ignored + "it is in /proc or /sys."},
        {0, S_IFIFO | 0644, "", "f.txt", "kwed.rc is not a regular file."},
    };
    for (const auto &c : cases) {
        std::string rc = tree.path("kwed.rc");
        std::remove(rc.c_str());
        if (!c.link.empty())
            tree.symlink(c.link, "kwed.rc");
        else if (S_ISFIFO(c.mode))
            tree.fifo("kwed.rc", c.mode & 0777);
        else
            tree.file("kwed.rc", map, c.mode);
        ASSERT_EQ(lchown(rc.c_str(), c.owner, c.owner), 0);
        if (c.link.empty()) {
            ASSERT_EQ(chmod(rc.c_str(), c.mode & 0777), 0);
        }
        auto s = start(c.args, "", false);
        bool planted = c.message.empty();
        EXPECT_TRUE(s->wait_text(planted ? " Planted" : " kwed ", 10)) << c.args << s->screen();
        if (!planted) {
            EXPECT_TRUE(s->wait_text(c.message)) << s->screen();
        }
        EXPECT_EQ(s->screen().find(planted ? "Ignored" : "Planted"), std::string::npos)
            << s->screen();
        s->keys({"C-q", "C-q"}); // the first key closes the help panel
        EXPECT_EQ(s->wait_exit(), 0);
    }
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);
}

// A FIFO to edit or to insert is no regular file, and no open waits on it
// with the ending signals held back. With the file's folder moved away and
// a link to root's folder in its place, the rescued text goes into the
// folder the file was read from, named by where that folder is now.
TEST_F(Editor, RescueIsNeitherHeldBackNorSentElsewhere) {
    tree.file("run.sh", "sh -c 'echo $$ > kwed.pid; exec \"$0\" \"$@\"' \"$@\"\n");
    std::string fifo = tree.fifo("fifo");
    tree.file("f.txt", "text\n");
    tree.file("alice/proj/notes.txt", "alice's\n");
    tree.dir("rootdir");
    char real[PATH_MAX];
    ASSERT_NE(realpath(tree.root().c_str(), real), nullptr);
    struct {
        const char *args;
        std::vector<std::string> keys;
        int sig;
        std::string kept; // as the message names it
        const char *text;
    } cases[] = {
        {"fifo", {"Home"}, SIGTERM, "fifo.save", "x"},
        {"f.txt", {"C-r", "fifo", "Enter"}, SIGTERM, "f.txt.save", "xtext\n"},
        {"alice/proj/notes.txt",
         {"Home"},
         SIGHUP,
         std::string(real) + "/alice/moved/notes.txt.save",
         "xalice's\n"},
    };
    for (const auto &c : cases) {
        auto s = start(c.args, "", false, "sh run.sh");
        EXPECT_TRUE(s->wait_text(c.args + std::string(" "), 10)) << s->screen();
        s->keys(c.keys);
        if (c.sig == SIGTERM) {
            EXPECT_TRUE(s->wait_text("fifo is not a regular file.", 10)) << s->screen();
        } else {
            ASSERT_EQ(rename(tree.path("alice/proj").c_str(), tree.path("alice/moved").c_str()), 0);
            tree.symlink("../rootdir", "alice/proj");
        }
        s->keys({"Home", "x"});
        EXPECT_TRUE(s->wait_text("[modified]", 10)) << s->screen();
        ASSERT_EQ(kill(std::stoi(tree.read("kwed.pid")), c.sig), 0);
        EXPECT_TRUE(s->wait_text("the unsaved text was kept in " + c.kept, 10)) << s->screen();
        close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets go an editor that waits on it
        EXPECT_EQ(tree.read(c.kept), c.text) << c.args;
    }
    EXPECT_NE(access(tree.path("rootdir/notes.txt.save").c_str(), F_OK), 0);
}

// The folder at the file's path is no longer the one it was read from: made
// again, mounted over (as root), moved away. Saving, and Save as to the same
// name, asks; y saves to the folder now at the path, n saves nothing, and
// the folder the file was read from keeps its file as it was.
TEST_F(Editor, SavingAsksWhenThePathLeadsToAnotherFolder) {
    bool root = getuid() == 0;
    // The mount goes with the test's own mount namespace.
    if (root) {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    }
    struct {
        std::string how;
        std::vector<std::string> save;
        const char *answer;
        const char *said;
    } cases[] = {
        {"made", {"C-s"}, "y", "Wrote made/dir/f.txt, 9 bytes."},
        {"mounted", {"C-o", "Enter"}, "y", "Wrote mounted/dir/f.txt, 9 bytes."},
        {"moved", {"C-s"}, "n", "Not saved."},
    };
    for (const auto &c : cases) {
        if (c.how == "mounted" && !root)
            continue;
        std::string file = tree.file(c.how + "/dir/f.txt", "text\n");
        std::string dir = tree.path(c.how + "/dir");
        auto s = start(c.how + "/dir/f.txt");
        s->type("new ");
        EXPECT_TRUE(s->wait_text("[modified]")) << s->screen();
        if (c.how == "mounted") {
            ASSERT_EQ(mount("kwed-test", dir.c_str(), "tmpfs", 0, nullptr), 0);
        } else {
            ASSERT_EQ(rename(dir.c_str(), tree.path(c.how + "/old").c_str()), 0);
            if (c.how == "made")
                tree.dir(c.how + "/dir");
        }
        s->keys(c.save);
        EXPECT_TRUE(
            s->wait_text("The folder of " + c.how + "/dir/f.txt has changed since it was read"))
            << s->screen();
        // Too long for the line, the question still shows its answers.
        EXPECT_NE(s->screen().find("... (y/n)"), std::string::npos) << s->screen();
        s->keys({c.answer});
        EXPECT_TRUE(s->wait_text(c.said)) << s->screen();
        s->keys({"C-q", "n"});
        EXPECT_EQ(s->wait_exit(), 0);
        bool saved = *c.answer == 'y';
        EXPECT_EQ(access(file.c_str(), F_OK) == 0 ? tree.read(file) : "", saved ? "new text\n" : "")
            << c.how;
        if (c.how == "mounted") {
            ASSERT_EQ(umount2(dir.c_str(), MNT_DETACH), 0);
        }
        EXPECT_EQ(tree.read(c.how + (c.how == "mounted" ? "/dir/f.txt" : "/old/f.txt")), "text\n");
    }
}

} // namespace
