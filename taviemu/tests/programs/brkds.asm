; Grows the break with DS moved to the code segment: the break belongs to
; the data segment of the layout, so the text must stay as it was. Prints
; the result in hex and, with the text intact, "text intact".
%include "tavi.inc"
        mov ax, cs
        mov ds, ax
        mov bx, tavi_bss_end + 0x200
        sys SYS_BRK
        mov bx, ss
        mov ds, bx
        call put_hex
        call put_nl
        mov si, s_intact
        call puts
        mov bx, 0
        call exit
        section .data
s_intact: db "text intact", 10, 0
        section .text
%include "lib.inc"
        tavi_end
