// The tavi system-call table, for the translator and its tests.
#pragma once

#include "call_table.h"

#include <cstdint>
#include <span>

namespace taviemu {

// A call's arguments, in the registers that carry them.
struct CallArgs {
    uint16_t ds;
    uint16_t bx, cx, dx, di, si;
};

using CallHandler = int (*)(const CallArgs &);

using CallEntry = TableEntry<CallHandler>;

// The calls, sorted by number.
std::span<const CallEntry> tavi_calls();
// The entry of a call number, or nullptr for a number the system lacks.
const CallEntry *find_tavi_call(uint16_t number);

} // namespace taviemu
