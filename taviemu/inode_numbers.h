// The program's inode numbers. A file's inode number reaches a 16-bit
// program as a word, while the host's run to 64 bits; the library's getcwd
// and ttyname find a file by comparing the device and inode numbers that
// stat gives, so two files must never share one. Each file keeps the
// number that folding its inode number gives (the same in every runner),
// unless another file this runner has seen holds that number already: it
// then gets the next free one, and keeps it for the rest of the run.
#pragma once

#include <bitset>
#include <cstdint>
#include <map>
#include <utility>

namespace taviemu {

// The numbers one run has given out.
class InodeNumbers {
  public:
    // The number for inode `ino` on host device `dev`. Numbers run from 1
    // to 0xFFFF; once every one is given, the fold alone.
    uint16_t number(uint64_t dev, uint64_t ino);

  private:
    static constexpr uint32_t kNumbers = 0x10000; // word values; 0 is never given
    std::map<std::pair<uint64_t, uint64_t>, uint16_t> given_;
    std::bitset<kNumbers> taken_;
};

// The inode number the program sees, from the run's own table.
uint16_t inode_number(uint64_t dev, uint64_t ino);

} // namespace taviemu
