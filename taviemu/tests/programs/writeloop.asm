; Writes one byte a million times to /dev/null: a million system-call round
; trips through the runner.
%include "tavi.inc"
        mov bx, s_null
        mov cx, 1               ; O_WRONLY
        sys SYS_OPEN
        test ax, ax
        js failed
        mov [fd], ax
        mov di, 1000
outer:  mov si, 1000
inner:  mov bx, [fd]
        mov cx, byte_out
        mov dx, 1
        sys SYS_WRITE
        cmp ax, 1
        jne failed
        dec si
        jnz inner
        dec di
        jnz outer
        mov bx, 0
        call exit
failed: mov bx, 1
        call exit
        section .data
s_null: db "/dev/null", 0
byte_out: db "x"
        section .bss
fd:     resw 1
        section .text
%include "lib.inc"
        tavi_end
