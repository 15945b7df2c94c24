// setup_env and the login helpers it uses, each run in a child process so
// the test's own directory and environment stay as they were.
#include "setup_env.h"
#include "support.h"

#include "child_process.h"
#include "temp_tree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

// The out-of-memory case needs malloc to fail rather than the sanitizer to
// stop the process.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1";
}

// Under the leak checker: checks for leaks at once, so none is attempted at
// exit, where a jailed process can no longer read /proc.
extern "C" void __lsan_do_leak_check() __attribute__((weak));

namespace {

using namespace sysapplets_test;
using suite_testing::TempTree;

// Prints the environment in order, the working directory and the entry.
void report(const passwd &pw) {
    for (char **var = environ; *var; ++var)
        std::printf("%s\n", *var);
    char cwd[4096];
    std::printf("cwd=%s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
    std::printf("pw_dir=%s pw_shell=%s\n", pw.pw_dir, pw.pw_shell);
}

struct User {
    std::string name, dir, shell;
    passwd entry() {
        passwd pw{};
        pw.pw_name = name.data();
        pw.pw_dir = dir.data();
        pw.pw_shell = shell.data();
        return pw;
    }
};

ChildResult login(User user, bool null_shell = false) {
    return run_in_child([&] {
        clearenv();
        passwd pw = user.entry();
        if (null_shell)
            pw.pw_shell = nullptr;
        sysapplets::setup_env(&pw);
        report(pw);
    });
}

TEST(SetupEnv, SetsTheVariablesInOrderAndEntersHome) {
    TempTree tree;
    const auto r = login({"guest", tree.root(), "/bin/bash"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "HOME=" + tree.root() +
                         "\nSHELL=/bin/bash\nPATH=/bin:/usr/bin\nUSER=guest\nLOGNAME=guest\n"
                         "MAIL=/var/spool/mail/guest\ncwd=" +
                         tree.root() + "\npw_dir=" + tree.root() + " pw_shell=/bin/bash\n");
}

TEST(SetupEnv, SuperUserGetsTheSamePath) {
    const auto r = login({"root", "/", "/bin/sh"});
    EXPECT_EQ(r.out, "HOME=/\nSHELL=/bin/sh\nPATH=/bin:/usr/bin\nUSER=root\nLOGNAME=root\n"
                     "MAIL=/var/spool/mail/root\ncwd=/\npw_dir=/ pw_shell=/bin/sh\n");
}

TEST(SetupEnv, MissingHomeFallsBackToRoot) {
    TempTree tree;
    const auto r = login({"guest", tree.path("gone"), "/bin/bash"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "No directory, logging in with HOME=/\n"
                     "HOME=/\nSHELL=/bin/bash\nPATH=/bin:/usr/bin\nUSER=guest\nLOGNAME=guest\n"
                     "MAIL=/var/spool/mail/guest\ncwd=/\npw_dir=/ pw_shell=/bin/bash\n");
}

TEST(SetupEnv, HomeThatIsAFileFallsBackToRoot) {
    TempTree tree;
    const auto r = login({"guest", tree.file("plain", "x"), "/bin/sh"});
    EXPECT_EQ(r.out.substr(0, 44), "No directory, logging in with HOME=/\nHOME=/\n");
}

TEST(SetupEnv, EmptyOrMissingShellBecomesBinSh) {
    for (const bool null_shell : {false, true}) {
        const auto r = login({"guest", "/", ""}, null_shell);
        EXPECT_NE(r.out.find("\nSHELL=/bin/sh\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("pw_shell=/bin/sh\n"), std::string::npos) << r.out;
    }
}

TEST(SetupEnv, ReplacesVariablesAlreadySet) {
    const auto r = run_in_child([] {
        clearenv();
        setenv("HOME", "/elsewhere", 1);
        setenv("TERM", "vt100", 1);
        setenv("MAIL", "old", 1);
        User user{"guest", "/", "/bin/sh"};
        passwd pw = user.entry();
        sysapplets::setup_env(&pw);
        for (char **var = environ; *var; ++var)
            std::printf("%s\n", *var);
    });
    EXPECT_EQ(r.out, "HOME=/\nTERM=vt100\nMAIL=/var/spool/mail/guest\nSHELL=/bin/sh\n"
                     "PATH=/bin:/usr/bin\nUSER=guest\nLOGNAME=guest\n");
}

// Printed when the process exits, to show the environment it ended with.
void print_environment_at_exit() {
    std::printf("at exit:");
    for (char **var = environ; *var; ++var)
        std::printf(" %s", *var);
    std::printf("\n");
}

// A datagram socket standing in for the system log at path; -1 on failure.
int log_socket_at(const std::string &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST(SetupEnv, NoDirectoryEnterableEndsWithStatus1) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making / unenterable needs root";
    TempTree tree;
    const std::string jail = tree.dir("jail", 0700);
    tree.dir("jail/dev");
    const int system_log = log_socket_at(tree.path("jail/dev/log"));
    ASSERT_GE(system_log, 0);
    const auto r = run_in_child([&] {
        clearenv();
        setenv("TERM", "vt100", 1);
        std::atexit(print_environment_at_exit);
        if (__lsan_do_leak_check)
            __lsan_do_leak_check();
        // Inside the jail "/" is a root-owned 0700 directory; as nobody,
        // neither the home directory nor "/" can be entered. The log is
        // connected before, to the jail's /dev/log.
        if (chroot(jail.c_str()) != 0)
            _exit(99);
        openlog("login", LOG_NDELAY, LOG_AUTH);
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(99);
        User user{"guest", "/home/guest", "/bin/sh"};
        passwd pw = user.entry();
        sysapplets::setup_env(&pw);
        std::printf("setup_env returned\n");
    });
    char message[1024];
    const ssize_t got = recv(system_log, message, sizeof message, MSG_DONTWAIT);
    close(system_log);
    ASSERT_NE(r.status, 99) << "could not set up the jail";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Unable to cd to \"/home/guest\"");
    EXPECT_EQ(r.out, "at exit: TERM=vt100\n");
    // A warning (4) of the caller's facility, the text after the time stamp.
    ASSERT_GT(got, 0) << "nothing was logged";
    const std::string logged(message, size_t(got));
    const std::string text = " login: unable to cd to `/home/guest' for user `guest'\n";
    EXPECT_EQ(logged.rfind("<" + std::to_string(LOG_AUTH | LOG_WARNING) + ">", 0), 0u) << logged;
    EXPECT_TRUE(logged.size() > text.size() &&
                logged.compare(logged.size() - text.size(), text.size(), text) == 0)
        << logged;
}

TEST(Addenv, NameAndValueOrWholeAssignment) {
    const auto r = run_in_child([] {
        clearenv();
        char value[] = "first";
        char assignment[] = "B=two=parts";
        const int named = sysapplets::addenv("A", value);
        const int whole = sysapplets::addenv(assignment, nullptr);
        std::printf("%d %d\n", named, whole);
        // Both texts were copied: changing them now changes nothing.
        std::strcpy(value, "XXXXX");
        std::strcpy(assignment, "B=changed!!");
        const int no_equals = sysapplets::addenv("no-equals-sign", nullptr);
        const int no_name = sysapplets::addenv("=nameless", nullptr);
        const int empty = sysapplets::addenv("EMPTY=", nullptr);
        std::printf("%d %d %d\n", no_equals, no_name, empty);
        for (char **var = environ; *var; ++var)
            std::printf("%s\n", *var);
    });
    EXPECT_EQ(r.out, "0 0\n-1 -1 0\nA=first\nB=two=parts\nEMPTY=\n");
}

TEST(Xmalloc, GivesUsableMemoryOrEndsTheProcess) {
    const auto ok = run_in_child([] {
        auto *zero = static_cast<char *>(sysapplets::xmalloc(0));
        auto *block = static_cast<char *>(sysapplets::xmalloc(100));
        std::memset(block, 'x', 100);
        std::printf("%c\n", block[99]);
        std::free(zero);
        std::free(block);
    });
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "x\n");
    const auto exhausted = run_in_child([] {
        sysapplets::set_program_name("login");
        // Larger than any object can be, on 32-bit builds too.
        (void)sysapplets::xmalloc(std::size_t(-1) / 2 + 1);
        std::printf("xmalloc returned\n");
    });
    EXPECT_EQ(exhausted.status, 1);
    EXPECT_EQ(exhausted.out, "");
    // A sanitizer may add a warning line of its own before the message.
    const std::string message = "login: out of memory\n";
    ASSERT_GE(exhausted.err.size(), message.size());
    EXPECT_EQ(exhausted.err.substr(exhausted.err.size() - message.size()), message);
}

} // namespace
