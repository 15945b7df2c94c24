// The argument block of the tavi system's execve. The library lays it out
// exactly as the new program's initial stack, with string positions
// relative to the block's start:
//   +0  argc
//   +2  argc string offsets, a 0 word, the environment's offsets, a 0 word
//   then the strings, each with its NUL.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace taviemu {

struct ExecBlock {
    std::vector<uint8_t> bytes; // the block as the program built it
    uint16_t argc = 0, envc = 0;
};

// Checks the block and copies it: 0, or -EFAULT when a word or a string it
// names does not lie inside it (including an argument vector without its 0
// word after argc offsets, or an argument offset of 0).
int read_exec_block(std::span<const uint8_t> bytes, ExecBlock &block);
// The argument strings and the environment strings.
std::vector<std::string> exec_arguments(const ExecBlock &block);
std::vector<std::string> exec_environment(const ExecBlock &block);
// Copies the block to `into`, the new stack at offset `base` of its
// segment, with `base` added to every string offset.
void place_exec_block(const ExecBlock &block, uint8_t *into, uint16_t base);

} // namespace taviemu
