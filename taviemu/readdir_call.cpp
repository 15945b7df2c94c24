// readdir: one directory entry per call, as the library's readdir reads
// them: d_ino (the inode number folded as stat folds it), d_off, d_reclen
// (the name's length) and the NUL-terminated name. The result is the
// name's length, 0 at the end; "." and ".." are entries like the others.
#include "guest_memory.h"
#include "guest_structs.h"
#include "tavi_calls.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace taviemu {

namespace {

// Room for the longest entry the host gives (a 255-byte name).
constexpr size_t kHostEntryRoom = 1024;

std::array<uint8_t, kDirentSize> encode_dirent(const struct dirent64 &entry, size_t length) {
    std::array<uint8_t, kDirentSize> out{};
    put32(out.data(), fold_inode(entry.d_ino));
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
    alignas(struct dirent64) char buffer[kHostEntryRoom];
    ssize_t got = getdents64(fd, buffer, sizeof buffer);
    if (got <= 0)
        return got == 0 ? 0 : -errno;
    const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer);
    // The host gave as many entries as fit; the directory goes on from the
    // first one's end, which its d_off names.
    if (lseek(fd, entry->d_off, SEEK_SET) < 0)
        return -errno;
    size_t length = strnlen(entry->d_name, kDirentNameSize - 1);
    auto bytes = encode_dirent(*entry, length);
    std::copy(bytes.begin(), bytes.end(), into);
    return static_cast<int>(length);
}

} // namespace taviemu
