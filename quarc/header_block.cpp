#include "header_block.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace quarc {
namespace {

std::span<char> at(header_block &block, std::size_t offset, std::size_t width) {
    return std::span<char>(block).subspan(offset, width);
}

// A bounded copy into a fixed field: NUL-padded when shorter, cut with no NUL
// when the text fills the field.
void put_text(std::span<char> dest, std::string_view text) {
    std::size_t n = std::min(text.size(), dest.size());
    if (n > 0) // an empty view may carry no pointer at all
        std::memcpy(dest.data(), text.data(), n);
    std::fill(dest.begin() + std::ptrdiff_t(n), dest.end(), '\0');
}

} // namespace

void putoctal(std::int64_t value, std::size_t width, char *dest) {
    dest[width - 2] = ' ';
    std::size_t pos = width - 3;
    for (;;) {
        dest[pos] = char('0' + (value & 7));
        value >>= 3; // arithmetic: a negative value never reaches 0
        if (pos == 0 || value == 0)
            break;
        --pos;
    }
    while (pos > 0)
        dest[--pos] = ' ';
}

bool octal_fits(std::int64_t value, std::size_t width) {
    std::size_t digits = width - 2;
    return value >= 0 && (digits >= 21 || value < (std::int64_t(1) << (3 * digits)));
}

bool putnumber(std::int64_t value, std::span<char> dest) {
    std::size_t width = dest.size() == field::small_width ? dest.size() : dest.size() + 1;
    if (octal_fits(value, width)) {
        putoctal(value, width, dest.data());
        return true;
    }
    // Base-256: readers take a first byte of exactly 0x80 (positive) or 0xff
    // (negative), so the value must fit the bytes after it.
    std::size_t bits = 8 * (dest.size() - 1);
    if (bits < 63) {
        std::int64_t limit = std::int64_t(1) << bits;
        if (value >= limit || value < -limit)
            return false;
    }
    std::int64_t v = value;
    for (std::size_t i = dest.size(); i-- > 0;) {
        dest[i] = char(v & 0xff);
        v >>= 8;
    }
    dest[0] = value >= 0 ? char(0x80) : char(0xff);
    return true;
}

unsigned int checksum(const header_block &block) {
    unsigned int sum = 0;
    for (std::size_t i = 0; i < block.size(); ++i) {
        bool in_chksum = i >= field::chksum && i < field::chksum + 8;
        sum += in_chksum ? unsigned(' ') : unsigned(static_cast<unsigned char>(block[i]));
    }
    return sum;
}

bool fill_header(const header_fields &f, header_block &block) {
    block.fill('\0');
    put_text(at(block, field::name, kNameSize), f.name);
    bool fits = putnumber(f.mode, at(block, field::mode, field::small_width)) &&
                putnumber(f.uid, at(block, field::uid, field::small_width)) &&
                putnumber(f.gid, at(block, field::gid, field::small_width)) &&
                putnumber(f.size, at(block, field::size, field::large_width)) &&
                putnumber(f.mtime, at(block, field::mtime, field::large_width));
    if (!fits)
        return false;
    block[field::typeflag] = f.typeflag;
    put_text(at(block, field::linkname, kNameSize), f.linkname);
    std::memcpy(&block[field::magic], "ustar ", 6);
    std::memcpy(&block[field::version], " ", 2);
    put_text(at(block, field::uname, kOwnerNameSize), f.uname);
    put_text(at(block, field::gname, kOwnerNameSize), f.gname);
    if (f.device && !(putnumber(f.devmajor, at(block, field::devmajor, field::small_width)) &&
                      putnumber(f.devminor, at(block, field::devminor, field::small_width))))
        return false;
    // Six octal digits, their NUL, and the space that the sum counted.
    char digits[8];
    std::snprintf(digits, sizeof digits, "%6o", checksum(block));
    std::memcpy(&block[field::chksum], digits, 7);
    block[field::chksum + 7] = ' ';
    return true;
}

char typeflag_for(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFDIR:
        return typeflag::directory;
    case S_IFLNK:
        return typeflag::symbolic_link;
    case S_IFCHR:
        return typeflag::character_device;
    case S_IFBLK:
        return typeflag::block_device;
    case S_IFIFO:
    case S_IFSOCK:
        return typeflag::fifo;
    default:
        return typeflag::regular;
    }
}

} // namespace quarc
