// The engine's processor state and the small helpers every instruction family
// uses: register access, bounds-checked memory access and lazily computed
// arithmetic flags.
#pragma once

#include <array>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "byte registers assume a little-endian host");

namespace vm86::engine {

// FLAGS bits.
constexpr uint16_t CF = 0x0001;
constexpr uint16_t PF = 0x0004;
constexpr uint16_t AF = 0x0010;
constexpr uint16_t ZF = 0x0040;
constexpr uint16_t SF = 0x0080;
constexpr uint16_t TF = 0x0100;
constexpr uint16_t IF = 0x0200;
constexpr uint16_t DF = 0x0400;
constexpr uint16_t OF = 0x0800;
constexpr uint16_t ARITH = CF | PF | AF | ZF | SF | OF;
// Bit 1 always reads as 1; bits 3, 5 and 12 to 15 read as 0 in real mode.
constexpr uint16_t FIXED_ONE = 0x0002;
// What POPF and IRET may change.
constexpr uint16_t POPPABLE = ARITH | TF | IF | DF;
// IOPL 3, as the vm86 entry presents FLAGS to the program.
constexpr uint16_t IOPL_BITS = 0x3000;

// Word registers in ModRM encoding order; slot ZERO always holds 0 so that
// an effective address is always base + index + displacement.
enum Reg : uint8_t { AX, CX, DX, BX, SP, BP, SI, DI, ZERO };
// Segment registers in ModRM encoding order.
enum Seg : uint8_t { ES, CS, SS, DS };

// Why an instruction could not complete. Thrown from deep inside an
// instruction and caught by the run loop, which rewinds IP to the start of
// the instruction.
struct Trap {
    enum Kind : uint8_t { exception, outside_memory } kind;
    uint8_t vector;  // for exceptions
    uint32_t linear; // for accesses outside the memory
};

[[noreturn]] void raise_exception(uint8_t vector);
[[noreturn]] void raise_outside(uint32_t linear);

// Which operation last set the arithmetic flags, so that they can be
// computed only when something reads them.
// LZ_SZP: SF, ZF and PF follow from the result, CF, OF and AF are the bits
// kept in `b` (shifts, rotates and multiplications set them so).
enum LazyOp : uint8_t { LZ_NONE, LZ_ADD, LZ_SUB, LZ_LOGIC, LZ_INC, LZ_DEC, LZ_SZP };

// Small helpers of the hot loop, inlined even where the compiler would not.
#define VM86_HOT [[gnu::always_inline]] inline

struct CodeCache;

struct Cpu {
    uint16_t r[9];        // AX CX DX BX SP BP SI DI, then the constant 0
    uint16_t sreg[4];     // ES CS SS DS
    uint32_t sbase[4];    // sreg * 16
    uint16_t ip;          // where the program stands when the run loop is left
    uint16_t flags;       // materialised FLAGS; arithmetic bits valid when op is LZ_NONE
    uint8_t op = LZ_NONE; // lazy flag state
    uint8_t top = 15;     // index of the sign bit of the last result
    uint32_t res = 0, a = 0, b = 0;

    uint8_t *host = nullptr; // memory: linear `base` is host[0]
    uint32_t base = 0, size = 0;
    uint8_t *code_map = nullptr; // bytes holding decoded instructions
    CodeCache *cache = nullptr;
    bool code_changed = false; // writes have hit cached code: [written_from, written_to)
    uint32_t written_from = 0, written_to = 0; // memory indexes
    const uint8_t *int_revectored = nullptr;   // 256 bits
    const uint8_t *int21_revectored = nullptr; // 256 bits, by AH
    bool real_mode_flags = false;
    bool interrupt_entered = false; // set by every interrupt entry (which clears TF)
    uint64_t executed = 0; // instructions completed in this run (kept up to date on leaving)

    void set_seg(unsigned s, uint16_t v) {
        sreg[s] = v;
        sbase[s] = uint32_t(v) << 4;
    }
};

// ---- registers ----

VM86_HOT uint8_t &reg8(Cpu &c, unsigned n) {
    return reinterpret_cast<uint8_t *>(c.r)[(n & 3) * 2 + (n >> 2)];
}

template <bool W> VM86_HOT uint16_t get_reg(Cpu &c, unsigned n) {
    if constexpr (W)
        return c.r[n];
    else
        return reg8(c, n);
}

template <bool W> VM86_HOT void set_reg(Cpu &c, unsigned n, uint16_t v) {
    if constexpr (W)
        c.r[n] = v;
    else
        reg8(c, n) = uint8_t(v);
}

// ---- memory ----

// Called when a write is about to change `n` bytes at memory index `i`,
// some of which hold decoded code: notes them for code_written(), which
// the run loop calls once the writing instruction has completed.
void code_overwritten(Cpu &c, uint32_t i, uint32_t n);

// Host address of `n` bytes at linear address `lin`, or a trap when any of
// them lies outside the caller's memory.
VM86_HOT uint8_t *host_at(Cpu &c, uint32_t lin, uint32_t n) {
    uint32_t i = lin - c.base;
    if (i >= c.size || c.size - i < n) [[unlikely]]
        raise_outside(lin);
    return c.host + i;
}

VM86_HOT uint8_t read8(Cpu &c, unsigned seg, uint16_t off) {
    return *host_at(c, c.sbase[seg] + off, 1);
}

VM86_HOT uint16_t read16(Cpu &c, unsigned seg, uint16_t off) {
    if (off == 0xFFFF) [[unlikely]]
        raise_exception(13); // a word may not run past the end of its segment
    const uint8_t *p = host_at(c, c.sbase[seg] + off, 2);
    return uint16_t(p[0] | p[1] << 8);
}

VM86_HOT void write8(Cpu &c, unsigned seg, uint16_t off, uint8_t v) {
    uint8_t *p = host_at(c, c.sbase[seg] + off, 1);
    uint32_t i = uint32_t(p - c.host);
    if (c.code_map[i]) [[unlikely]]
        code_overwritten(c, i, 1);
    *p = v;
}

VM86_HOT void write16(Cpu &c, unsigned seg, uint16_t off, uint16_t v) {
    if (off == 0xFFFF) [[unlikely]]
        raise_exception(13);
    uint8_t *p = host_at(c, c.sbase[seg] + off, 2);
    uint32_t i = uint32_t(p - c.host);
    if (c.code_map[i] | c.code_map[i + 1]) [[unlikely]]
        code_overwritten(c, i, 2);
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

template <bool W> VM86_HOT uint16_t read_mem(Cpu &c, unsigned seg, uint16_t off) {
    if constexpr (W)
        return read16(c, seg, off);
    else
        return read8(c, seg, off);
}

template <bool W> VM86_HOT void write_mem(Cpu &c, unsigned seg, uint16_t off, uint16_t v) {
    if constexpr (W)
        write16(c, seg, off, v);
    else
        write8(c, seg, off, uint8_t(v));
}

// ---- flags ----

constexpr std::array<uint8_t, 256> make_parity() {
    std::array<uint8_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned bits = 0;
        for (unsigned v = i; v; v >>= 1)
            bits += v & 1;
        t[i] = (bits & 1) ? 0 : PF;
    }
    return t;
}
inline constexpr std::array<uint8_t, 256> parity_flag = make_parity();

template <bool W> constexpr uint8_t sign_bit() {
    return W ? 15 : 7;
}
template <bool W> constexpr uint32_t width_mask() {
    return W ? 0xFFFF : 0xFF;
}

template <bool W> VM86_HOT void set_lazy(Cpu &c, uint8_t op, uint32_t a, uint32_t b, uint32_t res) {
    c.op = op;
    c.top = sign_bit<W>();
    c.a = a;
    c.b = b;
    c.res = res;
}

VM86_HOT bool add_overflow(const Cpu &c) {
    return (((c.a ^ c.res) & (c.b ^ c.res)) >> c.top) & 1;
}
VM86_HOT bool sub_overflow(const Cpu &c) {
    return (((c.a ^ c.b) & (c.a ^ c.res)) >> c.top) & 1;
}

// The arithmetic flags of the last lazy operation.
inline uint16_t lazy_arith(const Cpu &c) {
    uint32_t top = c.top;
    uint32_t res = c.res;
    uint32_t mask = (2u << top) - 1;
    uint16_t f = parity_flag[res & 0xFF];
    if ((res & mask) == 0)
        f |= ZF;
    if ((res >> top) & 1)
        f |= SF;
    switch (c.op) {
    case LZ_ADD:
    case LZ_INC:
        if (c.op == LZ_ADD ? (res >> (top + 1)) & 1 : c.flags & CF)
            f |= CF;
        if (add_overflow(c))
            f |= OF;
        f |= (c.a ^ c.b ^ res) & AF;
        break;
    case LZ_SUB:
    case LZ_DEC:
        if (c.op == LZ_SUB ? (res >> (top + 1)) & 1 : c.flags & CF)
            f |= CF;
        if (sub_overflow(c))
            f |= OF;
        f |= (c.a ^ c.b ^ res) & AF;
        break;
    case LZ_SZP:
        f |= c.b & (CF | OF | AF);
        break;
    default:
        break;
    }
    return f;
}

inline uint16_t get_flags(const Cpu &c) {
    if (c.op == LZ_NONE)
        return c.flags;
    return uint16_t((c.flags & ~ARITH) | lazy_arith(c));
}

// Folds the lazy state into `flags` so that single bits can be changed.
inline void materialize(Cpu &c) {
    c.flags = get_flags(c);
    c.op = LZ_NONE;
}

// Replaces the arithmetic flags with `arith`.
inline void set_arith(Cpu &c, uint16_t arith) {
    c.flags = uint16_t((c.flags & ~ARITH) | (arith & ARITH));
    c.op = LZ_NONE;
}

// A logic operation: CF, OF and AF clear, the rest from the result.
template <bool W> VM86_HOT void set_logic(Cpu &c, uint32_t res) {
    c.op = LZ_LOGIC;
    c.top = sign_bit<W>();
    c.res = res;
}

// Sets SF, ZF and PF from `res` and CF, OF and AF as given.
template <bool W> VM86_HOT void set_szp(Cpu &c, uint32_t res, uint16_t cf_of_af) {
    c.op = LZ_SZP;
    c.top = sign_bit<W>();
    c.b = cf_of_af;
    c.res = res;
}

VM86_HOT bool get_cf(const Cpu &c) {
    switch (c.op) {
    case LZ_ADD:
    case LZ_SUB:
        return (c.res >> (c.top + 1)) & 1;
    case LZ_LOGIC:
        return false;
    case LZ_SZP:
        return c.b & CF;
    default:
        return c.flags & CF;
    }
}

VM86_HOT bool get_zf(const Cpu &c) {
    if (c.op == LZ_NONE)
        return c.flags & ZF;
    return (c.res & ((2u << c.top) - 1)) == 0;
}

VM86_HOT bool get_sf(const Cpu &c) {
    if (c.op == LZ_NONE)
        return c.flags & SF;
    return (c.res >> c.top) & 1;
}

VM86_HOT bool get_of(const Cpu &c) {
    switch (c.op) {
    case LZ_ADD:
    case LZ_INC:
        return add_overflow(c);
    case LZ_SUB:
    case LZ_DEC:
        return sub_overflow(c);
    case LZ_LOGIC:
        return false;
    case LZ_SZP:
        return c.b & OF;
    default:
        return c.flags & OF;
    }
}

inline bool get_af(const Cpu &c) {
    switch (c.op) {
    case LZ_NONE:
        return c.flags & AF;
    case LZ_LOGIC:
        return false;
    case LZ_SZP:
        return c.b & AF;
    default:
        return (c.a ^ c.b ^ c.res) & AF;
    }
}

// Replaces CF and OF, keeping the other flags (rotates).
VM86_HOT void set_cf_of(Cpu &c, bool cf, bool of) {
    uint16_t bits = uint16_t((cf ? CF : 0) | (of ? OF : 0));
    if (c.op == LZ_NONE) {
        c.flags = uint16_t((c.flags & ~(CF | OF)) | bits);
        return;
    }
    // SF, ZF and PF still follow from the last result.
    c.b = uint32_t(bits | (get_af(c) ? AF : 0));
    c.op = LZ_SZP;
}

// Condition `cc` of Jcc (the low nibble of opcodes 70 to 7F).
VM86_HOT bool condition(const Cpu &c, unsigned cc) {
    bool t;
    switch (cc >> 1) {
    case 0:
        t = get_of(c);
        break;
    case 1:
        t = get_cf(c);
        break;
    case 2:
        t = get_zf(c);
        break;
    case 3:
        t = get_cf(c) || get_zf(c);
        break;
    case 4:
        t = get_sf(c);
        break;
    case 5:
        t = c.op == LZ_NONE ? c.flags & PF : parity_flag[c.res & 0xFF];
        break;
    case 6:
        t = get_sf(c) != get_of(c);
        break;
    default:
        t = get_zf(c) || get_sf(c) != get_of(c);
        break;
    }
    return t != bool(cc & 1);
}

// Checks the word at seg:off as a later access of the same instruction
// will make it: it faults now, before the instruction has changed
// anything, or not at all.
inline void check_word(Cpu &c, unsigned seg, uint16_t off) {
    if (off == 0xFFFF)
        raise_exception(13);
    host_at(c, c.sbase[seg] + off, 2);
}

// ---- stack ----

// Checks the `words` pushes that an instruction is about to make, so that
// a later one that faults leaves SP and memory as they were.
inline void check_pushes(Cpu &c, unsigned words) {
    for (unsigned k = 1; k <= words; ++k)
        check_word(c, SS, uint16_t(c.r[SP] - 2 * k));
}

VM86_HOT void push16(Cpu &c, uint16_t v) {
    uint16_t sp = uint16_t(c.r[SP] - 2);
    write16(c, SS, sp, v);
    c.r[SP] = sp;
}

VM86_HOT uint16_t pop16(Cpu &c) {
    uint16_t v = read16(c, SS, c.r[SP]);
    c.r[SP] = uint16_t(c.r[SP] + 2);
    return v;
}

// FLAGS as PUSHF and interrupts store them.
inline uint16_t pushed_flags(const Cpu &c) {
    uint16_t f = get_flags(c);
    return c.real_mode_flags ? f : uint16_t(f | IOPL_BITS);
}

// FLAGS as POPF and IRET load them.
inline void load_flags(Cpu &c, uint16_t v) {
    c.flags = uint16_t((v & POPPABLE) | FIXED_ONE);
    c.op = LZ_NONE;
}

} // namespace vm86::engine
