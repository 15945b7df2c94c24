// Keeping decoded instructions, and dropping them when their bytes change.
#include "code_cache.h"

#include "../vm86_engine.h"

#include <memory>

namespace vm86::engine {
namespace {

thread_local std::unique_ptr<CodeCache> current;

void clear_entries(CodeCache &cache) {
    for (CacheEntry &e : cache.entries)
        e.key = 0;
}

} // namespace

CodeCache &cache_for_run(uint8_t *host, uint32_t base, uint32_t size) {
    if (!current || current->host != host || current->base != base || current->size != size) {
        current = std::make_unique<CodeCache>();
        current->host = host;
        current->base = base;
        current->size = size;
        current->entries.assign(cache_entries, CacheEntry{});
        current->code_map.assign(size_t(size) + 1, 0);
    }
    if (++current->epoch == 0) {
        clear_entries(*current);
        current->epoch = 1;
    }
    return *current;
}

const Insn &refill(Cpu &c, uint32_t index) {
    CodeCache &cache = *c.cache;
    bool wrapped = false;
    Insn in = decode(c, c.ip, wrapped);
    if (wrapped) {
        cache.scratch.insn = in;
        return cache.scratch.insn;
    }
    CacheEntry &e = cache.entries[index & cache_mask];
    e.key = cache.key(index);
    e.insn = in;
    for (uint32_t k = 0; k < in.len; ++k)
        cache.code_map[index + k] = 1;
    return e.insn;
}

void invalidate_code(Cpu &c, uint32_t index, uint32_t n) {
    CodeCache &cache = *c.cache;
    for (uint32_t j = index; j < index + n; ++j) {
        uint32_t first = j >= longest_insn - 1 ? j - (longest_insn - 1) : 0;
        for (uint32_t k = first; k <= j; ++k) {
            CacheEntry &e = cache.entries[k & cache_mask];
            if (uint32_t(e.key) == k && k + e.insn.len > j)
                e.key = 0;
        }
    }
}

} // namespace vm86::engine

namespace vm86 {

void reset_code_cache() {
    engine::current.reset();
}

} // namespace vm86
