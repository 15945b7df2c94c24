// The run loop: find the decoded block at CS:IP, run its instructions
// through the handlers of the opcode table, and come back to the caller
// when the program needs it.
#include "code_cache.h"
#include "cpu_state.h"
#include "decode.h"
#include "handler.h"
#include "interrupts.h"
#include "opcode_table.h"
#include "vm86_engine.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <iterator>

namespace vm86::engine {

void raise_exception(uint8_t vector) {
    throw Trap{Trap::exception, vector, 0};
}
void raise_outside(uint32_t linear) {
    throw Trap{Trap::outside_memory, 0, linear};
}

namespace {

// A handler called by name, so that it is inlined at its label.
template <Handler F> VM86_HOT int run_handler(Cpu &c, const Insn &in, uint16_t &next) {
    return F(c, in, next);
}

// The operation whose label runs `op`: the first one with the same handler
// and ending, so that operations that share a handler share its code.
constexpr std::array<uint16_t, OP_COUNT> make_label_owners() {
    std::array<uint16_t, OP_COUNT> owner{};
    for (unsigned op = 0; op < OP_COUNT; ++op) {
        owner[op] = uint16_t(op);
        for (unsigned k = 0; k < op; ++k)
            if (operations[k].handler == operations[op].handler &&
                operations[k].ending == operations[op].ending) {
                owner[op] = uint16_t(k);
                break;
            }
    }
    return owner;
}
constexpr std::array<uint16_t, OP_COUNT> label_owner = make_label_owners();

// The steps of the run loop, as macros over the locals of execute(): they
// end in a jump to the next handler, a return or a jump to `lookup`.

// Brings c.ip and c.executed up to date, as whenever control leaves execute().
#define SAVE()                                                                                     \
    do {                                                                                           \
        c.ip = ip;                                                                                 \
        c.executed = executed;                                                                     \
    } while (0)
// Back to the caller with `code`, IP as it stands: at the instruction
// running now, or at the next one to run.
#define LEAVE(code)                                                                                \
    do {                                                                                           \
        SAVE();                                                                                    \
        return code;                                                                               \
    } while (0)
// Back to the caller with `code` after the instruction running now.
#define LEAVE_AFTER(code)                                                                          \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        LEAVE(code);                                                                               \
    } while (0)
// The next instruction of the block, unless a write has just changed code.
#define NEXT()                                                                                     \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        ++insn;                                                                                    \
        if (c.code_changed) [[unlikely]]                                                           \
            goto lookup;                                                                           \
        next = uint16_t(ip + insn->len);                                                           \
        goto *table[insn->op];                                                                     \
    } while (0)
// The same for handlers that never write memory, and so cannot change code.
#define NEXT_READ_ONLY()                                                                           \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        ++insn;                                                                                    \
        next = uint16_t(ip + insn->len);                                                           \
        goto *table[insn->op];                                                                     \
    } while (0)
// Finds (or decodes) the block at CS:ip and jumps to its first handler.
// Every transfer of control has its own copy, so that the jump at its end
// is predicted for that place alone.
#define ENTER_BLOCK()                                                                              \
    do {                                                                                           \
        if (c.code_changed) [[unlikely]]                                                           \
            code_written(c, nullptr, 0);                                                           \
        code_base = c.sbase[CS] - c.base;                                                          \
        ENTER_AT_CODE_BASE();                                                                      \
    } while (0)
// The rest of it, once CS is known not to have changed since: after a
// near transfer of control that wrote no memory.
#define ENTER_AT_CODE_BASE()                                                                       \
    do {                                                                                           \
        if (executed >= limit) [[unlikely]]                                                        \
            LEAVE(VM86_SIGNAL);                                                                    \
        uint32_t index = code_base + ip;                                                           \
        const Block *block = &blocks[block_slot(index)];                                           \
        if (block->key != (epoch_key | index) || ip + block->bytes > 0x10000) [[unlikely]] {       \
            c.ip = ip;                                                                             \
            block = &build_block(c, ip, index, limit - executed);                                  \
        }                                                                                          \
        if (limit - executed < block->count) [[unlikely]]                                          \
            block = &single_instruction(c, *block);                                                \
        current_block = block;                                                                     \
        block_ip = ip;                                                                             \
        insn = block->insns;                                                                       \
        next = uint16_t(ip + insn->len);                                                           \
        goto *table[insn->op];                                                                     \
    } while (0)
// After a near jump, conditional jump or loop: CS and the code are as the
// last block entered found them.
#define JUMP_NEAR()                                                                                \
    do {                                                                                           \
        ip = next;                                                                                 \
        ++executed;                                                                                \
        if (ip == block_ip && limit - executed >= current_block->count) {                          \
            /* back to the start of this block: a loop */                                          \
            insn = current_block->insns;                                                           \
            next = uint16_t(ip + insn->len);                                                       \
            goto *table[insn->op];                                                                 \
        }                                                                                          \
        ENTER_AT_CODE_BASE();                                                                      \
    } while (0)
// What comes after a handler, as the `ending` of its row says (a constant,
// so that each label keeps only its own step).
#define FINISH(ending, result)                                                                     \
    do {                                                                                           \
        if constexpr (ending == END_READ) {                                                        \
            NEXT_READ_ONLY();                                                                      \
        } else if constexpr (ending == END_BRANCH) {                                               \
            if (result == jumped)                                                                  \
                JUMP_NEAR();                                                                       \
            NEXT_READ_ONLY();                                                                      \
        } else if constexpr (ending == END_JUMP) {                                                 \
            JUMP_NEAR();                                                                           \
        } else if constexpr (ending == END_REFUSE) {                                               \
            LEAVE(result);                                                                         \
        } else if constexpr (ending == END_LOOKUP) {                                               \
            ENTER_BLOCK();                                                                         \
        } else { /* END_NEXT, END_TRANSFER, and END_FAULT, whose handler never returns */          \
            if (result != go_on) [[unlikely]]                                                      \
                LEAVE_AFTER(result);                                                               \
            NEXT();                                                                                \
        }                                                                                          \
    } while (0)
// The label of operation `n`: its handler, then its ending. Only the
// label's owner holds code; the labels of the others stay empty, and the
// dispatch table never points at them.
#define OPERATION(n)                                                                               \
    op_##n : if constexpr (label_owner[n] == n) {                                                  \
        [[maybe_unused]] int result = run_handler<operations[n].handler>(c, *insn, next);          \
        FINISH(operations[n].ending, result);                                                      \
    }
#define LABEL_ADDRESS(n) &&op_##n,

// Every operation number, 0x00 to 0x16A, to make one label of each.
// clang-format off
#define SIXTEEN_OPERATIONS(X, high)                                                                \
    X(0x##high##0) X(0x##high##1) X(0x##high##2) X(0x##high##3)                                    \
    X(0x##high##4) X(0x##high##5) X(0x##high##6) X(0x##high##7)                                    \
    X(0x##high##8) X(0x##high##9) X(0x##high##A) X(0x##high##B)                                    \
    X(0x##high##C) X(0x##high##D) X(0x##high##E) X(0x##high##F)
#define EACH_OPERATION(X)                                                                          \
    SIXTEEN_OPERATIONS(X, 0) SIXTEEN_OPERATIONS(X, 1) SIXTEEN_OPERATIONS(X, 2)                     \
    SIXTEEN_OPERATIONS(X, 3) SIXTEEN_OPERATIONS(X, 4) SIXTEEN_OPERATIONS(X, 5)                     \
    SIXTEEN_OPERATIONS(X, 6) SIXTEEN_OPERATIONS(X, 7) SIXTEEN_OPERATIONS(X, 8)                     \
    SIXTEEN_OPERATIONS(X, 9) SIXTEEN_OPERATIONS(X, A) SIXTEEN_OPERATIONS(X, B)                     \
    SIXTEEN_OPERATIONS(X, C) SIXTEEN_OPERATIONS(X, D) SIXTEEN_OPERATIONS(X, E)                     \
    SIXTEEN_OPERATIONS(X, F) SIXTEEN_OPERATIONS(X, 10) SIXTEEN_OPERATIONS(X, 11)                   \
    SIXTEEN_OPERATIONS(X, 12) SIXTEEN_OPERATIONS(X, 13) SIXTEEN_OPERATIONS(X, 14)                  \
    SIXTEEN_OPERATIONS(X, 15)                                                                      \
    X(0x160) X(0x161) X(0x162) X(0x163) X(0x164) X(0x165)                                          \
    X(0x166) X(0x167) X(0x168) X(0x169) X(0x16A)
// clang-format on

// Runs instructions until one needs the caller; returns the vm86 code, or
// step_from_here when POPF or IRET has just set TF. A trap thrown from
// inside leaves c.ip at the start of the instruction.
//
// Dispatch is threaded: every handler has a label of its own, where it is
// inlined and followed by the step to the next instruction of the block, a
// jump straight to that one's label, so that each label's jump is
// predicted on its own. Handlers that transfer control find the next block
// themselves.
int execute(Cpu &c, uint64_t limit) {
    static const void *const labels[] = {EACH_OPERATION(LABEL_ADDRESS)};
    static_assert(std::size(labels) == OP_COUNT, "a label for every operation number");
    // The dispatch table, by operation number: filled on the first run.
    static const std::array<const void *, OP_COUNT> table = [] {
        std::array<const void *, OP_COUNT> t;
        for (unsigned op = 0; op < OP_COUNT; ++op)
            t[op] = labels[label_owner[op]];
        return t;
    }();
    // The hot state lives in locals; c.ip and c.executed are brought up to
    // date whenever control leaves this function, a trap included.
    uint16_t ip = c.ip;
    uint64_t executed = c.executed;
    const Insn *insn;
    uint16_t next;
    Block *const blocks = c.cache->blocks;
    uint64_t epoch_key = c.cache->key(0); // the epoch of this run()
    uint32_t code_base = 0;               // CS * 16 - memory base, as of the last block entered
    // The block running, and the IP it was entered at. It stays right until
    // a write changes code or control passes elsewhere, both of which lead
    // to a lookup.
    const Block *current_block = nullptr;
    uint16_t block_ip = 0;
    try {
        ENTER_BLOCK();
    lookup:
        // An instruction has written into decoded code. The block running
        // goes on with its next instruction when it is still whole.
        if (code_written(c, current_block, code_base + block_ip)) {
            next = uint16_t(ip + insn->len);
            goto *table[insn->op];
        }
        ENTER_BLOCK();
        EACH_OPERATION(OPERATION)
    } catch (const Trap &) {
        SAVE();
        throw;
    }
}

#undef EACH_OPERATION
#undef SIXTEEN_OPERATIONS
#undef LABEL_ADDRESS
#undef OPERATION
#undef FINISH
#undef JUMP_NEAR
#undef ENTER_AT_CODE_BASE
#undef ENTER_BLOCK
#undef NEXT_READ_ONLY
#undef NEXT
#undef LEAVE_AFTER
#undef LEAVE
#undef SAVE

// Runs one instruction that starts with TF set, then takes the debug trap
// that follows it: the caller's VM86_TRAP (the kernel's vm86old entry
// sends SIGTRAP there) or, in the chip's own view, interrupt 1 through the
// vector table, after which the run goes on (step_from_here). An
// instruction that returns to the caller or faults takes no trap, nor one
// that enters an interrupt (which clears TF): the run goes on after it.
int single_step(Cpu &c, uint64_t limit) {
    uint64_t before = c.executed;
    if (before >= limit)
        return VM86_SIGNAL;
    c.interrupt_entered = false;
    int code = execute(c, before + 1);
    if (code == step_from_here)
        code = VM86_SIGNAL;
    if (code != VM86_SIGNAL || c.executed == before)
        return code;
    if (c.interrupt_entered)
        return step_from_here;
    if (!c.real_mode_flags)
        return VM86_TRAP | 1 << 8;
    uint16_t ip;
    if (!enter_interrupt(c, 1, c.ip, &ip))
        return intx(1);
    c.ip = ip;
    return step_from_here;
}

void load_state(Cpu &c, const Record &rec, const Memory &mem, const Options &opt) {
    const Regs &g = rec.regs;
    const uint32_t words[8] = {g.eax, g.ecx, g.edx, g.ebx, g.esp, g.ebp, g.esi, g.edi};
    for (unsigned n = 0; n < 8; ++n)
        c.r[n] = uint16_t(words[n]);
    c.r[ZERO] = 0;
    c.set_seg(ES, g.es);
    c.set_seg(CS, g.cs);
    c.set_seg(SS, g.ss);
    c.set_seg(DS, g.ds);
    c.ip = uint16_t(g.eip);
    c.flags = uint16_t((g.eflags & POPPABLE) | FIXED_ONE);
    c.op = LZ_NONE;
    c.host = mem.host;
    c.base = mem.base;
    // Real mode reaches linear addresses up to FFFF:FFFF = 0x10FFEF; memory
    // beyond that is never touched, and the engine sizes its tables by what
    // can be reached.
    constexpr uint32_t reachable = 0x10FFF0;
    uint32_t room = mem.base < reachable ? reachable - mem.base : 0;
    c.size = mem.host ? std::min(mem.size, room) : 0;
    c.int_revectored = rec.int_revectored;
    c.int21_revectored = rec.int21_revectored;
    c.real_mode_flags = opt.real_mode_flags;
}

uint32_t low_word(uint32_t old, uint16_t v) {
    return (old & 0xFFFF0000u) | v;
}

void store_state(const Cpu &c, Record &rec) {
    Regs &g = rec.regs;
    g.eax = low_word(g.eax, c.r[AX]);
    g.ecx = low_word(g.ecx, c.r[CX]);
    g.edx = low_word(g.edx, c.r[DX]);
    g.ebx = low_word(g.ebx, c.r[BX]);
    g.esp = low_word(g.esp, c.r[SP]);
    g.ebp = low_word(g.ebp, c.r[BP]);
    g.esi = low_word(g.esi, c.r[SI]);
    g.edi = low_word(g.edi, c.r[DI]);
    g.es = c.sreg[ES];
    g.cs = c.sreg[CS];
    g.ss = c.sreg[SS];
    g.ds = c.sreg[DS];
    g.eip = c.ip;
    g.eflags = low_word(g.eflags, get_flags(c));
}

} // namespace
} // namespace vm86::engine

namespace vm86 {

int run(Record &record, const Memory &memory, const Options &options, Fault *fault,
        uint64_t *executed) {
    using namespace engine;
    Cpu c{};
    load_state(c, record, memory, options);
    CodeCache &cache = cache_for_run(c.host, c.base, c.size);
    c.cache = &cache;
    c.code_map = cache.code_map;
    uint64_t limit = options.max_instructions ? options.max_instructions : UINT64_MAX;
    int code = VM86_SIGNAL;
    int pending = -1; // an exception waiting to be entered
    bool exception = false;
    for (;;) {
        try {
            if (pending >= 0) {
                uint8_t vector = uint8_t(pending);
                pending = -1;
                uint16_t ip;
                if (!enter_interrupt(c, vector, c.ip, &ip)) {
                    code = intx(vector);
                    exception = true;
                    break;
                }
                c.ip = ip;
            }
            code = (c.flags & TF) ? single_step(c, limit) : execute(c, limit);
            if (code != step_from_here)
                break;
        } catch (const Trap &t) {
            if (t.kind == Trap::outside_memory) {
                if (fault) {
                    fault->linear = t.linear;
                    fault->cs = c.sreg[CS];
                    fault->ip = c.ip;
                }
                code = -EFAULT;
                break;
            }
            pending = t.vector;
            ++c.executed; // the faulting instruction counts, so a fault loop stays bounded
        }
    }
    store_state(c, record);
    if (fault)
        fault->exception = exception;
    if (executed)
        *executed = c.executed;
    return code;
}

} // namespace vm86
