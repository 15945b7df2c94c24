// readdir: one directory entry per call, as the library's readdir reads
// them: d_ino (the inode number as stat gives it), d_off, d_reclen (the
// name's length) and the NUL-terminated name. The result is the name's
// length, 0 at the end; "." and ".." are entries like the others.
#include "guest_memory.h"
#include "guest_structs.h"
#include "inode_numbers.h"
#include "tavi_calls.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taviemu {

namespace {

// The host's entries: a header of 19 bytes, the name and its NUL, padded to
// 8 bytes, so that the smallest ("." or "..") takes 24 and the largest (a
// 255-byte name) 280.
constexpr size_t kSmallestEntry = 24;
constexpr size_t kLargestEntry = 280;

// Reads the directory's next entry, and that one alone, into `buffer`: a
// buffer shorter than the first entry and the smallest one together can
// never hold two, and the host refuses one too short for the first
// (EINVAL), so the room grows until the entry fits. The directory then
// stands right after the entry, whatever its offsets mean to its file
// system (they need not survive the removal of an entry). The bytes read,
// 0 at the end, or -errno.
ssize_t next_entry(int fd, char *buffer) {
    for (size_t room = 2 * kSmallestEntry - 1;; room += kSmallestEntry) {
        ssize_t got = getdents64(fd, buffer, room);
        if (got >= 0)
            return got;
        if (errno != EINVAL || room >= kLargestEntry)
            return -errno;
    }
}

std::array<uint8_t, kDirentSize> encode_dirent(const struct dirent64 &entry, uint16_t ino,
                                               size_t length) {
    std::array<uint8_t, kDirentSize> out{};
    put32(out.data(), ino);
    put32(out.data() + 4, static_cast<uint32_t>(entry.d_off));
    put16(out.data() + 8, static_cast<uint16_t>(length));
    std::memcpy(out.data() + 10, entry.d_name, length);
    return out;
}

} // namespace

int sys_readdir(const CallArgs &a) {
    uint8_t *into = guest_bytes(a.ds, a.cx, kDirentSize);
    if (into == nullptr)
        return -EFAULT;
    int fd = signed_arg(a.bx);
    struct stat folder;
    if (fstat(fd, &folder) < 0)
        return -errno;
    alignas(struct dirent64) char buffer[kLargestEntry + kSmallestEntry];
    ssize_t got = next_entry(fd, buffer);
    if (got <= 0)
        return static_cast<int>(got);
    const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer);
    size_t length = strnlen(entry->d_name, kDirentNameSize - 1);
    auto bytes = encode_dirent(*entry, inode_number(folder.st_dev, entry->d_ino), length);
    std::copy(bytes.begin(), bytes.end(), into);
    return static_cast<int>(length);
}

} // namespace taviemu
