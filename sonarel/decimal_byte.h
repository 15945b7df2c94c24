// The low eight bits of a decimal number written in a command word.
#pragma once

#include <cstdint>
#include <string_view>

namespace sonarel {

// Reads text the way atoi does (leading white space, an optional sign, then
// digits up to the first other character; no digits reads as 0) and gives the
// low eight bits of that number in two's complement: 256 gives 0, 300 gives
// 44, -5 gives 251. Numbers of any length give the low bits of their exact
// value, the same on every word size.
std::uint8_t decimal_low_byte(std::string_view text);

} // namespace sonarel
