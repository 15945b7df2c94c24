// Parsing and running the hardware-recorded tests.
#include "cpu_test_case.h"

#include "vm86_engine.h"

#include <charconv>
#include <cstdio>

namespace vm86::conformance {
namespace {

// Instructions a test may run: the one under test, then the HLT.
constexpr uint64_t test_budget = 16;

constexpr const char *reg_names[test_regs] = {"ax", "bx", "cx", "dx", "cs", "ss", "ds",
                                              "es", "sp", "bp", "si", "di", "ip", "flags"};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

template <typename T> bool parse_hex(std::string_view s, T &v) {
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty();
}

// Splits at single blanks, ignoring empty pieces.
std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    while (!s.empty()) {
        size_t n = s.find(' ');
        std::string_view w = s.substr(0, n);
        if (!w.empty())
            out.push_back(w);
        if (n == std::string_view::npos)
            break;
        s.remove_prefix(n + 1);
    }
    return out;
}

bool parse_regs(std::string_view s, uint16_t (&regs)[test_regs]) {
    auto w = words(s);
    if (w.size() != test_regs)
        return false;
    for (unsigned n = 0; n < test_regs; ++n)
        if (!parse_hex(w[n], regs[n]))
            return false;
    return true;
}

bool parse_memory(std::string_view s, std::vector<std::pair<uint32_t, uint8_t>> &mem) {
    for (std::string_view w : words(s)) {
        size_t colon = w.find(':');
        uint32_t addr;
        uint8_t byte;
        if (colon == std::string_view::npos || !parse_hex(w.substr(0, colon), addr) ||
            !parse_hex(w.substr(colon + 1), byte) || addr >= test_memory_size)
            return false;
        mem.emplace_back(addr, byte);
    }
    return true;
}

std::string format(const char *fmt, auto... args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

uint32_t linear(uint16_t seg, uint16_t off) {
    return uint32_t(seg) * 16 + off;
}

} // namespace

bool parse_test(std::string_view line, CpuTest &test) {
    std::vector<std::string_view> f;
    while (true) {
        size_t n = line.find(" | ");
        f.push_back(trim(line.substr(0, n)));
        if (n == std::string_view::npos)
            break;
        line.remove_prefix(n + 3);
    }
    if (f.size() != 10)
        return false;
    auto idx = std::from_chars(f[0].data(), f[0].data() + f[0].size(), test.index);
    if (idx.ec != std::errc())
        return false;
    test.disassembly = std::string(f[1]);
    test.bytes.clear();
    for (size_t i = 0; i + 1 < f[2].size(); i += 2) {
        uint8_t b;
        if (!parse_hex(f[2].substr(i, 2), b))
            return false;
        test.bytes.push_back(b);
    }
    test.memory_before.clear();
    test.memory_after.clear();
    if (!parse_regs(f[3], test.before) || !parse_memory(f[4], test.memory_before) ||
        !parse_regs(f[5], test.after) || !parse_memory(f[6], test.memory_after) ||
        !parse_hex(f[7], test.flags_mask))
        return false;
    test.vector = -1;
    if (f[8] != "-") {
        auto r = std::from_chars(f[8].data(), f[8].data() + f[8].size(), test.vector);
        if (r.ec != std::errc())
            return false;
    }
    test.id = std::string(f[9]);
    return true;
}

std::string run_test(const CpuTest &test, uint8_t *memory) {
    for (auto [addr, byte] : test.memory_before)
        memory[addr] = byte;
    const uint16_t *b = test.before;
    Record rec{};
    rec.regs.eax = b[T_AX];
    rec.regs.ebx = b[T_BX];
    rec.regs.ecx = b[T_CX];
    rec.regs.edx = b[T_DX];
    rec.regs.cs = b[T_CS];
    rec.regs.ss = b[T_SS];
    rec.regs.ds = b[T_DS];
    rec.regs.es = b[T_ES];
    rec.regs.esp = b[T_SP];
    rec.regs.ebp = b[T_BP];
    rec.regs.esi = b[T_SI];
    rec.regs.edi = b[T_DI];
    rec.regs.eip = b[T_IP];
    rec.regs.eflags = b[T_FLAGS] & 0x0FFF; // real mode cannot hold bits 12 to 15
    rec.cpu_type = CPU_286;
    Options opt;
    opt.max_instructions = test_budget;
    opt.real_mode_flags = true;
    Fault fault;
    int rc = run(rec, Memory{memory, 0, test_memory_size}, opt, &fault);
    if (rc < 0)
        return format("access outside memory at %05x", unsigned(fault.linear));
    // The engine leaves IP at the HLT (prefixes included); the chip goes past it.
    uint16_t ip = uint16_t(rec.regs.eip);
    unsigned len = 0;
    uint8_t op = 0;
    while (len < 8) {
        op = memory[linear(rec.regs.cs, uint16_t(ip + len++))];
        if (op != 0xF0 && op != 0xF2 && op != 0xF3 && (op & 0xE7) != 0x26)
            break;
    }
    if (rc != VM86_UNKNOWN || op != 0xF4)
        return format("did not stop at the HLT: code %d at %04x:%04x", rc, unsigned(rec.regs.cs),
                      unsigned(ip));
    uint16_t got[test_regs] = {uint16_t(rec.regs.eax),
                               uint16_t(rec.regs.ebx),
                               uint16_t(rec.regs.ecx),
                               uint16_t(rec.regs.edx),
                               rec.regs.cs,
                               rec.regs.ss,
                               rec.regs.ds,
                               rec.regs.es,
                               uint16_t(rec.regs.esp),
                               uint16_t(rec.regs.ebp),
                               uint16_t(rec.regs.esi),
                               uint16_t(rec.regs.edi),
                               uint16_t(ip + len),
                               uint16_t(rec.regs.eflags)};
    for (unsigned n = 0; n < test_regs; ++n) {
        uint16_t mask = n == T_FLAGS ? test.flags_mask : 0xFFFF;
        if ((got[n] & mask) != (test.after[n] & mask))
            return format("%s is %04x, expected %04x", reg_names[n], unsigned(got[n] & mask),
                          unsigned(test.after[n] & mask));
    }
    // An interrupt entry pushes FLAGS with the instruction's undefined bits:
    // those bytes are compared under the mask too.
    uint32_t pushed = ~0u;
    if (test.vector >= 0)
        pushed = linear(test.after[T_SS], uint16_t(test.after[T_SP] + 4));
    for (auto [addr, byte] : test.memory_after) {
        uint8_t mask = 0xFF;
        if (addr == pushed)
            mask = uint8_t(test.flags_mask);
        else if (pushed != ~0u && addr == linear(test.after[T_SS], uint16_t(test.after[T_SP] + 5)))
            mask = uint8_t(test.flags_mask >> 8);
        if ((memory[addr] & mask) != (byte & mask))
            return format("byte %05x is %02x, expected %02x", unsigned(addr),
                          unsigned(memory[addr] & mask), unsigned(byte & mask));
    }
    return {};
}

} // namespace vm86::conformance
