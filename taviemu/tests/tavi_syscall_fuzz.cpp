// Drives the two translators with random registers and memory under the
// sanitizers: the tavi calls, then the same registers as a Minix trap
// (mostly to one of the servers with the function 3) on a message
// wherever BX says. Whatever offsets, lengths and segments the program
// names, every access stays inside its area, which lies on the heap here
// with nothing around it. The calls whose table entry says they reach the
// host (files, descriptors, processes, identity, signals, waiting, exit
// and exec) are left out, so that the fuzzer's own process stays as it
// was; the execve block, the one structure those calls read that nothing
// else does, goes to its reader directly.
#include "exec_block.h"
#include "guest_memory.h"
#include "minix_calls.h"
#include "tavi.h"
#include "tavi_syscall.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

using namespace taviemu;

namespace {

constexpr size_t kRegisterBytes = 14; // AX, BX, CX, DX, DI, SI and DS

uint16_t word(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Mostly one of the program's two segments, now and then any value.
uint16_t segment(uint16_t raw) {
    switch (raw & 3) {
    case 0:
        return 0x1000;
    case 1:
        return 0x2000;
    case 2:
        return static_cast<uint16_t>(0x1000 + (raw >> 2) % 0x1001);
    default:
        return raw;
    }
}

// The Minix call the registers name, unless it reaches the host.
void minix_call(const uint8_t *regs) {
    vm86::Regs &r = tavi_cpu.regs;
    r.eax = regs[0] & 1;
    r.ecx = (regs[1] & 0x80) != 0 ? word(regs + 4) : 3;
    const uint8_t *message = guest_bytes(r.ds, static_cast<uint16_t>(r.ebx), kMinixMessageSize);
    const MinixCallEntry *entry =
        message == nullptr ? nullptr : find_minix_call(get16(message + msg::m_type));
    if (entry == nullptr || entry->reach == Reach::memory)
        minix_syscall();
}

void call(const uint8_t *regs, std::span<const uint8_t> memory, std::vector<uint8_t> &area) {
    std::memset(area.data(), 0, area.size());
    // The bytes go where the pointers most likely point: the data segment
    // from its start, and again just below its end.
    size_t n = std::min(memory.size(), area.size() / 2);
    std::memcpy(area.data() + kSegmentSize, memory.data(), n);
    std::memcpy(area.data() + area.size() - 0x100, memory.data(), std::min<size_t>(n, 0x100));
    tavi_base = area.data();
    tavi_linear = kAreaAddress;
    tavi_cpu = vm86::Record{};
    vm86::Regs &r = tavi_cpu.regs;
    r.eax = word(regs);
    r.ebx = word(regs + 2);
    r.ecx = word(regs + 4);
    r.edx = word(regs + 6);
    r.edi = word(regs + 8);
    r.esi = word(regs + 10);
    r.ds = r.es = segment(word(regs + 12));
    r.ss = tavi_data_segment = 0x2000;
    r.esp = tavi_stack_start = 0xF000;
    tavi_bss_end = tavi_brk = 0x1000;
    const CallEntry *entry = find_tavi_call(static_cast<uint16_t>(r.eax));
    if (entry == nullptr || entry->reach == Reach::memory)
        tavi_syscall();
    minix_call(regs);
}

void exec_block(std::span<const uint8_t> bytes) {
    ExecBlock block;
    if (read_exec_block(bytes, block) < 0)
        return;
    exec_arguments(block);
    exec_environment(block);
    std::vector<uint8_t> stack(block.bytes.size());
    place_exec_block(block, stack.data(), static_cast<uint16_t>(kSegmentSize - stack.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < kRegisterBytes)
        return 0;
    static std::vector<uint8_t> area(kAreaSize);
    std::span<const uint8_t> rest(data + kRegisterBytes, size - kRegisterBytes);
    call(data, rest, area);
    exec_block(rest);
    tavi_base = nullptr;
    return 0;
}
