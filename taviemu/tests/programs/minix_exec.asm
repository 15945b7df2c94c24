; minix_exec PROGRAM ARGS...: replaces itself by PROGRAM through the Minix
; exec message, as the Minix library's execve sends it: the initial stack
; turned into the new program's whole stack block (argc - 1 over argv[0]'s
; offset, every offset made relative to the block's start), with its
; length, and the path with its length. Prints the reply's type and exits
; with 3 when the call returns.
%include "tavi.inc"
M_EXEC equ 59
TASK_MM equ 0

        mov bp, sp
        mov si, [bp + 4]        ; argv[1], the path
        mov [msg + 10], si      ; m1_p1
        call length
        mov [msg + 4], cx       ; m1_i1: the length with the NUL
        call exec_block_from_stack
        mov [msg + 12], cx      ; m1_p2
        mov [msg + 6], dx       ; m1_i2
        mov word [msg + 2], M_EXEC
        mov ax, TASK_MM
        mov bx, msg
        mov cx, 3
        int 0x20
        mov si, s_failed
        call puts
        mov ax, [msg + 2]
        call put_hex
        call put_nl
        mov bx, 3
        call exit

; The length of the string at SI with its NUL, in CX.
length: mov cx, 0
.next:  inc cx
        lodsb
        test al, al
        jnz .next
        ret

%include "exec_block.inc"

        section .data
s_failed: db "exec: ", 0
        section .bss
msg:    resb 24
        section .text
%include "lib.inc"
        tavi_end
