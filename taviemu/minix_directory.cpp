// The slots of the directories the program reads as files.
#include "minix_directory.h"
#include "inode_numbers.h"
#include "minix_calls.h"
#include "minix_names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace taviemu {

namespace {

constexpr size_t kHostEntries = 4096; // bytes of host entries read at a time

// What the runner holds of a descriptor's directory.
struct Listing {
    bool known = false; // dev and ino say which directory it is
    bool taken = false; // the slots are taken
    uint64_t dev = 0, ino = 0;
    uint32_t offset = 0;
    std::vector<DirectorySlot> slots;
};

std::array<Listing, kMinixDescriptors> listings;

// The listing of fd, begun afresh when fd is not the directory it was.
Listing &listing_of(int fd, const struct stat &folder) {
    Listing &listing = listings[static_cast<size_t>(fd)];
    if (!listing.known || listing.dev != folder.st_dev || listing.ino != folder.st_ino) {
        listing = Listing{};
        listing.known = true;
        listing.dev = folder.st_dev;
        listing.ino = folder.st_ino;
    }
    return listing;
}

// A slot, with what it is put in its place by.
struct Entry {
    int rank;      // "." first, ".." next, then every other entry
    uint64_t host; // the host's inode number
    DirectorySlot slot;
};

// The entry's slot, with the number stat gives it (without following a
// symbolic link, so that a link is not taken for what it points to), or
// the number of the host's entry when the folder may be read but not
// searched. False for an entry gone since the host listed it.
bool entry_of(int fd, const struct stat &folder, const struct dirent64 &host, Entry &entry) {
    struct stat status;
    uint16_t ino;
    if (fstatat(fd, host.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0)
        ino = inode_number(status.st_dev, status.st_ino);
    else if (errno == ENOENT)
        return false;
    else
        ino = inode_number(folder.st_dev, host.d_ino);
    std::string_view name = host.d_name;
    entry.rank = name == "." ? 0 : name == ".." ? 1 : 2;
    entry.host = host.d_ino;
    entry.slot = encode_slot(ino, name);
    return true;
}

// A V7 folder's slots are in the order the entries were made (until one
// is removed and its slot reused); the host's inode numbers, given in
// turn on most file systems, give that order rather than the host's own,
// which may be a hash's.
void put_in_order(std::vector<Entry> &entries, std::vector<DirectorySlot> &slots) {
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.rank != b.rank ? a.rank < b.rank : a.host < b.host;
    });
    slots.clear();
    for (const Entry &entry : entries)
        slots.push_back(entry.slot);
}

// The folder's entries as slots. The host's offset of fd is the runner's
// to move (the program's offset is the listing's); it goes back to the
// start, where the host's read gives EISDIR again rather than EINVAL past
// the end.
int take_slots(int fd, const struct stat &folder, std::vector<DirectorySlot> &slots) {
    if (lseek(fd, 0, SEEK_SET) < 0)
        return -errno;
    std::vector<Entry> entries;
    alignas(struct dirent64) char buffer[kHostEntries];
    for (;;) {
        ssize_t got = getdents64(fd, buffer, sizeof buffer);
        if (got <= 0) {
            int error = got < 0 ? errno : 0;
            lseek(fd, 0, SEEK_SET);
            put_in_order(entries, slots);
            return -error;
        }
        for (ssize_t at = 0; at < got;) {
            const auto *host = reinterpret_cast<const struct dirent64 *>(buffer + at);
            at += host->d_reclen;
            Entry entry;
            if (entry_of(fd, folder, *host, entry))
                entries.push_back(entry);
        }
    }
}

int take_if_due(int fd, const struct stat &folder, Listing &listing) {
    if (listing.taken && listing.offset != 0)
        return 0;
    if (int r = take_slots(fd, folder, listing.slots); r < 0)
        return r;
    listing.taken = true;
    return 0;
}

} // namespace

DirectorySlot encode_slot(uint16_t ino, std::string_view name) {
    DirectorySlot slot{};
    put16(slot.data(), ino);
    std::copy_n(name.data(), std::min(name.size(), kMinixNameMax), slot.data() + 2);
    return slot;
}

int read_directory(int fd, const struct stat &folder, uint8_t *into, uint32_t count) {
    Listing &listing = listing_of(fd, folder);
    if (int r = take_if_due(fd, folder, listing); r < 0)
        return r;
    uint64_t size = uint64_t{kSlotSize} * listing.slots.size();
    if (listing.offset >= size)
        return 0;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, size - listing.offset));
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t at = listing.offset + i;
        into[i] = listing.slots[at / kSlotSize][at % kSlotSize];
    }
    listing.offset += n;
    return static_cast<int>(n);
}

int seek_directory(int fd, const struct stat &folder, int32_t *offset, int whence) {
    Listing &listing = listing_of(fd, folder);
    int64_t from;
    switch (whence) {
    case SEEK_SET:
        from = 0;
        break;
    case SEEK_CUR:
        from = listing.offset;
        break;
    case SEEK_END:
        if (int r = take_if_due(fd, folder, listing); r < 0)
            return r;
        from = int64_t{kSlotSize} * static_cast<int64_t>(listing.slots.size());
        break;
    default:
        return -EINVAL;
    }
    int64_t to = from + *offset;
    if (to < 0 || to > INT32_MAX)
        return -EINVAL;
    listing.offset = static_cast<uint32_t>(to);
    *offset = static_cast<int32_t>(to);
    return 0;
}

void forget_directory(int fd) {
    if (minix_descriptor(fd))
        listings[static_cast<size_t>(fd)] = Listing{};
}

} // namespace taviemu
