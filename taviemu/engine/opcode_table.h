// The instruction set in one table: one row for every operation number
// the decoder hands out (decode.h), in order. A row gives what follows the
// opcode, whether ModRM reg selects an operation of a group, which ModRM
// forms the 286 refuses, the handler that carries the operation out and
// how the run loop goes on after it. The decoder, the code cache and the
// run loop all take what they know of an opcode from here.
#pragma once

#include "decode.h"
#include "handler.h"
#include "ops_alu.h"
#include "ops_bcd.h"
#include "ops_control.h"
#include "ops_flags.h"
#include "ops_move.h"
#include "ops_muldiv.h"
#include "ops_processor.h"
#include "ops_shift.h"
#include "ops_stack.h"
#include "ops_string.h"

#include <array>
#include <cstdint>
#include <iterator>

namespace vm86::engine {

// What follows an opcode (bits of Operation::operands). A group's own row
// may add an immediate that only its operation has.
constexpr uint8_t A_MODRM = 0x01;     // a ModRM byte and its displacement
constexpr uint8_t A_IMM8 = 0x02;      // one immediate byte
constexpr uint8_t A_IMM8S = 0x04;     // one immediate byte, sign-extended
constexpr uint8_t A_IMM16 = 0x08;     // one immediate word
constexpr uint8_t A_FAR = 0x10;       // offset word then segment word
constexpr uint8_t A_ENTER = 0x20;     // word then byte
constexpr uint8_t A_MOFFS = 0x40;     // a direct memory offset word
constexpr uint8_t A_UNDEFINED = 0x80; // not an instruction: the invalid-opcode exception

// How the run loop goes on after a handler. A handler that can write
// memory may have written into decoded code, which the run loop looks at
// before it goes on.
enum Ending : uint8_t {
    END_NEXT,     // the next instruction; a result other than go_on leaves the
                  // run loop after this instruction with that code
    END_READ,     // the next instruction, for a handler that writes no memory
                  // and always returns go_on
    END_BRANCH,   // a near jump when the handler returns `jumped`, else as
                  // END_READ: the block goes on after a branch not taken
    END_JUMP,     // a near jump, always: the last instruction of its block
    END_TRANSFER, // as END_NEXT, at the IP the handler set (CS may have
                  // changed): the last instruction of its block
    END_REFUSE,   // back to the caller with the handler's code, IP at this
                  // instruction: the last of its block
    END_FAULT,    // the handler always raises an exception: the last of its block
    END_LOOKUP,   // the block's end marker: the run loop finds the block at IP
};

struct Operation {
    uint8_t operands;
    Handler handler;
    Ending ending;
    uint16_t group = 0;          // first operation of the group ModRM reg selects in, or 0
    uint8_t defined_regs = 0xFF; // the ModRM reg values it is defined for, a bit each
    bool memory_only = false;    // the ModRM operand must be in memory

    constexpr Operation only_regs(uint8_t regs) const {
        Operation o = *this;
        o.defined_regs = regs;
        return o;
    }
    constexpr Operation only_memory() const {
        Operation o = *this;
        o.memory_only = true;
        return o;
    }
};

constexpr Operation row(uint8_t operands, Handler handler, Ending ending) {
    return {operands, handler, ending};
}
// An opcode whose ModRM reg selects the operation: `first` + reg.
constexpr Operation group_row(uint8_t operands, uint16_t first) {
    Operation o{operands, invalid, END_FAULT};
    o.group = first;
    return o;
}
// An opcode the 286 does not define.
constexpr Operation undefined_row() {
    return {A_UNDEFINED, invalid, END_FAULT};
}
// A prefix, which the decoder takes in and never hands out.
constexpr Operation prefix_row() {
    return {0, invalid, END_FAULT};
}

// clang-format off
inline constexpr Operation operations[] = {
    /*00*/ row(A_MODRM, alu_opcode<ALU_ADD, 0>, END_NEXT),             // add r/m8, reg8
    /*01*/ row(A_MODRM, alu_opcode<ALU_ADD, 1>, END_NEXT),             // add r/m16, reg16
    /*02*/ row(A_MODRM, alu_opcode<ALU_ADD, 2>, END_READ),             // add reg8, r/m8
    /*03*/ row(A_MODRM, alu_opcode<ALU_ADD, 3>, END_READ),             // add reg16, r/m16
    /*04*/ row(A_IMM8, alu_opcode<ALU_ADD, 4>, END_READ),              // add AL, imm8
    /*05*/ row(A_IMM16, alu_opcode<ALU_ADD, 5>, END_READ),             // add AX, imm16
    /*06*/ row(0, push_seg, END_NEXT),                                 // push es
    /*07*/ row(0, pop_seg, END_NEXT),                                  // pop es
    /*08*/ row(A_MODRM, alu_opcode<ALU_OR, 0>, END_NEXT),              // or r/m8, reg8
    /*09*/ row(A_MODRM, alu_opcode<ALU_OR, 1>, END_NEXT),              // or r/m16, reg16
    /*0A*/ row(A_MODRM, alu_opcode<ALU_OR, 2>, END_READ),              // or reg8, r/m8
    /*0B*/ row(A_MODRM, alu_opcode<ALU_OR, 3>, END_READ),              // or reg16, r/m16
    /*0C*/ row(A_IMM8, alu_opcode<ALU_OR, 4>, END_READ),               // or AL, imm8
    /*0D*/ row(A_IMM16, alu_opcode<ALU_OR, 5>, END_READ),              // or AX, imm16
    /*0E*/ row(0, push_seg, END_NEXT),                                 // push cs
    /*0F*/ undefined_row(),                                            // pop cs on the 8086
    /*10*/ row(A_MODRM, alu_opcode<ALU_ADC, 0>, END_NEXT),             // adc r/m8, reg8
    /*11*/ row(A_MODRM, alu_opcode<ALU_ADC, 1>, END_NEXT),             // adc r/m16, reg16
    /*12*/ row(A_MODRM, alu_opcode<ALU_ADC, 2>, END_READ),             // adc reg8, r/m8
    /*13*/ row(A_MODRM, alu_opcode<ALU_ADC, 3>, END_READ),             // adc reg16, r/m16
    /*14*/ row(A_IMM8, alu_opcode<ALU_ADC, 4>, END_READ),              // adc AL, imm8
    /*15*/ row(A_IMM16, alu_opcode<ALU_ADC, 5>, END_READ),             // adc AX, imm16
    /*16*/ row(0, push_seg, END_NEXT),                                 // push ss
    /*17*/ row(0, pop_seg, END_NEXT),                                  // pop ss
    /*18*/ row(A_MODRM, alu_opcode<ALU_SBB, 0>, END_NEXT),             // sbb r/m8, reg8
    /*19*/ row(A_MODRM, alu_opcode<ALU_SBB, 1>, END_NEXT),             // sbb r/m16, reg16
    /*1A*/ row(A_MODRM, alu_opcode<ALU_SBB, 2>, END_READ),             // sbb reg8, r/m8
    /*1B*/ row(A_MODRM, alu_opcode<ALU_SBB, 3>, END_READ),             // sbb reg16, r/m16
    /*1C*/ row(A_IMM8, alu_opcode<ALU_SBB, 4>, END_READ),              // sbb AL, imm8
    /*1D*/ row(A_IMM16, alu_opcode<ALU_SBB, 5>, END_READ),             // sbb AX, imm16
    /*1E*/ row(0, push_seg, END_NEXT),                                 // push ds
    /*1F*/ row(0, pop_seg, END_NEXT),                                  // pop ds
    /*20*/ row(A_MODRM, alu_opcode<ALU_AND, 0>, END_NEXT),             // and r/m8, reg8
    /*21*/ row(A_MODRM, alu_opcode<ALU_AND, 1>, END_NEXT),             // and r/m16, reg16
    /*22*/ row(A_MODRM, alu_opcode<ALU_AND, 2>, END_READ),             // and reg8, r/m8
    /*23*/ row(A_MODRM, alu_opcode<ALU_AND, 3>, END_READ),             // and reg16, r/m16
    /*24*/ row(A_IMM8, alu_opcode<ALU_AND, 4>, END_READ),              // and AL, imm8
    /*25*/ row(A_IMM16, alu_opcode<ALU_AND, 5>, END_READ),             // and AX, imm16
    /*26*/ prefix_row(),                                               // es: prefix
    /*27*/ row(0, daa, END_READ),                                      // daa
    /*28*/ row(A_MODRM, alu_opcode<ALU_SUB, 0>, END_NEXT),             // sub r/m8, reg8
    /*29*/ row(A_MODRM, alu_opcode<ALU_SUB, 1>, END_NEXT),             // sub r/m16, reg16
    /*2A*/ row(A_MODRM, alu_opcode<ALU_SUB, 2>, END_READ),             // sub reg8, r/m8
    /*2B*/ row(A_MODRM, alu_opcode<ALU_SUB, 3>, END_READ),             // sub reg16, r/m16
    /*2C*/ row(A_IMM8, alu_opcode<ALU_SUB, 4>, END_READ),              // sub AL, imm8
    /*2D*/ row(A_IMM16, alu_opcode<ALU_SUB, 5>, END_READ),             // sub AX, imm16
    /*2E*/ prefix_row(),                                               // cs: prefix
    /*2F*/ row(0, das, END_READ),                                      // das
    /*30*/ row(A_MODRM, alu_opcode<ALU_XOR, 0>, END_NEXT),             // xor r/m8, reg8
    /*31*/ row(A_MODRM, alu_opcode<ALU_XOR, 1>, END_NEXT),             // xor r/m16, reg16
    /*32*/ row(A_MODRM, alu_opcode<ALU_XOR, 2>, END_READ),             // xor reg8, r/m8
    /*33*/ row(A_MODRM, alu_opcode<ALU_XOR, 3>, END_READ),             // xor reg16, r/m16
    /*34*/ row(A_IMM8, alu_opcode<ALU_XOR, 4>, END_READ),              // xor AL, imm8
    /*35*/ row(A_IMM16, alu_opcode<ALU_XOR, 5>, END_READ),             // xor AX, imm16
    /*36*/ prefix_row(),                                               // ss: prefix
    /*37*/ row(0, aaa, END_READ),                                      // aaa
    /*38*/ row(A_MODRM, alu_opcode<ALU_CMP, 0>, END_READ),             // cmp r/m8, reg8
    /*39*/ row(A_MODRM, alu_opcode<ALU_CMP, 1>, END_READ),             // cmp r/m16, reg16
    /*3A*/ row(A_MODRM, alu_opcode<ALU_CMP, 2>, END_READ),             // cmp reg8, r/m8
    /*3B*/ row(A_MODRM, alu_opcode<ALU_CMP, 3>, END_READ),             // cmp reg16, r/m16
    /*3C*/ row(A_IMM8, alu_opcode<ALU_CMP, 4>, END_READ),              // cmp AL, imm8
    /*3D*/ row(A_IMM16, alu_opcode<ALU_CMP, 5>, END_READ),             // cmp AX, imm16
    /*3E*/ prefix_row(),                                               // ds: prefix
    /*3F*/ row(0, aas, END_READ),                                      // aas
    /*40*/ row(0, inc_dec_reg<false>, END_READ),                       // inc ax
    /*41*/ row(0, inc_dec_reg<false>, END_READ),                       // inc cx
    /*42*/ row(0, inc_dec_reg<false>, END_READ),                       // inc dx
    /*43*/ row(0, inc_dec_reg<false>, END_READ),                       // inc bx
    /*44*/ row(0, inc_dec_reg<false>, END_READ),                       // inc sp
    /*45*/ row(0, inc_dec_reg<false>, END_READ),                       // inc bp
    /*46*/ row(0, inc_dec_reg<false>, END_READ),                       // inc si
    /*47*/ row(0, inc_dec_reg<false>, END_READ),                       // inc di
    /*48*/ row(0, inc_dec_reg<true>, END_READ),                        // dec ax
    /*49*/ row(0, inc_dec_reg<true>, END_READ),                        // dec cx
    /*4A*/ row(0, inc_dec_reg<true>, END_READ),                        // dec dx
    /*4B*/ row(0, inc_dec_reg<true>, END_READ),                        // dec bx
    /*4C*/ row(0, inc_dec_reg<true>, END_READ),                        // dec sp
    /*4D*/ row(0, inc_dec_reg<true>, END_READ),                        // dec bp
    /*4E*/ row(0, inc_dec_reg<true>, END_READ),                        // dec si
    /*4F*/ row(0, inc_dec_reg<true>, END_READ),                        // dec di
    /*50*/ row(0, push_reg, END_NEXT),                                 // push ax
    /*51*/ row(0, push_reg, END_NEXT),                                 // push cx
    /*52*/ row(0, push_reg, END_NEXT),                                 // push dx
    /*53*/ row(0, push_reg, END_NEXT),                                 // push bx
    /*54*/ row(0, push_reg, END_NEXT),                                 // push sp
    /*55*/ row(0, push_reg, END_NEXT),                                 // push bp
    /*56*/ row(0, push_reg, END_NEXT),                                 // push si
    /*57*/ row(0, push_reg, END_NEXT),                                 // push di
    /*58*/ row(0, pop_reg, END_NEXT),                                  // pop ax
    /*59*/ row(0, pop_reg, END_NEXT),                                  // pop cx
    /*5A*/ row(0, pop_reg, END_NEXT),                                  // pop dx
    /*5B*/ row(0, pop_reg, END_NEXT),                                  // pop bx
    /*5C*/ row(0, pop_reg, END_NEXT),                                  // pop sp
    /*5D*/ row(0, pop_reg, END_NEXT),                                  // pop bp
    /*5E*/ row(0, pop_reg, END_NEXT),                                  // pop si
    /*5F*/ row(0, pop_reg, END_NEXT),                                  // pop di
    /*60*/ row(0, pusha, END_NEXT),                                    // pusha
    /*61*/ row(0, popa, END_NEXT),                                     // popa
    /*62*/ row(A_MODRM, bound, END_READ).only_memory(),                // bound reg16, m16&16
    /*63*/ undefined_row(),                                            // arpl
    /*64*/ undefined_row(),                                            // fs: on the 386
    /*65*/ undefined_row(),                                            // gs: on the 386
    /*66*/ undefined_row(),                                            // opsize on the 386
    /*67*/ undefined_row(),                                            // adsize on the 386
    /*68*/ row(A_IMM16, push_imm, END_NEXT),                           // push imm16
    /*69*/ row(A_MODRM | A_IMM16, imul_imm, END_READ),                 // imul reg16, r/m16, imm16
    /*6A*/ row(A_IMM8S, push_imm, END_NEXT),                           // push imm8
    /*6B*/ row(A_MODRM | A_IMM8S, imul_imm, END_READ),                 // imul reg16, r/m16, imm8
    /*6C*/ row(0, refused, END_REFUSE),                                // insb
    /*6D*/ row(0, refused, END_REFUSE),                                // insw
    /*6E*/ row(0, refused, END_REFUSE),                                // outsb
    /*6F*/ row(0, refused, END_REFUSE),                                // outsw
    /*70*/ row(A_IMM8S, jump_if<0>, END_BRANCH),                       // jo rel8
    /*71*/ row(A_IMM8S, jump_if<1>, END_BRANCH),                       // jno rel8
    /*72*/ row(A_IMM8S, jump_if<2>, END_BRANCH),                       // jb rel8
    /*73*/ row(A_IMM8S, jump_if<3>, END_BRANCH),                       // jnb rel8
    /*74*/ row(A_IMM8S, jump_if<4>, END_BRANCH),                       // jz rel8
    /*75*/ row(A_IMM8S, jump_if<5>, END_BRANCH),                       // jnz rel8
    /*76*/ row(A_IMM8S, jump_if<6>, END_BRANCH),                       // jbe rel8
    /*77*/ row(A_IMM8S, jump_if<7>, END_BRANCH),                       // ja rel8
    /*78*/ row(A_IMM8S, jump_if<8>, END_BRANCH),                       // js rel8
    /*79*/ row(A_IMM8S, jump_if<9>, END_BRANCH),                       // jns rel8
    /*7A*/ row(A_IMM8S, jump_if<10>, END_BRANCH),                      // jp rel8
    /*7B*/ row(A_IMM8S, jump_if<11>, END_BRANCH),                      // jnp rel8
    /*7C*/ row(A_IMM8S, jump_if<12>, END_BRANCH),                      // jl rel8
    /*7D*/ row(A_IMM8S, jump_if<13>, END_BRANCH),                      // jnl rel8
    /*7E*/ row(A_IMM8S, jump_if<14>, END_BRANCH),                      // jle rel8
    /*7F*/ row(A_IMM8S, jump_if<15>, END_BRANCH),                      // jg rel8
    /*80*/ group_row(A_MODRM | A_IMM8, G_ALU8),                        // alu r/m8, imm8
    /*81*/ group_row(A_MODRM | A_IMM16, G_ALU16),                      // alu r/m16, imm16
    /*82*/ group_row(A_MODRM | A_IMM8, G_ALU8),                        // as 80
    /*83*/ group_row(A_MODRM | A_IMM8S, G_ALU16S),                     // alu r/m16, imm8
    /*84*/ row(A_MODRM, test_rm_reg<false>, END_READ),                 // test r/m8, reg8
    /*85*/ row(A_MODRM, test_rm_reg<true>, END_READ),                  // test r/m16, reg16
    /*86*/ row(A_MODRM, xchg_rm<false>, END_NEXT),                     // xchg r/m8, reg8
    /*87*/ row(A_MODRM, xchg_rm<true>, END_NEXT),                      // xchg r/m16, reg16
    /*88*/ row(A_MODRM, mov_rm_reg<false>, END_NEXT),                  // mov r/m8, reg8
    /*89*/ row(A_MODRM, mov_rm_reg<true>, END_NEXT),                   // mov r/m16, reg16
    /*8A*/ row(A_MODRM, mov_reg_rm<false>, END_READ),                  // mov reg8, r/m8
    /*8B*/ row(A_MODRM, mov_reg_rm<true>, END_READ),                   // mov reg16, r/m16
    /*8C*/ row(A_MODRM, mov_rm_sreg, END_NEXT).only_regs(0x0F),        // mov r/m16, sreg
    /*8D*/ row(A_MODRM, lea, END_READ).only_memory(),                  // lea reg16, m
    /*8E*/ row(A_MODRM, mov_sreg_rm, END_NEXT).only_regs(0x0D),        // mov sreg, r/m16
    /*8F*/ row(A_MODRM, pop_rm, END_NEXT).only_regs(0x01),             // pop r/m16
    /*90*/ row(0, xchg_ax, END_READ),                                  // nop
    /*91*/ row(0, xchg_ax, END_READ),                                  // xchg ax, cx
    /*92*/ row(0, xchg_ax, END_READ),                                  // xchg ax, dx
    /*93*/ row(0, xchg_ax, END_READ),                                  // xchg ax, bx
    /*94*/ row(0, xchg_ax, END_READ),                                  // xchg ax, sp
    /*95*/ row(0, xchg_ax, END_READ),                                  // xchg ax, bp
    /*96*/ row(0, xchg_ax, END_READ),                                  // xchg ax, si
    /*97*/ row(0, xchg_ax, END_READ),                                  // xchg ax, di
    /*98*/ row(0, cbw, END_READ),                                      // cbw
    /*99*/ row(0, cwd, END_READ),                                      // cwd
    /*9A*/ row(A_FAR, call_far_ptr, END_TRANSFER),                     // call ptr16:16
    /*9B*/ row(0, coprocessor_wait, END_NEXT),                         // wait
    /*9C*/ row(0, pushf, END_NEXT),                                    // pushf
    /*9D*/ row(0, popf, END_NEXT),                                     // popf
    /*9E*/ row(0, sahf, END_NEXT),                                     // sahf
    /*9F*/ row(0, lahf, END_READ),                                     // lahf
    /*A0*/ row(A_MOFFS, mov_acc_moffs<false>, END_READ),               // mov al, [moffs]
    /*A1*/ row(A_MOFFS, mov_acc_moffs<true>, END_READ),                // mov ax, [moffs]
    /*A2*/ row(A_MOFFS, mov_moffs_acc<false>, END_NEXT),               // mov [moffs], al
    /*A3*/ row(A_MOFFS, mov_moffs_acc<true>, END_NEXT),                // mov [moffs], ax
    /*A4*/ row(0, movs<false>, END_NEXT),                              // movsb
    /*A5*/ row(0, movs<true>, END_NEXT),                               // movsw
    /*A6*/ row(0, cmps<false>, END_NEXT),                              // cmpsb
    /*A7*/ row(0, cmps<true>, END_NEXT),                               // cmpsw
    /*A8*/ row(A_IMM8, test_acc_imm<false>, END_READ),                 // test al, imm8
    /*A9*/ row(A_IMM16, test_acc_imm<true>, END_READ),                 // test ax, imm16
    /*AA*/ row(0, stos<false>, END_NEXT),                              // stosb
    /*AB*/ row(0, stos<true>, END_NEXT),                               // stosw
    /*AC*/ row(0, lods<false>, END_NEXT),                              // lodsb
    /*AD*/ row(0, lods<true>, END_NEXT),                               // lodsw
    /*AE*/ row(0, scas<false>, END_NEXT),                              // scasb
    /*AF*/ row(0, scas<true>, END_NEXT),                               // scasw
    /*B0*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov al, imm8
    /*B1*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov cl, imm8
    /*B2*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov dl, imm8
    /*B3*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov bl, imm8
    /*B4*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov ah, imm8
    /*B5*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov ch, imm8
    /*B6*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov dh, imm8
    /*B7*/ row(A_IMM8, mov_reg_imm<false>, END_READ),                  // mov bh, imm8
    /*B8*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov ax, imm16
    /*B9*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov cx, imm16
    /*BA*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov dx, imm16
    /*BB*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov bx, imm16
    /*BC*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov sp, imm16
    /*BD*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov bp, imm16
    /*BE*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov si, imm16
    /*BF*/ row(A_IMM16, mov_reg_imm<true>, END_READ),                  // mov di, imm16
    /*C0*/ group_row(A_MODRM | A_IMM8, G_SH8I),                        // shift r/m8, imm8
    /*C1*/ group_row(A_MODRM | A_IMM8, G_SH16I),                       // shift r/m16, imm8
    /*C2*/ row(A_IMM16, ret_near, END_TRANSFER),                       // ret imm16
    /*C3*/ row(0, ret_near, END_TRANSFER),                             // ret
    /*C4*/ row(A_MODRM, load_far, END_READ).only_memory(),             // les reg16, m16:16
    /*C5*/ row(A_MODRM, load_far, END_READ).only_memory(),             // lds reg16, m16:16
    /*C6*/ row(A_MODRM | A_IMM8, mov_rm_imm<false>, END_NEXT).only_regs(0x01),  // mov r/m8, imm8
    /*C7*/ row(A_MODRM | A_IMM16, mov_rm_imm<true>, END_NEXT).only_regs(0x01),  // mov r/m16, imm16
    /*C8*/ row(A_ENTER, enter, END_NEXT),                              // enter imm16, imm8
    /*C9*/ row(0, leave, END_NEXT),                                    // leave
    /*CA*/ row(A_IMM16, ret_far, END_TRANSFER),                        // retf imm16
    /*CB*/ row(0, ret_far, END_TRANSFER),                              // retf
    /*CC*/ row(0, interrupt, END_TRANSFER),                            // int3
    /*CD*/ row(A_IMM8, interrupt, END_TRANSFER),                       // int imm8
    /*CE*/ row(0, interrupt, END_TRANSFER),                            // into
    /*CF*/ row(0, interrupt_return, END_TRANSFER),                     // iret
    /*D0*/ group_row(A_MODRM, G_SH8_1),                                // shift r/m8, 1
    /*D1*/ group_row(A_MODRM, G_SH16_1),                               // shift r/m16, 1
    /*D2*/ group_row(A_MODRM, G_SH8CL),                                // shift r/m8, cl
    /*D3*/ group_row(A_MODRM, G_SH16CL),                               // shift r/m16, cl
    /*D4*/ row(A_IMM8, aam, END_READ),                                 // aam imm8
    /*D5*/ row(A_IMM8, aad, END_READ),                                 // aad imm8
    /*D6*/ row(0, salc, END_READ),                                     // salc
    /*D7*/ row(0, xlat, END_READ),                                     // xlat
    /*D8*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 0
    /*D9*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 1
    /*DA*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 2
    /*DB*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 3
    /*DC*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 4
    /*DD*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 5
    /*DE*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 6
    /*DF*/ row(A_MODRM, coprocessor_escape, END_NEXT),                 // esc 7
    /*E0*/ row(A_IMM8S, loop, END_BRANCH),                             // loopnz rel8
    /*E1*/ row(A_IMM8S, loop, END_BRANCH),                             // loopz rel8
    /*E2*/ row(A_IMM8S, loop, END_BRANCH),                             // loop rel8
    /*E3*/ row(A_IMM8S, jcxz, END_BRANCH),                             // jcxz rel8
    /*E4*/ row(A_IMM8, refused, END_REFUSE),                           // in al, imm8
    /*E5*/ row(A_IMM8, refused, END_REFUSE),                           // in ax, imm8
    /*E6*/ row(A_IMM8, refused, END_REFUSE),                           // out imm8, al
    /*E7*/ row(A_IMM8, refused, END_REFUSE),                           // out imm8, ax
    /*E8*/ row(A_IMM16, call_near, END_TRANSFER),                      // call rel16
    /*E9*/ row(A_IMM16, jmp_near, END_JUMP),                           // jmp rel16
    /*EA*/ row(A_FAR, jmp_far_ptr, END_TRANSFER),                      // jmp ptr16:16
    /*EB*/ row(A_IMM8S, jmp_near, END_JUMP),                           // jmp rel8
    /*EC*/ row(0, refused, END_REFUSE),                                // in al, dx
    /*ED*/ row(0, refused, END_REFUSE),                                // in ax, dx
    /*EE*/ row(0, refused, END_REFUSE),                                // out dx, al
    /*EF*/ row(0, refused, END_REFUSE),                                // out dx, ax
    /*F0*/ prefix_row(),                                               // lock prefix
    /*F1*/ undefined_row(),
    /*F2*/ prefix_row(),                                               // repne prefix
    /*F3*/ prefix_row(),                                               // rep prefix
    /*F4*/ row(0, refused, END_REFUSE),                                // hlt
    /*F5*/ row(0, cmc, END_READ),                                      // cmc
    /*F6*/ group_row(A_MODRM, G_UN8),                                  // test not neg mul div r/m8
    /*F7*/ group_row(A_MODRM, G_UN16),                                 // the same on r/m16
    /*F8*/ row(0, clc_stc, END_READ),                                  // clc
    /*F9*/ row(0, clc_stc, END_READ),                                  // stc
    /*FA*/ row(0, cli_sti, END_READ),                                  // cli
    /*FB*/ row(0, cli_sti, END_READ),                                  // sti
    /*FC*/ row(0, cld_std, END_READ),                                  // cld
    /*FD*/ row(0, cld_std, END_READ),                                  // std
    /*FE*/ group_row(A_MODRM, G_FE),                                   // inc/dec r/m8
    /*FF*/ group_row(A_MODRM, G_FF),                                   // inc dec call jmp push

    // G_ALU8: 80 and 82
    /*80/0*/ row(0, alu_rm_imm<false, ALU_ADD>, END_NEXT),
    /*80/1*/ row(0, alu_rm_imm<false, ALU_OR>, END_NEXT),
    /*80/2*/ row(0, alu_rm_imm<false, ALU_ADC>, END_NEXT),
    /*80/3*/ row(0, alu_rm_imm<false, ALU_SBB>, END_NEXT),
    /*80/4*/ row(0, alu_rm_imm<false, ALU_AND>, END_NEXT),
    /*80/5*/ row(0, alu_rm_imm<false, ALU_SUB>, END_NEXT),
    /*80/6*/ row(0, alu_rm_imm<false, ALU_XOR>, END_NEXT),
    /*80/7*/ row(0, alu_rm_imm<false, ALU_CMP>, END_READ),
    // G_ALU16: 81
    /*81/0*/ row(0, alu_rm_imm<true, ALU_ADD>, END_NEXT),
    /*81/1*/ row(0, alu_rm_imm<true, ALU_OR>, END_NEXT),
    /*81/2*/ row(0, alu_rm_imm<true, ALU_ADC>, END_NEXT),
    /*81/3*/ row(0, alu_rm_imm<true, ALU_SBB>, END_NEXT),
    /*81/4*/ row(0, alu_rm_imm<true, ALU_AND>, END_NEXT),
    /*81/5*/ row(0, alu_rm_imm<true, ALU_SUB>, END_NEXT),
    /*81/6*/ row(0, alu_rm_imm<true, ALU_XOR>, END_NEXT),
    /*81/7*/ row(0, alu_rm_imm<true, ALU_CMP>, END_READ),
    // G_ALU16S: 83
    /*83/0*/ row(0, alu_rm_imm<true, ALU_ADD>, END_NEXT),
    /*83/1*/ row(0, alu_rm_imm<true, ALU_OR>, END_NEXT),
    /*83/2*/ row(0, alu_rm_imm<true, ALU_ADC>, END_NEXT),
    /*83/3*/ row(0, alu_rm_imm<true, ALU_SBB>, END_NEXT),
    /*83/4*/ row(0, alu_rm_imm<true, ALU_AND>, END_NEXT),
    /*83/5*/ row(0, alu_rm_imm<true, ALU_SUB>, END_NEXT),
    /*83/6*/ row(0, alu_rm_imm<true, ALU_XOR>, END_NEXT),
    /*83/7*/ row(0, alu_rm_imm<true, ALU_CMP>, END_READ),
    // G_SH8I: C0
    /*C0/0*/ row(0, shift_group<false, SH_ROL, Count::imm>, END_NEXT),
    /*C0/1*/ row(0, shift_group<false, SH_ROR, Count::imm>, END_NEXT),
    /*C0/2*/ row(0, shift_group<false, SH_RCL, Count::imm>, END_NEXT),
    /*C0/3*/ row(0, shift_group<false, SH_RCR, Count::imm>, END_NEXT),
    /*C0/4*/ row(0, shift_group<false, SH_SHL, Count::imm>, END_NEXT),
    /*C0/5*/ row(0, shift_group<false, SH_SHR, Count::imm>, END_NEXT),
    /*C0/6*/ row(0, shift_group<false, SH_SAL, Count::imm>, END_NEXT),
    /*C0/7*/ row(0, shift_group<false, SH_SAR, Count::imm>, END_NEXT),
    // G_SH16I: C1
    /*C1/0*/ row(0, shift_group<true, SH_ROL, Count::imm>, END_NEXT),
    /*C1/1*/ row(0, shift_group<true, SH_ROR, Count::imm>, END_NEXT),
    /*C1/2*/ row(0, shift_group<true, SH_RCL, Count::imm>, END_NEXT),
    /*C1/3*/ row(0, shift_group<true, SH_RCR, Count::imm>, END_NEXT),
    /*C1/4*/ row(0, shift_group<true, SH_SHL, Count::imm>, END_NEXT),
    /*C1/5*/ row(0, shift_group<true, SH_SHR, Count::imm>, END_NEXT),
    /*C1/6*/ row(0, shift_group<true, SH_SAL, Count::imm>, END_NEXT),
    /*C1/7*/ row(0, shift_group<true, SH_SAR, Count::imm>, END_NEXT),
    // G_SH8_1: D0
    /*D0/0*/ row(0, shift_group<false, SH_ROL, Count::one>, END_NEXT),
    /*D0/1*/ row(0, shift_group<false, SH_ROR, Count::one>, END_NEXT),
    /*D0/2*/ row(0, shift_group<false, SH_RCL, Count::one>, END_NEXT),
    /*D0/3*/ row(0, shift_group<false, SH_RCR, Count::one>, END_NEXT),
    /*D0/4*/ row(0, shift_group<false, SH_SHL, Count::one>, END_NEXT),
    /*D0/5*/ row(0, shift_group<false, SH_SHR, Count::one>, END_NEXT),
    /*D0/6*/ row(0, shift_group<false, SH_SAL, Count::one>, END_NEXT),
    /*D0/7*/ row(0, shift_group<false, SH_SAR, Count::one>, END_NEXT),
    // G_SH16_1: D1
    /*D1/0*/ row(0, shift_group<true, SH_ROL, Count::one>, END_NEXT),
    /*D1/1*/ row(0, shift_group<true, SH_ROR, Count::one>, END_NEXT),
    /*D1/2*/ row(0, shift_group<true, SH_RCL, Count::one>, END_NEXT),
    /*D1/3*/ row(0, shift_group<true, SH_RCR, Count::one>, END_NEXT),
    /*D1/4*/ row(0, shift_group<true, SH_SHL, Count::one>, END_NEXT),
    /*D1/5*/ row(0, shift_group<true, SH_SHR, Count::one>, END_NEXT),
    /*D1/6*/ row(0, shift_group<true, SH_SAL, Count::one>, END_NEXT),
    /*D1/7*/ row(0, shift_group<true, SH_SAR, Count::one>, END_NEXT),
    // G_SH8CL: D2
    /*D2/0*/ row(0, shift_group<false, SH_ROL, Count::cl>, END_NEXT),
    /*D2/1*/ row(0, shift_group<false, SH_ROR, Count::cl>, END_NEXT),
    /*D2/2*/ row(0, shift_group<false, SH_RCL, Count::cl>, END_NEXT),
    /*D2/3*/ row(0, shift_group<false, SH_RCR, Count::cl>, END_NEXT),
    /*D2/4*/ row(0, shift_group<false, SH_SHL, Count::cl>, END_NEXT),
    /*D2/5*/ row(0, shift_group<false, SH_SHR, Count::cl>, END_NEXT),
    /*D2/6*/ row(0, shift_group<false, SH_SAL, Count::cl>, END_NEXT),
    /*D2/7*/ row(0, shift_group<false, SH_SAR, Count::cl>, END_NEXT),
    // G_SH16CL: D3
    /*D3/0*/ row(0, shift_group<true, SH_ROL, Count::cl>, END_NEXT),
    /*D3/1*/ row(0, shift_group<true, SH_ROR, Count::cl>, END_NEXT),
    /*D3/2*/ row(0, shift_group<true, SH_RCL, Count::cl>, END_NEXT),
    /*D3/3*/ row(0, shift_group<true, SH_RCR, Count::cl>, END_NEXT),
    /*D3/4*/ row(0, shift_group<true, SH_SHL, Count::cl>, END_NEXT),
    /*D3/5*/ row(0, shift_group<true, SH_SHR, Count::cl>, END_NEXT),
    /*D3/6*/ row(0, shift_group<true, SH_SAL, Count::cl>, END_NEXT),
    /*D3/7*/ row(0, shift_group<true, SH_SAR, Count::cl>, END_NEXT),
    // G_UN8: F6
    /*F6/0*/ row(A_IMM8, test_rm_imm<false>, END_READ),                // test
    /*F6/1*/ row(A_IMM8, test_rm_imm<false>, END_READ),                // test (as /0)
    /*F6/2*/ row(0, not_rm<false>, END_NEXT),                          // not
    /*F6/3*/ row(0, neg_rm<false>, END_NEXT),                          // neg
    /*F6/4*/ row(0, mul_rm<false>, END_NEXT),                          // mul
    /*F6/5*/ row(0, imul_rm<false>, END_NEXT),                         // imul
    /*F6/6*/ row(0, div_rm<false>, END_NEXT),                          // div
    /*F6/7*/ row(0, idiv_rm<false>, END_NEXT),                         // idiv
    // G_UN16: F7
    /*F7/0*/ row(A_IMM16, test_rm_imm<true>, END_READ),                // test
    /*F7/1*/ row(A_IMM16, test_rm_imm<true>, END_READ),                // test (as /0)
    /*F7/2*/ row(0, not_rm<true>, END_NEXT),                           // not
    /*F7/3*/ row(0, neg_rm<true>, END_NEXT),                           // neg
    /*F7/4*/ row(0, mul_rm<true>, END_NEXT),                           // mul
    /*F7/5*/ row(0, imul_rm<true>, END_NEXT),                          // imul
    /*F7/6*/ row(0, div_rm<true>, END_NEXT),                           // div
    /*F7/7*/ row(0, idiv_rm<true>, END_NEXT),                          // idiv
    // G_FE: FE
    /*FE/0*/ row(0, inc_dec_rm<false, false>, END_NEXT),               // inc
    /*FE/1*/ row(0, inc_dec_rm<false, true>, END_NEXT),                // dec
    /*FE/2*/ undefined_row(),
    /*FE/3*/ undefined_row(),
    /*FE/4*/ undefined_row(),
    /*FE/5*/ undefined_row(),
    /*FE/6*/ undefined_row(),
    /*FE/7*/ undefined_row(),
    // G_FF: FF
    /*FF/0*/ row(0, inc_dec_rm<true, false>, END_NEXT),                // inc
    /*FF/1*/ row(0, inc_dec_rm<true, true>, END_NEXT),                 // dec
    /*FF/2*/ row(0, call_rm, END_TRANSFER),                            // call r/m16
    /*FF/3*/ row(0, call_far_rm, END_TRANSFER).only_memory(),          // call m16:16
    /*FF/4*/ row(0, jmp_rm, END_TRANSFER),                             // jmp r/m16
    /*FF/5*/ row(0, jmp_far_rm, END_TRANSFER).only_memory(),           // jmp m16:16
    /*FF/6*/ row(0, push_rm, END_NEXT),                                // push r/m16
    /*FF/7*/ undefined_row(),

    // Operations of the decoder's own
    /*OP_INVALID*/ row(0, invalid, END_FAULT),
    /*OP_TOO_LONG*/ row(0, too_long, END_FAULT),
    /*OP_BLOCK_END*/ row(0, block_end, END_LOOKUP),
};
// clang-format on

static_assert(std::size(operations) == OP_COUNT, "every operation number needs its row");

// A group's operations follow one another from its first number, and are
// not groups themselves.
constexpr bool groups_are_whole() {
    for (unsigned op = 0; op < 256; ++op) {
        uint16_t first = operations[op].group;
        if (first == 0)
            continue;
        if (first < 256 || first + 8 > OP_INVALID || !(operations[op].operands & A_MODRM))
            return false;
        for (unsigned reg = 0; reg < 8; ++reg)
            if (operations[first + reg].group != 0 || (operations[first + reg].operands & A_MODRM))
                return false;
    }
    return true;
}
static_assert(groups_are_whole());

// What the decoder needs of a row, in a table small enough to stay in the
// cache (the rows themselves are only read while compiling).
struct DecodeRow {
    uint16_t group;
    uint8_t operands;
    uint8_t defined_regs;
    bool memory_only;
};

constexpr std::array<DecodeRow, OP_COUNT> make_decode_rows() {
    std::array<DecodeRow, OP_COUNT> t{};
    for (unsigned op = 0; op < OP_COUNT; ++op) {
        const Operation &o = operations[op];
        t[op] = {o.group, o.operands, o.defined_regs, o.memory_only};
    }
    return t;
}
inline constexpr std::array<DecodeRow, OP_COUNT> decode_rows = make_decode_rows();

// Whether a block of decoded code ends after the operation: it always
// transfers control, leaves the run loop or cannot complete. A block goes
// on past conditional jumps and loops, whose handlers leave it only when
// the jump is taken.
constexpr std::array<bool, OP_COUNT> make_block_ends() {
    std::array<bool, OP_COUNT> t{};
    for (unsigned op = 0; op < OP_COUNT; ++op) {
        Ending e = operations[op].ending;
        t[op] = e == END_JUMP || e == END_TRANSFER || e == END_REFUSE || e == END_FAULT;
    }
    return t;
}
inline constexpr std::array<bool, OP_COUNT> block_ends = make_block_ends();

inline bool ends_block(uint16_t op) {
    return block_ends[op];
}

} // namespace vm86::engine
