; A text of exactly 0x123 bytes: the data must follow it directly. Prints
; the offset of its data and the data itself.
%include "tavi.inc"
        mov ax, tavi_data_start
        call put_hex
        call put_nl
        mov si, marker
        call puts
        mov bx, 0
        call exit
%include "lib.inc"
        section .text
        times 0x123 - ($ - $$) db 0x90
        section .data
marker: db "data after the text", 10, 0
        tavi_end
