// The executable loader: checks the 32-byte header, reads text and data into
// the program area, clears the bss and sets the segment registers.
#include "guest_memory.h"
#include "tavi.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace taviemu {

vm86::Record tavi_cpu;
uint8_t *tavi_base = nullptr;
uint32_t tavi_linear = 0;
uint32_t tavi_bss_end = 0;
uint32_t tavi_brk = 0;
uint16_t tavi_data_segment = 0;
uint16_t tavi_stack_start = 0;

namespace {

// Reads exactly `count` bytes unless the file ends or fails first.
bool read_exactly(int fd, uint8_t *into, uint32_t count) {
    while (count > 0) {
        ssize_t got = read(fd, into, count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        count -= static_cast<uint32_t>(got);
    }
    return true;
}

} // namespace

int parse_header(const uint8_t *bytes, ExecHeader &header) {
    uint32_t magic = get32(bytes);
    if (get32(bytes + 4) != kHeaderSize)
        return -ENOEXEC;
    if (magic != kMagicCombined && magic != kMagicSeparate)
        return -ENOEXEC;
    header.separate = magic == kMagicSeparate;
    header.text = get32(bytes + 8);
    header.data = get32(bytes + 12);
    header.bss = get32(bytes + 16);
    return 0;
}

int check_fit(const ExecHeader &header) {
    uint64_t text = header.text, data = header.data, bss = header.bss;
    if (header.separate)
        return text <= kSegmentSize && data + bss <= kSegmentSize ? 0 : kTooLarge;
    return text + data + bss <= kSegmentSize ? 0 : kTooLarge;
}

int check_length(const ExecHeader &header, const struct stat &status) {
    // Only a regular file tells its length before it is read; anything else
    // is found short by the reads themselves.
    if (!S_ISREG(status.st_mode))
        return 0;
    uint64_t needed = uint64_t{kHeaderSize} + header.text + header.data;
    return needed > static_cast<uint64_t>(status.st_size) ? -ENOEXEC : 0;
}

uint32_t bss_end(const ExecHeader &header) {
    uint32_t end = header.data + header.bss;
    return header.separate ? end : header.text + end;
}

int load_tavi(int fd) {
    uint8_t bytes[kHeaderSize];
    ExecHeader header;
    if (!read_exactly(fd, bytes, kHeaderSize) || parse_header(bytes, header) < 0)
        return -ENOEXEC;
    // A file shorter than its header says is no executable of ours, however
    // large the sizes; only then do they have to fit the segments. Both are
    // checked before anything is read, so no write leaves the segments.
    struct stat status;
    if (fstat(fd, &status) == 0 && check_length(header, status) < 0)
        return -ENOEXEC;
    if (check_fit(header) < 0)
        return kTooLarge;
    if (!read_exactly(fd, tavi_base, header.text))
        return -ENOEXEC;
    uint32_t data_offset = header.separate ? kSegmentSize : header.text;
    if (!read_exactly(fd, tavi_base + data_offset, header.data))
        return -ENOEXEC;
    std::memset(tavi_base + data_offset + header.data, 0, header.bss);

    uint32_t data_base = header.separate ? tavi_linear + kSegmentSize : tavi_linear;
    tavi_cpu.regs.ds = tavi_cpu.regs.es = tavi_cpu.regs.ss = static_cast<uint16_t>(data_base / 16);
    tavi_data_segment = tavi_cpu.regs.ds;
    tavi_cpu.regs.esp = kSegmentSize;
    tavi_cpu.regs.cs = static_cast<uint16_t>(tavi_linear / 16);
    tavi_cpu.regs.eip = 0;
    tavi_bss_end = tavi_brk = bss_end(header);
    uint32_t seen = static_cast<uint32_t>(tavi_cpu.regs.ds) * 16;
    if (seen != data_base || static_cast<uint32_t>(tavi_cpu.regs.cs) * 16 != tavi_linear) {
        std::printf("Error VM86 problem %lx!=%lx (Is DS > 16 bits ?)\n",
                    static_cast<unsigned long>(data_base), static_cast<unsigned long>(seen));
        return kBadSegment;
    }
    return 0;
}

} // namespace taviemu
