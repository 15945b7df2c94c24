// tavi-wrap: turns nasm's flat output of a test program into a tavi
// executable. The program ends with a 16-byte trailer written by tavi.inc
// (text, data and bss sizes and the layout: 1 combined, 2 separate); the
// wrapper replaces it by the 32-byte header in front.
//
//   tavi-wrap FLAT OUT [ENTRY]
//
// ENTRY, when given, goes into the header's entry field, which the runner
// must ignore.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

uint32_t get32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool read_file(const char *path, std::vector<uint8_t> &bytes) {
    FILE *in = std::fopen(path, "rb");
    if (in == nullptr)
        return false;
    uint8_t block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    bool ok = !std::ferror(in);
    std::fclose(in);
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: tavi-wrap FLAT OUT [ENTRY]\n", stderr);
        return 2;
    }
    std::vector<uint8_t> flat;
    if (!read_file(argv[1], flat) || flat.size() < 16) {
        std::fprintf(stderr, "tavi-wrap: %s: cannot read a program with its trailer\n", argv[1]);
        return 1;
    }
    const uint8_t *trailer = flat.data() + flat.size() - 16;
    uint32_t text = get32(trailer), data = get32(trailer + 4), bss = get32(trailer + 8);
    uint32_t layout = get32(trailer + 12);
    size_t payload = flat.size() - 16;
    if (uint64_t{text} + data != payload || (layout != 1 && layout != 2)) {
        std::fprintf(stderr, "tavi-wrap: %s: trailer does not match the program\n", argv[1]);
        return 1;
    }
    uint8_t header[32] = {};
    put32(header, layout == 1 ? 0x04100301 : 0x04200301);
    put32(header + 4, 32);
    put32(header + 8, text);
    put32(header + 12, data);
    put32(header + 16, bss);
    if (argc == 4)
        put32(header + 20, static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0)));
    FILE *out = std::fopen(argv[2], "wb");
    if (out == nullptr || std::fwrite(header, 1, sizeof header, out) != sizeof header ||
        std::fwrite(flat.data(), 1, payload, out) != payload || std::fclose(out) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
