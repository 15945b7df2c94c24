; Says "before", then asks for interrupt 0x21, which the runner does not
; serve: it must end with SIGILL before "after" is written.
%include "tavi.inc"
        mov si, s_before
        call puts
        mov ah, 0x4C
        int 0x21
        mov si, s_after
        call puts
        mov bx, 0
        call exit
        section .data
s_before: db "before", 10, 0
s_after: db "after", 10, 0
        section .text
%include "lib.inc"
        tavi_end
