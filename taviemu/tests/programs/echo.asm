; Writes each argument and then each environment string on a line of its
; own, from the vectors on the initial stack, and exits with status 0.
%include "tavi.inc"
        mov bp, sp
        lea bx, [bp + 2]        ; the argument vector
        call put_list
        call put_list           ; BX now at the environment vector
        mov bx, 0
        call exit

; Writes the strings of the null-terminated vector at BX; leaves BX past it.
put_list:
        mov si, [bx]
        add bx, 2
        test si, si
        jz .done
        call puts
        call put_nl
        jmp put_list
.done:  ret

%include "lib.inc"
        tavi_end
