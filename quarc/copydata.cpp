#include "archive_output.h"
#include "header_block.h"
#include "member_writer.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quarc {

bool data_changed = false;

namespace {

struct fd_closer {
    int fd;
    ~fd_closer() { close(fd); }
};

} // namespace

int copydata(const char *path, long long size) {
    // lstat saw a regular file, but by now something else may stand under
    // its name: a symbolic link is not followed (it would put another file's
    // data under this name), and a FIFO or terminal does not hold the run up
    // (it reads as empty or fails, and the size is made up below). A regular
    // file reads the same with O_NONBLOCK as without.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return code::cannot_open; // the header is already in the archive
    fd_closer closer{fd};
    copy_outcome r = copy_from_file(fd, size);
    if (r.write_failed)
        return code::short_write;
    // Whatever the file did, exactly the size in the header is written, so
    // the archive stays readable; a file that shrank is made up with zeros.
    long long missing = size - r.copied;
    long long padding = (static_cast<long long>(kBlockSize) - size % kBlockSize) % kBlockSize;
    if (!write_zeros(missing + padding))
        return code::short_write;
    if (r.read_errno != 0) {
        std::fprintf(stderr, "quarc: %s: %s\n", path, std::strerror(r.read_errno));
        data_changed = true;
    } else if (missing > 0 || r.grew) {
        std::fprintf(stderr, "quarc: %s: file changed size while it was read\n", path);
        data_changed = true;
    }
    return code::ok;
}

} // namespace quarc
