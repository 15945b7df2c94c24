// Mixer levels: the words of the volume command turned into device levels,
// the levels stored in the mixer value, and levels reported as percentages.
#pragma once

#include <cstdint>
#include <string_view>

namespace sonarel {

// The command only uses device levels from 5 to 95.
constexpr unsigned lowest_level = 5;
constexpr unsigned highest_level = 95;

// Channel masks for setvolume.
constexpr unsigned right_channel = 1;
constexpr unsigned left_channel = 2;
constexpr unsigned both_channels = right_channel | left_channel;

// The word without a trailing '%'.
std::string_view without_percent(std::string_view word);

// The device level a word names: a decimal number is a level, a decimal
// number followed by '%' a percentage mapped onto 5..95. Gives 0 when the
// number, reduced to its low byte, is 0.
std::uint8_t getvolume(std::string_view word);

// Stores level, held within 5..95, in the right byte (bit 0 of mask, byte 1
// of value) and/or the left byte (bit 1 of mask, byte 0 of value). Bytes 2
// and 3 stay as they are.
void setvolume(unsigned mask, unsigned level, std::uint32_t &value);

// A device level as the percentage the command reports; levels outside 5..95
// give percentages outside 0..100.
int level_percent(std::uint8_t level);

} // namespace sonarel
