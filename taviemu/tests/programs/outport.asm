; An I/O port instruction, which virtual-8086 mode refuses.
%include "tavi.inc"
        mov al, 1
        out 0x80, al
        mov bx, 0
        call exit
%include "lib.inc"
        tavi_end
