; Sets the trap flag with POPF, then makes two system calls, each after an
; instruction: the single-step trap comes after the first instruction that
; is not a system call, so only "a" is written.
%include "tavi.inc"
        mov bx, 1
        mov cx, s_a
        mov dx, 1
        mov ax, SYS_WRITE
        pushf
        pop si
        or si, 0x0100
        push si
        popf                    ; TF set: the next instruction traps after it
        int 0x80                ; ...unless it is a system call
        mov ax, SYS_WRITE       ; the trap comes after this
        mov cx, s_b
        int 0x80
        mov bx, 0
        call exit
        section .data
s_a:    db "a"
s_b:    db "b"
        section .text
%include "lib.inc"
        tavi_end
