#include "archive_output.h"
#include "header_block.h"
#include "member_writer.h"
#include "messages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quarc {

namespace {

struct fd_closer {
    int fd;
    ~fd_closer() { close(fd); }
};

constexpr const char *kReplaced = "file was replaced while it was read";

long long padding_of(long long size) {
    return (static_cast<long long>(kBlockSize) - size % kBlockSize) % kBlockSize;
}

// Another file stands under the name by now, or none: its data must not go
// under this member's header, so the header's size is made up with zeros.
int replaced(const char *path, long long size, const char *what) {
    if (!write_zeros(size + padding_of(size)))
        return code::short_write;
    report_incomplete(path, what);
    return code::ok;
}

} // namespace

int copydata(int dirfd, const char *name, const char *path, const struct stat &st) {
    // lstat saw a regular file, but by now something else may stand under
    // its name: a symbolic link is not followed, and a FIFO or terminal does
    // not hold the run up (it is then found to be another file). A regular
    // file reads the same with O_NONBLOCK as without.
    long long size = st.st_size;
    int fd = openat(dirfd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 && is_gone(errno))
        return replaced(path, size, "file was removed while it was read");
    if (fd < 0)
        return errno == ELOOP ? replaced(path, size, kReplaced) : code::cannot_open;
    fd_closer closer{fd};
    struct stat now;
    if (fstat(fd, &now) != 0 || !same_file(now, st))
        return replaced(path, size, kReplaced);
    copy_outcome r = copy_from_file(fd, size);
    if (r.write_failed)
        return code::short_write;
    // Whatever the file did, exactly the size in the header is written, so
    // the archive stays readable; a file that shrank is made up with zeros.
    long long missing = size - r.copied;
    if (!write_zeros(missing + padding_of(size)))
        return code::short_write;
    if (r.read_errno != 0)
        report_incomplete(path, std::strerror(r.read_errno));
    else if (missing > 0 || r.grew)
        report_incomplete(path, "file changed size while it was read");
    return code::ok;
}

} // namespace quarc
