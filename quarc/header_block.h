// The 512-byte header block of one archive member: the field layout, the
// number forms and the checksum. Nothing here touches the file system, so
// the exact bytes can be checked on their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <sys/types.h>

namespace quarc {

constexpr std::size_t kBlockSize = 512;    // every header and data block
constexpr std::size_t kNameSize = 100;     // name and linkname fields; names up to 99 and a NUL
constexpr std::size_t kOwnerNameSize = 32; // uname and gname fields

using header_block = std::array<char, kBlockSize>;

// Where each field of the block starts, and how wide it is.
namespace field {
constexpr std::size_t name = 0;
constexpr std::size_t mode = 100;
constexpr std::size_t uid = 108;
constexpr std::size_t gid = 116;
constexpr std::size_t size = 124;
constexpr std::size_t mtime = 136;
constexpr std::size_t chksum = 148;
constexpr std::size_t typeflag = 156;
constexpr std::size_t linkname = 157;
constexpr std::size_t magic = 257;
constexpr std::size_t version = 263;
constexpr std::size_t uname = 265;
constexpr std::size_t gname = 297;
constexpr std::size_t devmajor = 329;
constexpr std::size_t devminor = 337;
constexpr std::size_t small_width = 8;  // mode, uid, gid, devmajor, devminor
constexpr std::size_t large_width = 12; // size, mtime
} // namespace field

// The type flags this writer uses.
namespace typeflag {
constexpr char regular = '0';
constexpr char hard_link = '1';
constexpr char symbolic_link = '2';
constexpr char character_device = '3';
constexpr char block_device = '4';
constexpr char directory = '5';
constexpr char fifo = '6'; // sockets are stored as FIFOs as well
} // namespace typeflag

// Everything a header block says about a member, already decided.
struct header_fields {
    std::string_view name;  // as stored: a directory's name already ends in "/"; at most 100 bytes
    std::uint32_t mode = 0; // the whole mode word, file-type bits included
    std::int64_t uid = 0;
    std::int64_t gid = 0;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    char typeflag = typeflag::regular;
    std::string_view linkname; // at most 99 bytes
    std::string_view uname;    // cut to 32 bytes
    std::string_view gname;
    bool device = false; // character or block device: devmajor and devminor are written
    std::int64_t devmajor = 0;
    std::int64_t devminor = 0;
};

// The octal form: a space at position width-2, the octal digits right-aligned
// in the positions before it, spaces to their left. Position width-1 is never
// written. Digits that do not fit are dropped from the most significant end,
// so callers check octal_fits first.
void putoctal(std::int64_t value, std::size_t width, char *dest);

// Whether `value` fits the octal form of the given width without loss.
bool octal_fits(std::int64_t value, std::size_t width);

// Writes a number field of 8 or 12 bytes: the octal form when it fits (width 8
// for the 8-byte fields, 13 for the 12-byte fields, so that eleven digits and
// a space fill those exactly), otherwise the base-256 form: big-endian two's
// complement over the whole field with the top bit of the first byte set
// (0x80 for a positive value, 0xff for a negative one). Returns false only
// when not even that form can hold the value.
bool putnumber(std::int64_t value, std::span<char> dest);

// The unsigned sum of all 512 bytes with the chksum field counted as spaces.
unsigned int checksum(const header_block &block);

// Builds the whole block, checksum included. Returns false when a number does
// not fit its field in either form.
bool fill_header(const header_fields &fields, header_block &block);

// The type flag for a mode word from lstat (hard links are decided apart).
char typeflag_for(mode_t mode);

} // namespace quarc
