// Keeping decoded blocks, and dropping them when their bytes change.
#include "code_cache.h"

#include "opcode_table.h"
#include "vm86_engine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <sys/mman.h>

namespace vm86::engine {
namespace {

thread_local std::unique_ptr<CodeCache> current;

void end_with_marker(Block &b) {
    Insn &marker = b.insns[b.count];
    marker = Insn{};
    marker.op = OP_BLOCK_END;
}

// Where a table that follows `bytes` at `offset` starts: on the next cache
// line.
size_t next_line(size_t offset, size_t bytes) {
    return (offset + bytes + 63) & ~size_t(63);
}

} // namespace

CodeCache::CodeCache(uint8_t *host_bytes, uint32_t memory_base, uint32_t memory_size)
    : host(host_bytes), base(memory_base), size(memory_size) {
    // The tables' places in the mapping, each on a cache line of its own.
    size_t blocks_at = 0;
    size_t sources_at = next_line(blocks_at, size_t(block_slots) * sizeof(Block));
    size_t starts_at = next_line(sources_at, size_t(block_slots) * block_code_bytes);
    size_t map_at = next_line(starts_at, (size_t(size) / 64 + 1) * sizeof(uint64_t));
    mapping_bytes_ = next_line(map_at, size_t(size) + 1);
    void *m =
        mmap(nullptr, mapping_bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        throw std::bad_alloc();
    mapping_ = m;
    uint8_t *at = static_cast<uint8_t *>(m);
    blocks = reinterpret_cast<Block *>(at + blocks_at);
    sources = at + sources_at;
    block_starts = reinterpret_cast<uint64_t *>(at + starts_at);
    code_map = at + map_at;
}

CodeCache::~CodeCache() {
    munmap(mapping_, mapping_bytes_);
}

void CodeCache::empty() {
    if (madvise(mapping_, mapping_bytes_, MADV_DONTNEED) != 0)
        std::memset(mapping_, 0, mapping_bytes_);
}

CodeCache &cache_for_run(uint8_t *host, uint32_t base, uint32_t size) {
    if (!current || current->host != host || current->base != base || current->size != size) {
        current.reset(); // its pages go back before the new ones are taken
        current = std::make_unique<CodeCache>(host, base, size);
    }
    new_epoch(*current);
    return *current;
}

// Epoch 0 marks empty blocks: when the count comes round to it, the cache
// starts again from nothing.
void new_epoch(CodeCache &cache) {
    if (++cache.epoch == 0) {
        cache.empty();
        cache.epoch = 1;
    }
}

// Whether `b`, decoded in an earlier epoch from the code at `index`, can
// serve as it is: its bytes are still those it was decoded from.
bool still_valid(const CodeCache &cache, const Block &b, uint16_t ip, uint32_t index) {
    if ((b.key >> 32) == 0 || uint32_t(b.key) != index || ip + b.bytes > 0x10000)
        return false;
    return std::memcmp(cache.host + index, cache.source_of(index), b.bytes) == 0;
}

const Block &build_block(Cpu &c, uint16_t ip, uint32_t index, uint64_t room) {
    CodeCache &cache = *c.cache;
    // Near the end of the budget the block is cut short and not kept.
    bool keep = room >= block_insns;
    unsigned most = keep ? block_insns : unsigned(room);
    Block &b = keep ? cache.blocks[block_slot(index)] : cache.scratch;
    if (!keep)
        cache.scratch_index = index;
    if (keep && still_valid(cache, b, ip, index)) {
        // Its bytes and its start are marked still: marks are never taken
        // back, so a forked child that runs its parent's code copies no
        // page of them.
        b.key = cache.key(index);
        return b;
    }
    b.key = 0;
    b.count = 0;
    uint32_t bytes = 0;
    while (b.count < most) {
        bool wrapped = false;
        Insn in;
        if (b.count == 0) {
            in = decode(c, ip, wrapped); // a fetch fault here is the program's
        } else {
            try {
                in = decode(c, uint16_t(ip + bytes), wrapped);
            } catch (const Trap &) {
                break; // the instruction after this block cannot be fetched: it faults when reached
            }
        }
        if (wrapped) {
            if (b.count > 0)
                break;
            // An instruction that wraps past offset FFFF: its bytes are not
            // contiguous in memory, so it runs from a block that is not kept.
            cache.scratch.count = 1;
            cache.scratch.bytes = in.len;
            cache.scratch_index = index;
            cache.scratch.insns[0] = in;
            end_with_marker(cache.scratch);
            return cache.scratch;
        }
        b.insns[b.count++] = in;
        bytes += in.len;
        if (ends_block(in.op) || ip + bytes >= 0x10000 || bytes + 16 > block_code_bytes)
            break; // (no instruction is longer than 16 bytes)
    }
    std::memset(cache.code_map + index, 1, bytes);
    b.bytes = uint16_t(bytes);
    end_with_marker(b);
    if (keep) {
        std::memcpy(cache.source_of(index), cache.host + index, bytes);
        cache.mark_start(index);
        b.key = cache.key(index);
    }
    return b;
}

const Block &single_instruction(Cpu &c, const Block &b) {
    Block &s = c.cache->scratch;
    if (&b != &s)
        c.cache->scratch_index = uint32_t(b.key);
    s.count = 1;
    s.bytes = b.insns[0].len;
    s.insns[0] = b.insns[0];
    end_with_marker(s);
    return s;
}

void code_overwritten(Cpu &c, uint32_t i, uint32_t n) {
    if (!c.code_changed) {
        c.written_from = i;
        c.written_to = i + n;
        c.code_changed = true;
        return;
    }
    c.written_from = std::min(c.written_from, i);
    c.written_to = std::max(c.written_to, i + n);
}

namespace {

// Decodes again, where they stand, the instructions of `b` (decoded from
// memory index `start`) that have bytes in [from, to). False when one of
// them changes its length or whether it ends the block, or can no longer
// be fetched: the block must then be decoded anew.
bool decode_again(Cpu &c, Block &b, uint32_t start, uint32_t from, uint32_t to) {
    uint32_t at = start;
    for (unsigned k = 0; k < b.count; ++k) {
        Insn &old = b.insns[k];
        uint32_t end = at + old.len;
        if (end > from && at < to) {
            Insn in;
            try {
                in = decode_at(c, c.base + at);
            } catch (const Trap &) {
                return false;
            }
            if (in.len != old.len || ends_block(in.op) != ends_block(old.op))
                return false;
            old = in;
        }
        at = end;
    }
    return true;
}

// Brings one block up to date with the writes into [from, to), if they
// touch it.
void update_block(Cpu &c, uint32_t start, uint32_t from, uint32_t to) {
    CodeCache &cache = *c.cache;
    Block &b = cache.blocks[block_slot(start)];
    if (b.key != cache.key(start) || start + b.bytes <= from)
        return;
    if (decode_again(c, b, start, from, to))
        std::memcpy(cache.source_of(start), cache.host + start, b.bytes);
    else
        b.key = 0;
}

} // namespace

// A block that covers a written byte starts at most block_code_bytes
// before it: the kept blocks that start from there to the last written
// byte are the ones to look at.
bool code_written(Cpu &c, const Block *running, uint32_t index) {
    CodeCache &cache = *c.cache;
    c.code_changed = false;
    uint32_t from = c.written_from, to = c.written_to;
    uint32_t lowest = from >= block_code_bytes ? from - (block_code_bytes - 1) : 0;
    for (uint32_t word = lowest >> 6; word <= (to - 1) >> 6; ++word) {
        uint64_t bits = cache.block_starts[word];
        while (bits) {
            uint32_t start = word << 6 | uint32_t(__builtin_ctzll(bits));
            bits &= bits - 1;
            if (start >= lowest && start < to)
                update_block(c, start, from, to);
        }
    }
    if (running == &cache.scratch) // not kept, so not decoded again
        return cache.scratch_index >= to || cache.scratch_index + cache.scratch.bytes <= from;
    return running != nullptr && running->key == cache.key(index);
}

} // namespace vm86::engine

namespace vm86 {

void reset_code_cache() {
    engine::current.reset();
}

} // namespace vm86
