// The initial stack: argc, the argument and environment vectors and their
// strings, ending exactly at the top of the data segment.
#include "guest_memory.h"
#include "tavi.h"

#include <cstring>

namespace taviemu {

namespace {

struct ListSize {
    uint64_t count = 0; // strings
    uint64_t bytes = 0; // their lengths, each with its NUL
};

ListSize measure(char *const *list) {
    ListSize size;
    for (; list != nullptr && *list != nullptr; ++list) {
        ++size.count;
        size.bytes += std::strlen(*list) + 1;
    }
    return size;
}

// Writes each string's offset as the next word at `word` and the string at
// offset `s` of the data segment; ends the vector with a 0 word.
void write_list(char *const *list, uint8_t *data_seg, uint32_t &word, uint16_t &s) {
    for (; list != nullptr && *list != nullptr; ++list) {
        size_t len = std::strlen(*list) + 1;
        put16(data_seg + word, s);
        word += 2;
        std::memcpy(data_seg + s, *list, len);
        s = static_cast<uint16_t>(s + len);
    }
    put16(data_seg + word, 0);
    word += 2;
}

} // namespace

uint64_t stack_block_size(char *const *args, char *const *env) {
    ListSize a = measure(args), e = measure(env);
    return a.bytes + e.bytes + 2 * a.count + 2 * e.count + 6;
}

int check_stack(char *const *args, char *const *env, uint32_t end) {
    return end <= kSegmentSize && stack_block_size(args, env) <= kSegmentSize - end ? 0 : -E2BIG;
}

int build_stack(char *const *args, char *const *env) {
    if (check_stack(args, env, tavi_bss_end) < 0)
        return -E2BIG;
    ListSize a = measure(args), e = measure(env);
    uint32_t total = static_cast<uint32_t>(stack_block_size(args, env));
    tavi_cpu.regs.esp -= total;
    uint8_t *data_seg = tavi_base + (static_cast<uint32_t>(tavi_cpu.regs.ds) * 16 - tavi_linear);
    uint32_t word = tavi_cpu.regs.esp & 0xFFFF;
    put16(data_seg + word, static_cast<uint16_t>(a.count));
    word += 2;
    uint16_t s = static_cast<uint16_t>(tavi_cpu.regs.esp + 2 * (a.count + e.count + 3));
    write_list(args, data_seg, word, s);
    write_list(env, data_seg, word, s);
    tavi_stack_start = static_cast<uint16_t>(tavi_cpu.regs.esp);
    return 0;
}

} // namespace taviemu
