; Reports the segment registers and SP as the runner started the program,
; then writes the initial stack block (SP up to the end of the segment) raw.
; Offset 2 holds an int 0x21: the header's entry field points there, and a
; runner that took it would end with SIGILL instead of printing.
%include "tavi.inc"
        jmp short start
        int 0x21
start:  mov [saved_sp], sp
        mov si, s_cs
        call puts
        mov ax, cs
        call put_hex
        mov si, s_ds
        call puts
        mov ax, ds
        call put_hex
        mov si, s_es
        call puts
        mov ax, es
        call put_hex
        mov si, s_ss
        call puts
        mov ax, ss
        call put_hex
        mov si, s_sp
        call puts
        mov ax, [saved_sp]
        call put_hex
        call put_nl
        mov cx, [saved_sp]      ; the block, raw
        mov dx, cx
        neg dx
        mov bx, 1
        sys SYS_WRITE
        mov bx, 0
        call exit

        section .data
s_cs:   db "cs=", 0
s_ds:   db " ds=", 0
s_es:   db " es=", 0
s_ss:   db " ss=", 0
s_sp:   db " sp=", 0
        section .bss
saved_sp: resw 1
        section .text
%include "lib.inc"
        tavi_end
