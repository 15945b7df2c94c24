// The one list of operations the run loop dispatches: every operation
// number of the decoder (decode.h) with the handler label that carries it
// out, as X(label, first, last). The run loop builds its dispatch table
// from this list alone and defines one label per handler; the compiler
// refuses a label that is listed but not defined or defined but not
// listed, and the check at the end refuses a number that has no handler
// or two.
#pragma once

#include "decode.h"
#include "ops_alu.h"
#include "ops_shift.h"

#include <cstdint>

namespace vm86::engine {

// clang-format off

// Opcodes 00 to 3F of one ALU operation: forms 0 to 5 at kind * 8.
#define VM86_ALU_OPS(X, kind)                                                                      \
    X(alu_##kind##_0, kind * 8 + 0, kind * 8 + 0)                                                  \
    X(alu_##kind##_1, kind * 8 + 1, kind * 8 + 1)                                                  \
    X(alu_##kind##_2, kind * 8 + 2, kind * 8 + 2)                                                  \
    X(alu_##kind##_3, kind * 8 + 3, kind * 8 + 3)                                                  \
    X(alu_##kind##_4, kind * 8 + 4, kind * 8 + 4)                                                  \
    X(alu_##kind##_5, kind * 8 + 5, kind * 8 + 5)

// One ALU operation of the groups 80 to 83 (82 decodes as 80).
#define VM86_GROUP_ALU_OPS(X, kind)                                                                \
    X(group_alu8_##kind, G_ALU8 + kind, G_ALU8 + kind)                                             \
    X(group_alu16_##kind, G_ALU16 + kind, G_ALU16 + kind)                                          \
    X(group_alu16_##kind, G_ALU16S + kind, G_ALU16S + kind)

// One shift or rotate of the groups C0, C1 and D0 to D3.
#define VM86_GROUP_SHIFT_OPS(X, kind)                                                              \
    X(shift8i_##kind, G_SH8I + kind, G_SH8I + kind)                                                \
    X(shift16i_##kind, G_SH16I + kind, G_SH16I + kind)                                             \
    X(shift8_1_##kind, G_SH8_1 + kind, G_SH8_1 + kind)                                             \
    X(shift16_1_##kind, G_SH16_1 + kind, G_SH16_1 + kind)                                          \
    X(shift8cl_##kind, G_SH8CL + kind, G_SH8CL + kind)                                             \
    X(shift16cl_##kind, G_SH16CL + kind, G_SH16CL + kind)

#define VM86_JCC_OPS(X)                                                                            \
    X(jcc_0, 0x70, 0x70)                                                                           \
    X(jcc_1, 0x71, 0x71)                                                                           \
    X(jcc_2, 0x72, 0x72)                                                                           \
    X(jcc_3, 0x73, 0x73)                                                                           \
    X(jcc_4, 0x74, 0x74)                                                                           \
    X(jcc_5, 0x75, 0x75)                                                                           \
    X(jcc_6, 0x76, 0x76)                                                                           \
    X(jcc_7, 0x77, 0x77)                                                                           \
    X(jcc_8, 0x78, 0x78)                                                                           \
    X(jcc_9, 0x79, 0x79)                                                                           \
    X(jcc_10, 0x7A, 0x7A)                                                                          \
    X(jcc_11, 0x7B, 0x7B)                                                                          \
    X(jcc_12, 0x7C, 0x7C)                                                                          \
    X(jcc_13, 0x7D, 0x7D)                                                                          \
    X(jcc_14, 0x7E, 0x7E)                                                                          \
    X(jcc_15, 0x7F, 0x7F)

// Numbers the decoder never hands out (prefixes, the opcodes of groups,
// which become group numbers) go to `op_invalid` with the undefined ones.
#define VM86_OPS(X)                                                                                \
    VM86_ALU_OPS(X, ALU_ADD)                                                                       \
    VM86_ALU_OPS(X, ALU_OR)                                                                        \
    VM86_ALU_OPS(X, ALU_ADC)                                                                       \
    VM86_ALU_OPS(X, ALU_SBB)                                                                       \
    VM86_ALU_OPS(X, ALU_AND)                                                                       \
    VM86_ALU_OPS(X, ALU_SUB)                                                                       \
    VM86_ALU_OPS(X, ALU_XOR)                                                                       \
    VM86_ALU_OPS(X, ALU_CMP)                                                                       \
    X(op_push_seg, 0x06, 0x06)                                                                     \
    X(op_push_seg, 0x0E, 0x0E)                                                                     \
    X(op_push_seg, 0x16, 0x16)                                                                     \
    X(op_push_seg, 0x1E, 0x1E)                                                                     \
    X(op_pop_seg, 0x07, 0x07)                                                                      \
    X(op_pop_seg, 0x17, 0x17)                                                                      \
    X(op_pop_seg, 0x1F, 0x1F)                                                                      \
    X(op_invalid, 0x0F, 0x0F)                                                                      \
    X(op_invalid, 0x26, 0x26)                                                                      \
    X(op_daa, 0x27, 0x27)                                                                          \
    X(op_invalid, 0x2E, 0x2E)                                                                      \
    X(op_das, 0x2F, 0x2F)                                                                          \
    X(op_invalid, 0x36, 0x36)                                                                      \
    X(op_aaa, 0x37, 0x37)                                                                          \
    X(op_invalid, 0x3E, 0x3E)                                                                      \
    X(op_aas, 0x3F, 0x3F)                                                                          \
    X(op_inc_reg, 0x40, 0x47)                                                                      \
    X(op_dec_reg, 0x48, 0x4F)                                                                      \
    X(op_push_reg, 0x50, 0x57)                                                                     \
    X(op_pop_reg, 0x58, 0x5F)                                                                      \
    X(op_pusha, 0x60, 0x60)                                                                        \
    X(op_popa, 0x61, 0x61)                                                                         \
    X(op_bound, 0x62, 0x62)                                                                        \
    X(op_invalid, 0x63, 0x67)                                                                      \
    X(op_push_imm, 0x68, 0x68)                                                                     \
    X(op_imul_imm, 0x69, 0x69)                                                                     \
    X(op_push_imm, 0x6A, 0x6A)                                                                     \
    X(op_imul_imm, 0x6B, 0x6B)                                                                     \
    X(op_unknown, 0x6C, 0x6F)                                                                      \
    VM86_JCC_OPS(X)                                                                                \
    X(op_invalid, 0x80, 0x83)                                                                      \
    X(op_test_rm8, 0x84, 0x84)                                                                     \
    X(op_test_rm16, 0x85, 0x85)                                                                    \
    X(op_xchg_rm8, 0x86, 0x86)                                                                     \
    X(op_xchg_rm16, 0x87, 0x87)                                                                    \
    X(op_mov_rm8_reg, 0x88, 0x88)                                                                  \
    X(op_mov_rm16_reg, 0x89, 0x89)                                                                 \
    X(op_mov_reg8_rm, 0x8A, 0x8A)                                                                  \
    X(op_mov_reg16_rm, 0x8B, 0x8B)                                                                 \
    X(op_mov_rm_sreg, 0x8C, 0x8C)                                                                  \
    X(op_lea, 0x8D, 0x8D)                                                                          \
    X(op_mov_sreg_rm, 0x8E, 0x8E)                                                                  \
    X(op_pop_rm, 0x8F, 0x8F)                                                                       \
    X(op_xchg_ax, 0x90, 0x97)                                                                      \
    X(op_cbw, 0x98, 0x98)                                                                          \
    X(op_cwd, 0x99, 0x99)                                                                          \
    X(op_call_far, 0x9A, 0x9A)                                                                     \
    X(op_wait, 0x9B, 0x9B)                                                                         \
    X(op_pushf, 0x9C, 0x9C)                                                                        \
    X(op_popf, 0x9D, 0x9D)                                                                         \
    X(op_sahf, 0x9E, 0x9E)                                                                         \
    X(op_lahf, 0x9F, 0x9F)                                                                         \
    X(op_mov_al_moffs, 0xA0, 0xA0)                                                                 \
    X(op_mov_ax_moffs, 0xA1, 0xA1)                                                                 \
    X(op_mov_moffs_al, 0xA2, 0xA2)                                                                 \
    X(op_mov_moffs_ax, 0xA3, 0xA3)                                                                 \
    X(op_movsb, 0xA4, 0xA4)                                                                        \
    X(op_movsw, 0xA5, 0xA5)                                                                        \
    X(op_cmpsb, 0xA6, 0xA6)                                                                        \
    X(op_cmpsw, 0xA7, 0xA7)                                                                        \
    X(op_test_al, 0xA8, 0xA8)                                                                      \
    X(op_test_ax, 0xA9, 0xA9)                                                                      \
    X(op_stosb, 0xAA, 0xAA)                                                                        \
    X(op_stosw, 0xAB, 0xAB)                                                                        \
    X(op_lodsb, 0xAC, 0xAC)                                                                        \
    X(op_lodsw, 0xAD, 0xAD)                                                                        \
    X(op_scasb, 0xAE, 0xAE)                                                                        \
    X(op_scasw, 0xAF, 0xAF)                                                                        \
    X(op_mov_reg8_imm, 0xB0, 0xB7)                                                                 \
    X(op_mov_reg16_imm, 0xB8, 0xBF)                                                                \
    X(op_invalid, 0xC0, 0xC1)                                                                      \
    X(op_ret_imm, 0xC2, 0xC2)                                                                      \
    X(op_ret, 0xC3, 0xC3)                                                                          \
    X(op_load_far, 0xC4, 0xC5)                                                                     \
    X(op_mov_rm8_imm, 0xC6, 0xC6)                                                                  \
    X(op_mov_rm16_imm, 0xC7, 0xC7)                                                                 \
    X(op_enter, 0xC8, 0xC8)                                                                        \
    X(op_leave, 0xC9, 0xC9)                                                                        \
    X(op_retf_imm, 0xCA, 0xCA)                                                                     \
    X(op_retf, 0xCB, 0xCB)                                                                         \
    X(op_int, 0xCC, 0xCE)                                                                          \
    X(op_iret, 0xCF, 0xCF)                                                                         \
    X(op_invalid, 0xD0, 0xD3)                                                                      \
    X(op_aam, 0xD4, 0xD4)                                                                          \
    X(op_aad, 0xD5, 0xD5)                                                                          \
    X(op_salc, 0xD6, 0xD6)                                                                         \
    X(op_xlat, 0xD7, 0xD7)                                                                         \
    X(op_esc, 0xD8, 0xDF)                                                                          \
    X(op_loop, 0xE0, 0xE2)                                                                         \
    X(op_jcxz, 0xE3, 0xE3)                                                                         \
    X(op_unknown, 0xE4, 0xE7)                                                                      \
    X(op_call_near, 0xE8, 0xE8)                                                                    \
    X(op_jmp_near, 0xE9, 0xE9)                                                                     \
    X(op_jmp_far, 0xEA, 0xEA)                                                                      \
    X(op_jmp_near, 0xEB, 0xEB)                                                                     \
    X(op_unknown, 0xEC, 0xEF)                                                                      \
    X(op_invalid, 0xF0, 0xF3)                                                                      \
    X(op_unknown, 0xF4, 0xF4)                                                                      \
    X(op_cmc, 0xF5, 0xF5)                                                                          \
    X(op_invalid, 0xF6, 0xF7)                                                                      \
    X(op_clc_stc, 0xF8, 0xF9)                                                                      \
    X(op_cli_sti, 0xFA, 0xFB)                                                                      \
    X(op_cld_std, 0xFC, 0xFD)                                                                      \
    X(op_invalid, 0xFE, 0xFF)                                                                      \
    VM86_GROUP_ALU_OPS(X, ALU_ADD)                                                                 \
    VM86_GROUP_ALU_OPS(X, ALU_OR)                                                                  \
    VM86_GROUP_ALU_OPS(X, ALU_ADC)                                                                 \
    VM86_GROUP_ALU_OPS(X, ALU_SBB)                                                                 \
    VM86_GROUP_ALU_OPS(X, ALU_AND)                                                                 \
    VM86_GROUP_ALU_OPS(X, ALU_SUB)                                                                 \
    VM86_GROUP_ALU_OPS(X, ALU_XOR)                                                                 \
    VM86_GROUP_ALU_OPS(X, ALU_CMP)                                                                 \
    VM86_GROUP_SHIFT_OPS(X, SH_ROL)                                                                \
    VM86_GROUP_SHIFT_OPS(X, SH_ROR)                                                                \
    VM86_GROUP_SHIFT_OPS(X, SH_RCL)                                                                \
    VM86_GROUP_SHIFT_OPS(X, SH_RCR)                                                                \
    VM86_GROUP_SHIFT_OPS(X, SH_SHL)                                                                \
    VM86_GROUP_SHIFT_OPS(X, SH_SHR)                                                                \
    VM86_GROUP_SHIFT_OPS(X, SH_SAL)                                                                \
    VM86_GROUP_SHIFT_OPS(X, SH_SAR)                                                                \
    X(op_test_rm8_imm, G_UN8 + 0, G_UN8 + 1)                                                       \
    X(op_not_rm8, G_UN8 + 2, G_UN8 + 2)                                                            \
    X(op_neg_rm8, G_UN8 + 3, G_UN8 + 3)                                                            \
    X(op_mul8, G_UN8 + 4, G_UN8 + 4)                                                               \
    X(op_imul8, G_UN8 + 5, G_UN8 + 5)                                                              \
    X(op_div8, G_UN8 + 6, G_UN8 + 6)                                                               \
    X(op_idiv8, G_UN8 + 7, G_UN8 + 7)                                                              \
    X(op_test_rm16_imm, G_UN16 + 0, G_UN16 + 1)                                                    \
    X(op_not_rm16, G_UN16 + 2, G_UN16 + 2)                                                         \
    X(op_neg_rm16, G_UN16 + 3, G_UN16 + 3)                                                         \
    X(op_mul16, G_UN16 + 4, G_UN16 + 4)                                                            \
    X(op_imul16, G_UN16 + 5, G_UN16 + 5)                                                           \
    X(op_div16, G_UN16 + 6, G_UN16 + 6)                                                            \
    X(op_idiv16, G_UN16 + 7, G_UN16 + 7)                                                           \
    X(op_inc_rm8, G_FE + 0, G_FE + 0)                                                              \
    X(op_dec_rm8, G_FE + 1, G_FE + 1)                                                              \
    X(op_invalid, G_FE + 2, G_FE + 7)                                                              \
    X(op_inc_rm16, G_FF + 0, G_FF + 0)                                                             \
    X(op_dec_rm16, G_FF + 1, G_FF + 1)                                                             \
    X(op_call_rm, G_FF + 2, G_FF + 2)                                                              \
    X(op_call_far_rm, G_FF + 3, G_FF + 3)                                                          \
    X(op_jmp_rm, G_FF + 4, G_FF + 4)                                                               \
    X(op_jmp_far_rm, G_FF + 5, G_FF + 5)                                                           \
    X(op_push_rm, G_FF + 6, G_FF + 6)                                                              \
    X(op_invalid, G_FF + 7, OP_INVALID)                                                            \
    X(op_too_long, OP_TOO_LONG, OP_TOO_LONG)                                                       \
    X(op_block_end, OP_BLOCK_END, OP_BLOCK_END)

// clang-format on

struct OpRange {
    uint16_t first, last;
};

#define VM86_OP_RANGE(label, first, last) OpRange{uint16_t(first), uint16_t(last)},
inline constexpr OpRange op_ranges[] = {VM86_OPS(VM86_OP_RANGE)};
#undef VM86_OP_RANGE

constexpr bool every_operation_once() {
    for (unsigned op = 0; op < OP_COUNT; ++op) {
        unsigned handlers = 0;
        for (const OpRange &r : op_ranges)
            handlers += op >= r.first && op <= r.last;
        if (handlers != 1)
            return false;
    }
    return true;
}
static_assert(every_operation_once(), "every operation number needs exactly one handler");

} // namespace vm86::engine
