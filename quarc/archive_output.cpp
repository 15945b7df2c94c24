#include "archive_output.h"

#include "header_block.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarc {
namespace {

constexpr std::size_t kOutputBuffer = 128 * 1024; // standard output's stdio buffer
constexpr std::size_t kDataBuffer = 128 * 1024;   // one read of file data
constexpr long long kKernelCopyMin = 64 * 1024;   // smaller files are cheaper through the buffer
constexpr long long kKernelCopyChunk = 1 << 30;   // most asked of one in-kernel copy call
constexpr int kPipeSize = 1024 * 1024;            // asked of an output pipe: fewer wake-ups

// How file data can reach standard output without passing through us.
enum class kernel_copy { none, splice_to_pipe, copy_range, send_file };

kernel_copy method = kernel_copy::none;
bool output_is_file = false; // standard output is a regular file: the one below
dev_t output_dev = 0;
ino_t output_ino = 0;
int output_errno = 0; // why the archive could not be written, once it could not
char output_buffer[kOutputBuffer];
char data_buffer[kDataBuffer];
const char zero_block[kBlockSize] = {};

// Standard output failed: remember the first reason.
bool output_failed() {
    if (output_errno == 0)
        output_errno = errno != 0 ? errno : EIO;
    return false;
}

// One in-kernel copy of up to `left` bytes: the count moved, 0 at the end of
// the file, -1 when this way is closed (the caller then copies by hand).
ssize_t copy_in_kernel(int fd, long long left) {
    std::size_t chunk = std::size_t(std::min(left, kKernelCopyChunk));
    for (;;) {
        ssize_t n = -1;
        switch (method) {
        case kernel_copy::splice_to_pipe:
            n = splice(fd, nullptr, STDOUT_FILENO, nullptr, chunk, SPLICE_F_MORE);
            break;
        case kernel_copy::copy_range:
            n = copy_file_range(fd, nullptr, STDOUT_FILENO, nullptr, chunk, 0);
            break;
        case kernel_copy::send_file:
            n = sendfile(STDOUT_FILENO, fd, nullptr, chunk);
            break;
        case kernel_copy::none:
            return -1;
        }
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        // copy_file_range refuses some pairs of files (other file systems,
        // output opened for appending); sendfile takes most of those. Any
        // other failure leaves the rest to the plain copy, which reports it.
        bool retry = method == kernel_copy::copy_range;
        method = retry ? kernel_copy::send_file : kernel_copy::none;
        if (!retry)
            return -1;
    }
}

} // namespace

void start_archive() {
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0)
        return;
    if (S_ISFIFO(st.st_mode)) {
        method = kernel_copy::splice_to_pipe;
        if (fcntl(STDOUT_FILENO, F_GETPIPE_SZ) < kPipeSize)
            fcntl(STDOUT_FILENO, F_SETPIPE_SZ, kPipeSize); // only a hint
    } else if (S_ISREG(st.st_mode)) {
        method = kernel_copy::copy_range;
        output_is_file = true;
        output_dev = st.st_dev;
        output_ino = st.st_ino;
    }
}

bool is_the_archive(dev_t dev, ino_t ino) {
    return output_is_file && dev == output_dev && ino == output_ino;
}

bool write_archive(const char *data, std::size_t n) {
    return std::fwrite(data, 1, n, stdout) == n || output_failed();
}

int write_error() {
    return output_errno;
}

bool write_zeros(long long n) {
    while (n > 0) {
        std::size_t part = std::size_t(std::min(n, static_cast<long long>(kBlockSize)));
        if (!write_archive(zero_block, part))
            return false;
        n -= static_cast<long long>(part);
    }
    return true;
}

copy_outcome copy_from_file(int fd, long long size) {
    copy_outcome r;
    long long left = size;
    if (size >= kKernelCopyMin && method != kernel_copy::none) {
        if (std::fflush(stdout) != 0) {
            output_failed();
            r.write_failed = true;
            return r;
        }
        ssize_t n;
        while (left > 0 && (n = copy_in_kernel(fd, left)) > 0) {
            left -= n;
            r.copied += n;
        }
    }
    // The plain copy takes what is left (all of a small file). Each read asks
    // for one byte more than is still due, so that a file that grew shows it
    // without another call.
    bool short_read = false;
    while (left > 0) {
        std::size_t want =
            left < static_cast<long long>(kDataBuffer) ? std::size_t(left) + 1 : kDataBuffer;
        ssize_t n = read(fd, data_buffer, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.read_errno = errno;
            return r;
        }
        if (n == 0)
            return r; // the file shrank
        std::size_t use = std::size_t(std::min(static_cast<long long>(n), left));
        r.grew = std::size_t(n) > use;
        if (!write_archive(data_buffer, use)) {
            r.write_failed = true;
            return r;
        }
        left -= static_cast<long long>(use);
        r.copied += static_cast<long long>(use);
        short_read = std::size_t(n) < want;
    }
    if (!r.grew && !short_read) {
        char probe;
        r.grew = read(fd, &probe, 1) > 0;
    }
    return r;
}

bool finish_archive() {
    bool written = write_zeros(2 * kBlockSize);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        written = output_failed();
    return written && output_errno == 0;
}

} // namespace quarc
