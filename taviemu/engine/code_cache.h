// The decoded-code cache. Straight-line runs of instructions ("blocks") are
// decoded once and kept by the position of their first byte in the caller's
// memory; each block ends with a marker that sends the run loop back here.
//
// Staying right: the instruction that writes into bytes holding cached
// code completes as it was decoded; then the instructions decoded from
// those bytes are decoded again where they stand, or, when one of them no
// longer fits its block, the block is dropped and decoded anew when next
// run. A new run() (the caller may have written into the memory in
// between) moves the cache to a new epoch, which every block's key
// carries; a block of an older epoch is used again only after its code
// bytes are found unchanged.
#pragma once

#include "decode.h"

#include <cstddef>
#include <cstdint>

namespace vm86::engine {

// Instructions in a block at most (a block then fills 256 bytes), bytes
// of code it is decoded from at most, and slots in the direct-mapped table.
constexpr unsigned block_insns = 14;
constexpr unsigned block_code_bytes = 64;
constexpr uint32_t block_slots = 1u << 13;

struct alignas(64) Block { // whole cache lines
    uint64_t key = 0;      // epoch << 32 | memory index of the first byte; 0: empty
    uint16_t bytes = 0;    // length of the code it was decoded from
    uint8_t count = 0;     // instructions, not counting the end marker
    Insn insns[block_insns + 1];
};

static_assert(sizeof(Block) == 256);

// Folding the upper bits in keeps blocks a multiple of 8 KiB apart from
// sharing a slot.
VM86_HOT uint32_t block_slot(uint32_t index) {
    return (index ^ (index >> 13)) & (block_slots - 1);
}

// The tables live in one anonymous mapping, which the kernel fills with
// zero pages only as they are first touched, and every table starts as
// zeros: a cache takes memory as code is decoded, whatever the size of the
// memory it serves, and a forked child shares the parent's pages until one
// of them writes. Slots are blocks themselves, so that the run loop finds
// a block with no load of its own before it.
struct CodeCache {
    uint8_t *host = nullptr;
    uint32_t base = 0, size = 0;
    uint32_t epoch = 0;
    Block *blocks = nullptr; // block_slots of them, by block_slot()
    // The code bytes each slot's block was decoded from (block_code_bytes
    // per slot): in a new epoch a block whose bytes are unchanged is kept.
    uint8_t *sources = nullptr;
    // One byte per memory byte: 1 if cached code may lie there. Bytes stay
    // marked when their blocks are dropped: a mark only costs a search.
    uint8_t *code_map = nullptr;
    uint64_t *block_starts = nullptr; // one bit per memory byte: a kept block starts there
    Block scratch;                    // a block that may not be kept (see build_block)
    uint32_t scratch_index = 0;       // the memory index it was decoded from

    // Maps the tables for a memory of `size` bytes; std::bad_alloc when
    // the system has no room.
    CodeCache(uint8_t *host_bytes, uint32_t memory_base, uint32_t memory_size);
    ~CodeCache();
    CodeCache(const CodeCache &) = delete;
    CodeCache &operator=(const CodeCache &) = delete;

    uint64_t key(uint32_t index) const { return uint64_t(epoch) << 32 | index; }
    void mark_start(uint32_t index) { block_starts[index >> 6] |= uint64_t(1) << (index & 63); }
    uint8_t *source_of(uint32_t index) const {
        return sources + size_t(block_slot(index)) * block_code_bytes;
    }
    // Makes every table zero again, the pages given back to the kernel.
    void empty();

  private:
    void *mapping_ = nullptr;
    size_t mapping_bytes_ = 0;
};

// The cache for `host`/`base`/`size`, made empty when the memory differs
// from the last one used on this thread, and moved to a new epoch.
CodeCache &cache_for_run(uint8_t *host, uint32_t base, uint32_t size);

// Moves the cache to a new epoch: every block is decoded again when next used.
void new_epoch(CodeCache &cache);

// Decodes the block at CS:ip (memory index `index`) into its slot. Returns
// a block of its own, not kept, for code that must not be kept (an
// instruction that wraps past the end of the code segment) and when only
// `room` < block_insns instructions remain in the budget (at least one).
const Block &build_block(Cpu &c, uint16_t ip, uint32_t index, uint64_t room);

// A block of the first instruction of `b` alone, for when the instruction
// budget ends inside `b`.
const Block &single_instruction(Cpu &c, const Block &b);

// Brings the blocks up to date with the writes into code that
// code_overwritten() has noted since the last call. True when `running`,
// the block entered at memory index `index`, may go on as it stands.
bool code_written(Cpu &c, const Block *running, uint32_t index);

} // namespace vm86::engine
