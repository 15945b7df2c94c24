// engine-bench: times the virtual-8086 engine on a 16-bit program.
//
//   engine-bench PROGRAM.bin
//
// Loads the flat binary at 1000:0000 of a 128 KiB memory at linear 0x10000
// (as taviemu lays out a program), runs it with every interrupt handed back,
// until INT 80h with AX = 1, and prints the instruction count, the processor
// time, the rate and the program's checksum (BX:CX).
#include "vm86_engine.h"

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr uint32_t area_base = 0x10000;
constexpr uint32_t area_size = 0x20000;
constexpr uint16_t program_segment = area_base / 16;

// Processor time of this process: other load on the machine counts less
// than in wall-clock time.
double now() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: engine-bench PROGRAM.bin\n");
        return 2;
    }
    std::vector<uint8_t> memory(area_size);
    FILE *f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 2;
    }
    size_t n = std::fread(memory.data(), 1, memory.size(), f);
    std::fclose(f);
    if (n == 0) {
        std::fprintf(stderr, "engine-bench: %s is empty\n", argv[1]);
        return 2;
    }
    vm86::Record rec{};
    rec.regs.cs = rec.regs.ds = rec.regs.es = rec.regs.ss = program_segment;
    rec.cpu_type = vm86::CPU_286;
    for (uint8_t &b : rec.int_revectored)
        b = 0xFF;
    vm86::Memory mem{memory.data(), area_base, area_size};
    uint64_t total = 0, calls = 0;
    double start = now();
    for (;;) {
        uint64_t executed = 0;
        int rc = vm86::run(rec, mem, {}, nullptr, &executed);
        total += executed;
        ++calls;
        if (vm86::vm86_type(rc) == vm86::VM86_INTx && vm86::vm86_arg(rc) == 0x80 &&
            (rec.regs.eax & 0xFFFF) == 1)
            break;
        if (rc < 0 || vm86::vm86_type(rc) != vm86::VM86_INTx) {
            std::fprintf(stderr, "engine-bench: stopped with code %d at %04x:%04x\n", rc,
                         unsigned(rec.regs.cs), unsigned(rec.regs.eip));
            return 1;
        }
    }
    double seconds = now() - start;
    std::printf("%llu instructions in %.3f s of processor time: %.1f million instructions per second "
                "(checksum %04x%04x, %llu entries)\n",
                (unsigned long long)total, seconds, double(total) / seconds / 1e6,
                unsigned(rec.regs.ebx & 0xFFFF), unsigned(rec.regs.ecx & 0xFFFF),
                (unsigned long long)calls);
    return 0;
}
