// Conversions between the volume command's words, device levels and the
// 32-bit mixer value.
#include "volume_level.h"

#include "decimal_byte.h"

namespace sonarel {

std::string_view without_percent(std::string_view word) {
    if (!word.empty() && word.back() == '%')
        word.remove_suffix(1);
    return word;
}

std::uint8_t getvolume(std::string_view word) {
    const bool percentage = !word.empty() && word.back() == '%';
    const unsigned v = decimal_low_byte(without_percent(word));
    if (v == 0)
        return 0;
    if (percentage)
        return static_cast<std::uint8_t>(v * (highest_level - lowest_level) / 100 + lowest_level);
    if (v > highest_level)
        return highest_level;
    if (v < lowest_level)
        return lowest_level;
    return static_cast<std::uint8_t>(v);
}

void setvolume(unsigned mask, unsigned level, std::uint32_t &value) {
    if (level < lowest_level)
        level = lowest_level;
    if (level > highest_level)
        level = highest_level;
    if (mask & right_channel)
        value = (value & ~0x0000ff00U) | (level << 8);
    if (mask & left_channel)
        value = (value & ~0x000000ffU) | level;
}

int level_percent(std::uint8_t level) {
    return (100 * static_cast<int>(level) - 100 * static_cast<int>(lowest_level)) /
           static_cast<int>(highest_level - lowest_level);
}

} // namespace sonarel
