// The tavi system-call table, for the translator and its tests.
#pragma once

#include <cstdint>
#include <span>

namespace taviemu {

// A call's arguments, in the registers that carry them.
struct CallArgs {
    uint16_t ds;
    uint16_t bx, cx, dx, di, si;
};

using CallHandler = int (*)(const CallArgs &);

struct CallEntry {
    uint16_t number;
    CallHandler handler;
};

// The calls, sorted by number.
std::span<const CallEntry> tavi_calls();

// execve: a new program in this process; 0 once it is in place.
int call_execve(const CallArgs &args);

} // namespace taviemu
