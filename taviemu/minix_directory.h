// A directory read as a file, as the Minix library's readdir and getcwd
// read one: 16-byte slots of the V7 file system, each a 16-bit inode
// number (the one stat gives for that entry) and the name in 14 bytes,
// padded with NULs and without one when it fills them (a longer host name
// is cut: minix_names.h). Offsets in the file are offsets in the slots.
// "." and ".." come first, then the other entries by their host inode
// numbers, which is the order they were made on most file systems, as in a
// V7 folder.
//
// The slots are taken from the host's folder when the program reads from
// its start (or first reads at all), and kept while it reads on, so that
// an entry made or removed meanwhile neither moves nor repeats another.
// The offset is the runner's own, one per descriptor: a descriptor made
// by dup or shared with a child reads the folder on its own.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <sys/stat.h>

namespace taviemu {

constexpr uint32_t kSlotSize = 16;

using DirectorySlot = std::array<uint8_t, kSlotSize>;
DirectorySlot encode_slot(uint16_t ino, std::string_view name);

// Reads up to `count` bytes of the slots of the directory open on fd,
// `folder` its status; the bytes read, 0 at the end, or -errno.
int read_directory(int fd, const struct stat &folder, uint8_t *into, uint32_t count);
// lseek on the directory; the new offset in *offset, 0, or -errno.
int seek_directory(int fd, const struct stat &folder, int32_t *offset, int whence);
// The descriptor has been closed or given anew: it reads from the start.
void forget_directory(int fd);

} // namespace taviemu
