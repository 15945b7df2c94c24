; Reads memory outside the program area.
%include "tavi.inc"
        mov ax, 0x5000
        mov ds, ax
        mov al, [0x10]
        mov bx, 0
        call exit
%include "lib.inc"
        tavi_end
