// What the runner's parts share: the program area, the CPU record of the
// 16-bit program, the loader and the run loop, and the two system-call
// translators that serve the program's interrupts.
#pragma once

#include "vm86_engine.h"

#include <cerrno>
#include <cstdint>
#include <sys/stat.h>

namespace taviemu {

constexpr uint32_t kAreaAddress = 0x10000;      // where the program area is mapped
constexpr uint32_t kAreaSize = 0x20000;         // 128 KiB: two 64 KiB segments
constexpr uintptr_t kAreaCeiling = 0xE0000;     // the area must end below 1 MiB
constexpr uint32_t kSegmentSize = 0x10000;      // bytes a 16-bit offset can reach
constexpr uint32_t kHeaderSize = 32;            // the executable's header
constexpr uint32_t kMagicCombined = 0x04100301; // text and data in one segment
constexpr uint32_t kMagicSeparate = 0x04200301; // text and data in two segments

// Results of the loader beyond -ENOEXEC (not an executable of ours).
constexpr int kTooLarge = -EFBIG;    // text, data and bss exceed their segments
constexpr int kBadSegment = -ERANGE; // the data segment is not expressible

// The program's CPU state between entries into virtual-8086 mode.
extern vm86::Record tavi_cpu;
// The program area in the runner's memory, and the linear address at which
// the program sees it (the same number in the runner, which maps the area
// where the program expects it).
extern uint8_t *tavi_base;
extern uint32_t tavi_linear;
// The end of the bss and the program's current break, as offsets in its
// data segment.
extern uint32_t tavi_bss_end;
extern uint32_t tavi_brk;
// The data segment as the loader laid it out, and SP as build_stack left
// it (below the argument strings): the break is the layout's, whatever the
// program has since done with DS and SS.
extern uint16_t tavi_data_segment;
extern uint16_t tavi_stack_start;

// Maps the program area where the program expects it, with the kernel's
// zero pages; nullptr when the system gives no memory there. An existing
// mapping is never replaced.
uint8_t *map_area();
// Makes the whole area zero again, as a fresh mapping is.
void clear_area();

// The executable's header, decoded.
struct ExecHeader {
    bool separate = false; // separate instruction and data segments
    uint32_t text = 0, data = 0, bss = 0;
};

// Decodes 32 header bytes; 0 or -ENOEXEC.
int parse_header(const uint8_t *bytes, ExecHeader &header);
// Whether the file `status` describes holds the text and data the header
// promises; 0 or -ENOEXEC.
int check_length(const ExecHeader &header, const struct stat &status);
// Whether text, data and bss fit their segments; 0 or kTooLarge.
int check_fit(const ExecHeader &header);
// The end of the bss as an offset in the data segment.
uint32_t bss_end(const ExecHeader &header);
// Bytes of the stack block for these lists, and whether it fits above `end`
// of the data segment (0 or -E2BIG).
uint64_t stack_block_size(char *const *args, char *const *env);
int check_stack(char *const *args, char *const *env, uint32_t end);

// Reads the executable open on `fd` into the area and sets the segment
// registers; 0, -ENOEXEC, kTooLarge or kBadSegment.
int load_tavi(int fd);
// Writes argc, the argument and environment vectors and their strings at the
// top of the data segment; 0, or -E2BIG (nothing written) when they would
// reach the bss.
int build_stack(char *const *args, char *const *env);

// Sets the mode fields of the CPU record.
void tavi_init();
// One entry into virtual-8086 mode and the handling of its return.
void run_tavi();

// The translators: interrupt 0x80 (the result goes to AX) and 0x20.
int tavi_syscall();
void minix_syscall();

} // namespace taviemu
