// Reading, checking and placing the execve argument block.
#include "exec_block.h"
#include "guest_memory.h"

#include <cerrno>
#include <cstring>

namespace taviemu {

namespace {

constexpr uint32_t kVectorsStart = 2; // the first offset, after argc

// Whether a string starts at `offset` and ends with its NUL inside `bytes`.
bool string_inside(std::span<const uint8_t> bytes, uint32_t offset) {
    return offset > 0 && offset < bytes.size() &&
           std::memchr(bytes.data() + offset, 0, bytes.size() - offset) != nullptr;
}

// The word at `at`, when it lies inside.
bool word_at(std::span<const uint8_t> bytes, uint32_t at, uint16_t &word) {
    if (at + 2 > bytes.size())
        return false;
    word = get16(bytes.data() + at);
    return true;
}

// Where the environment's offsets start.
uint32_t environment_start(const ExecBlock &block) {
    return kVectorsStart + 2 * (uint32_t{block.argc} + 1);
}

std::vector<std::string> strings_at(const ExecBlock &block, uint32_t at, uint16_t count) {
    std::vector<std::string> list;
    for (uint16_t i = 0; i < count; ++i, at += 2)
        list.emplace_back(reinterpret_cast<const char *>(block.bytes.data()) +
                          get16(block.bytes.data() + at));
    return list;
}

} // namespace

int read_exec_block(std::span<const uint8_t> bytes, ExecBlock &block) {
    uint16_t argc, word;
    if (!word_at(bytes, 0, argc))
        return -EFAULT;
    uint32_t at = kVectorsStart;
    for (uint16_t i = 0; i < argc; ++i, at += 2)
        if (!word_at(bytes, at, word) || !string_inside(bytes, word))
            return -EFAULT;
    if (!word_at(bytes, at, word) || word != 0)
        return -EFAULT;
    uint16_t envc = 0;
    for (at += 2;; at += 2, ++envc) {
        if (!word_at(bytes, at, word))
            return -EFAULT;
        if (word == 0)
            break;
        if (!string_inside(bytes, word))
            return -EFAULT;
    }
    block.bytes.assign(bytes.begin(), bytes.end());
    block.argc = argc;
    block.envc = envc;
    return 0;
}

std::vector<std::string> exec_arguments(const ExecBlock &block) {
    return strings_at(block, kVectorsStart, block.argc);
}

std::vector<std::string> exec_environment(const ExecBlock &block) {
    return strings_at(block, environment_start(block), block.envc);
}

void place_exec_block(const ExecBlock &block, uint8_t *into, uint16_t base) {
    std::memcpy(into, block.bytes.data(), block.bytes.size());
    auto rebase = [&](uint32_t at, uint16_t count) {
        for (uint16_t i = 0; i < count; ++i, at += 2)
            put16(into + at, static_cast<uint16_t>(get16(into + at) + base));
    };
    rebase(kVectorsStart, block.argc);
    rebase(environment_start(block), block.envc);
}

} // namespace taviemu
