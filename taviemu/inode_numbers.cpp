// The table of the program's inode numbers.
#include "inode_numbers.h"

#include <bitset>
#include <map>
#include <utility>

namespace taviemu {

namespace {

constexpr uint32_t kNumbers = 0x10000; // word values; 0 is never given

std::map<std::pair<uint64_t, uint64_t>, uint16_t> given;
std::bitset<kNumbers> taken;

} // namespace

uint16_t fold_inode(uint64_t ino) {
    uint16_t folded = 0;
    for (; ino != 0; ino >>= 16)
        folded ^= static_cast<uint16_t>(ino);
    return folded;
}

uint16_t inode_number(uint64_t dev, uint64_t ino) {
    auto key = std::make_pair(dev, ino);
    if (auto it = given.find(key); it != given.end())
        return it->second;
    uint16_t folded = fold_inode(ino);
    if (given.size() >= kNumbers - 1)
        return folded;
    uint32_t number = folded == 0 ? 1 : folded;
    while (taken[number])
        number = number % (kNumbers - 1) + 1;
    taken[number] = true;
    given.emplace(key, static_cast<uint16_t>(number));
    return static_cast<uint16_t>(number);
}

} // namespace taviemu
