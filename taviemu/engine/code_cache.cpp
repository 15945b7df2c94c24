// Keeping decoded blocks, and dropping them when their bytes change.
#include "code_cache.h"

#include "../vm86_engine.h"

#include <cstring>
#include <memory>

namespace vm86::engine {
namespace {

thread_local std::unique_ptr<CodeCache> current;

// Whether a block ends after this operation: it always transfers control,
// leaves the run loop, or cannot complete. A block goes on past conditional
// jumps and loops, whose handlers leave it only when the jump is taken.
bool ends_block(uint16_t op) {
    switch (op) {
    case 0x9A:          // far call
    case 0xC2 ... 0xC3: // returns
    case 0xCA ... 0xCF: // far returns, interrupts, IRET
    case 0xE4 ... 0xEF: // calls, jumps, I/O
    case 0x6C ... 0x6F: // string I/O
    case 0xF4:          // HLT
    case G_FF + 2 ... G_FF + 5:
    case OP_INVALID:
    case OP_TOO_LONG:
        return true;
    default:
        return false;
    }
}

void end_with_marker(Block &b) {
    Insn &marker = b.insns[b.count];
    marker = Insn{};
    marker.op = OP_BLOCK_END;
}

} // namespace

CodeCache &cache_for_run(uint8_t *host, uint32_t base, uint32_t size) {
    if (!current || current->host != host || current->base != base || current->size != size) {
        current = std::make_unique<CodeCache>();
        current->host = host;
        current->base = base;
        current->size = size;
        current->blocks.assign(block_slots, Block{});
        current->sources.assign(size_t(block_slots) * block_code_bytes, 0);
        current->code_map.assign(size_t(size) + 1, 0);
        current->block_start.assign(size_t(size) + 1, 0);
    }
    new_epoch(*current);
    return *current;
}

void new_epoch(CodeCache &cache) {
    if (++cache.epoch == 0) {
        for (Block &b : cache.blocks)
            b.key = 0;
        cache.epoch = 1;
    }
}

// Whether `b`, decoded in an earlier epoch from the code at `index`, can
// serve as it is: its bytes are still those it was decoded from.
bool still_valid(const CodeCache &cache, const Block &b, uint16_t ip, uint32_t index) {
    if ((b.key >> 32) == 0 || uint32_t(b.key) != index || ip + b.bytes > 0x10000)
        return false;
    const uint8_t *source = cache.sources.data() + size_t(block_slot(index)) * block_code_bytes;
    return std::memcmp(cache.host + index, source, b.bytes) == 0;
}

const Block &build_block(Cpu &c, uint16_t ip, uint32_t index, uint64_t room) {
    CodeCache &cache = *c.cache;
    // Near the end of the budget the block is cut short and not kept.
    bool keep = room >= block_insns;
    unsigned most = keep ? block_insns : unsigned(room);
    Block &b = keep ? cache.blocks[block_slot(index)] : cache.scratch;
    if (keep && still_valid(cache, b, ip, index)) {
        std::memset(cache.code_map.data() + index, 1, b.bytes);
        cache.block_start[index] = 1;
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
            cache.scratch.insns[0] = in;
            end_with_marker(cache.scratch);
            return cache.scratch;
        }
        b.insns[b.count++] = in;
        bytes += in.len;
        if (ends_block(in.op) || ip + bytes >= 0x10000 || bytes + 16 > block_code_bytes)
            break; // (no instruction is longer than 16 bytes)
    }
    std::memset(cache.code_map.data() + index, 1, bytes);
    b.bytes = uint16_t(bytes);
    end_with_marker(b);
    if (keep) {
        std::memcpy(cache.sources.data() + size_t(block_slot(index)) * block_code_bytes,
                    cache.host + index, bytes);
        cache.block_start[index] = 1;
        b.key = cache.key(index);
    }
    return b;
}

const Block &single_instruction(Cpu &c, const Block &b) {
    Block &s = c.cache->scratch;
    s.count = 1;
    s.bytes = b.insns[0].len;
    s.insns[0] = b.insns[0];
    end_with_marker(s);
    return s;
}

// A block that covers a written byte starts at most block_code_bytes
// before it, and every byte from its start on is marked: the search goes
// back from the last written byte to the first byte not marked.
void code_overwritten(Cpu &c, uint32_t i, uint32_t n) {
    CodeCache &cache = *c.cache;
    const uint8_t *marked = cache.code_map.data();
    uint32_t last = i + n - 1;
    uint32_t lowest = last >= block_code_bytes ? last - (block_code_bytes - 1) : 0;
    for (uint32_t start = last + 1; start-- > lowest;) {
        if (!marked[start] && start < i)
            break;
        if (!cache.block_start[start])
            continue;
        Block &b = cache.blocks[block_slot(start)];
        if (b.key == cache.key(start) && start + b.bytes > i)
            b.key = 0;
    }
    // The running block may be among them, or be one that is not kept.
    c.code_changed = true;
}

} // namespace vm86::engine

namespace vm86 {

void reset_code_cache() {
    engine::current.reset();
}

} // namespace vm86
