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

// What a call may change or wait for besides the program's memory and the
// runner's own record of the program: `memory` calls only read the host's
// state, `host` calls change files, descriptors, processes or the runner's
// identity, end or replace the process, or wait.
enum class Reach : uint8_t { memory, host };

struct CallEntry {
    uint16_t number;
    CallHandler handler;
    Reach reach;
};

// The calls, sorted by number.
std::span<const CallEntry> tavi_calls();
// The entry of a call number, or nullptr for a number the system lacks.
const CallEntry *find_tavi_call(uint16_t number);

} // namespace taviemu
