; Copies standard input to standard output.
%include "tavi.inc"
again:  mov bx, 0
        mov cx, buffer
        mov dx, 4096
        sys SYS_READ
        test ax, ax
        jz done
        js fail
        mov dx, ax
        mov bx, 1
        mov cx, buffer
        sys SYS_WRITE
        test ax, ax
        js fail
        jmp again
done:   mov bx, 0
        call exit
fail:   mov bx, 1
        call exit
%include "lib.inc"
        section .bss
buffer: resb 4096
        tavi_end
