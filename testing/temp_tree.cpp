#include "temp_tree.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <linux/magic.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace suite_testing {
namespace {

[[noreturn]] void fail(const std::string &what, const std::string &path) {
    throw std::runtime_error(what + " " + path + ": " + strerror(errno));
}

int remove_entry(const char *path, const struct stat *, int type, FTW *) {
    if (type == FTW_DP)
        return rmdir(path);
    return unlink(path);
}

// Lets the removal walk into folders a test made unreadable or unsearchable.
int open_up(const char *path, const struct stat *st, int type, FTW *) {
    if (type == FTW_D || type == FTW_DNR)
        chmod(path, (st->st_mode & 07777) | 0700);
    return 0;
}

} // namespace

TempTree::TempTree() : TempTree(false) {}

TempTree::TempTree(bool in_memory) {
    const char *base = getenv("TMPDIR");
    struct statfs fs;
    if (in_memory && statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC &&
        access("/dev/shm", W_OK) == 0)
        base = "/dev/shm";
    std::string templ = std::string(base && *base ? base : "/tmp") + "/suite-test-XXXXXX";
    if (!mkdtemp(templ.data()))
        fail("mkdtemp", templ);
    root_ = templ;
}

TempTree::~TempTree() {
    nftw(root_.c_str(), open_up, 32, FTW_PHYS);
    nftw(root_.c_str(), remove_entry, 32, FTW_DEPTH | FTW_PHYS);
}

std::string TempTree::path(std::string_view rel) const {
    if (rel.empty())
        return root_;
    if (rel.front() == '/')
        return std::string(rel);
    return root_ + "/" + std::string(rel);
}

void TempTree::make_parents(std::string_view rel) {
    for (size_t slash = rel.find('/'); slash != std::string_view::npos;
         slash = rel.find('/', slash + 1)) {
        std::string p = path(rel.substr(0, slash));
        if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST)
            fail("mkdir", p);
    }
}

std::string TempTree::file(std::string_view rel, std::string_view content, mode_t mode) {
    make_parents(rel);
    std::string p = path(rel);
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        fail("open", p);
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            close(fd);
            fail("write", p);
        }
        done += size_t(n);
    }
    close(fd);
    if (chmod(p.c_str(), mode) != 0)
        fail("chmod", p);
    return p;
}

std::string TempTree::dir(std::string_view rel, mode_t mode) {
    make_parents(rel);
    std::string p = path(rel);
    if (mkdir(p.c_str(), mode) != 0 && errno != EEXIST)
        fail("mkdir", p);
    chmod(p.c_str(), mode);
    return p;
}

std::string TempTree::symlink(std::string_view target, std::string_view rel) {
    make_parents(rel);
    std::string p = path(rel);
    if (::symlink(std::string(target).c_str(), p.c_str()) != 0)
        fail("symlink", p);
    return p;
}

std::string TempTree::hardlink(std::string_view existing_rel, std::string_view rel) {
    make_parents(rel);
    std::string p = path(rel);
    if (::link(path(existing_rel).c_str(), p.c_str()) != 0)
        fail("link", p);
    return p;
}

std::string TempTree::fifo(std::string_view rel, mode_t mode) {
    make_parents(rel);
    std::string p = path(rel);
    if (mkfifo(p.c_str(), mode) != 0)
        fail("mkfifo", p);
    return p;
}

void TempTree::set_mtime(std::string_view rel, long long seconds) {
    timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    std::string p = path(rel);
    if (utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        fail("utimensat", p);
}

std::string TempTree::read(std::string_view rel) const {
    std::string p = path(rel);
    int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("open", p);
    std::string content;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        content.append(buf, size_t(n));
    close(fd);
    return content;
}

} // namespace suite_testing
