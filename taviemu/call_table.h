// A system-call table: entries sorted by call number, each with its
// handler and how far the call reaches; one of the tavi calls, one of the
// Minix calls.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace taviemu {

// What a call may change or wait for besides the program's memory and the
// runner's own record of the program: `memory` calls only read the host's
// state, `host` calls change files, descriptors, processes or the runner's
// identity, end or replace the process, or wait.
enum class Reach : uint8_t { memory, host };

template <typename Handler> struct TableEntry {
    uint16_t number;
    Handler handler;
    Reach reach;
};

// The entry of `number` in a table sorted by number, or nullptr.
template <typename Entry> const Entry *find_entry(std::span<const Entry> table, uint16_t number) {
    auto found = std::lower_bound(table.begin(), table.end(), number,
                                  [](const Entry &e, uint16_t n) { return e.number < n; });
    return found == table.end() || found->number != number ? nullptr : &*found;
}

} // namespace taviemu
