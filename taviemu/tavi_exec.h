// execve of the 16-bit program, for both translators.
#pragma once

#include <cstdint>
#include <span>

namespace taviemu {

// Runs the file `name` in place of the program with the argument block
// `block` (exec_block.h): 0 once another tavi executable has replaced the
// program (which then starts with the block as its stack and nothing of
// the old one), or -errno with the program as it was. A file of another
// kind goes to the host's execve, which returns only when it failed.
int exec_program(const char *name, std::span<const uint8_t> block);

} // namespace taviemu
