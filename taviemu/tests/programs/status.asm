; Exits with the status given in decimal as its argument.
%include "tavi.inc"
        mov bp, sp
        mov si, [bp + 4]        ; argv[1]
        xor bx, bx
.digit: mov al, [si]
        test al, al
        jz .done
        sub al, '0'
        cbw
        imul bx, bx, 10
        add bx, ax
        inc si
        jmp .digit
.done:  call exit
%include "lib.inc"
        tavi_end
