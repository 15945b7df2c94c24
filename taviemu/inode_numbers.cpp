// The table of the program's inode numbers.
#include "inode_numbers.h"

namespace taviemu {

namespace {

// The 16-bit pieces of an inode number XOR-ed together.
uint16_t fold_inode(uint64_t ino) {
    uint16_t folded = 0;
    for (; ino != 0; ino >>= 16)
        folded ^= static_cast<uint16_t>(ino);
    return folded;
}

} // namespace

uint16_t InodeNumbers::number(uint64_t dev, uint64_t ino) {
    auto key = std::make_pair(dev, ino);
    if (auto it = given_.find(key); it != given_.end())
        return it->second;
    uint16_t folded = fold_inode(ino);
    if (given_.size() >= kNumbers - 1)
        return folded;
    uint32_t number = folded == 0 ? 1 : folded;
    while (taken_[number])
        number = number % (kNumbers - 1) + 1;
    taken_[number] = true;
    given_.emplace(key, static_cast<uint16_t>(number));
    return static_cast<uint16_t>(number);
}

uint16_t inode_number(uint64_t dev, uint64_t ino) {
    static InodeNumbers run;
    return run.number(dev, ino);
}

} // namespace taviemu
