// The decoded-instruction cache: instructions are decoded once and kept by
// their position in the caller's memory. Writes into bytes that hold cached
// instructions drop those entries; a new run() starts a new epoch, so that
// whatever the caller wrote into the memory between runs is decoded afresh.
#pragma once

#include "decode.h"

#include <cstdint>
#include <vector>

namespace vm86::engine {

struct CacheEntry {
    uint64_t key; // epoch << 32 | memory index of the first byte; 0: empty
    Insn insn;
};

// Entries in the direct-mapped table (a power of two).
constexpr uint32_t cache_entries = 1u << 16;
constexpr uint32_t cache_mask = cache_entries - 1;
// No instruction is longer than this; an entry can reach this far back.
constexpr uint32_t longest_insn = 16;

struct CodeCache {
    uint8_t *host = nullptr;
    uint32_t base = 0, size = 0;
    uint32_t epoch = 0;
    std::vector<CacheEntry> entries;
    std::vector<uint8_t> code_map; // one byte per memory byte: 1 if cached code lies there
    CacheEntry scratch{};          // for an instruction that may not be cached

    uint64_t key(uint32_t index) const { return uint64_t(epoch) << 32 | index; }
};

// The cache for `host`/`base`/`size`, made empty when the memory differs
// from the last one used on this thread, and moved to a new epoch.
CodeCache &cache_for_run(uint8_t *host, uint32_t base, uint32_t size);

// Decodes the instruction at CS:IP into its cache entry.
const Insn &refill(Cpu &c, uint32_t index);

// The decoded instruction at CS:IP.
VM86_HOT const Insn &fetch_insn(Cpu &c) {
    uint32_t index = c.sbase[CS] + c.ip - c.base;
    CacheEntry &e = c.entries[index & cache_mask];
    if (e.key == (c.epoch_key | index)) [[likely]]
        return e.insn;
    return refill(c, index);
}

} // namespace vm86::engine
