; Grows and shrinks the break and prints each result in hex: growth past
; the bss, use of the new memory, the limit 256 bytes below SP, a break at
; SP, one below the end of the bss, then shrinking back.
%include "tavi.inc"
        mov bx, tavi_bss_end + 0x100
        sys SYS_BRK
        call put_hex
        call put_nl
        mov byte [tavi_bss_end + 0xFF], 'z'     ; the new memory is there
        mov bx, sp
        sub bx, 0x100
        sys SYS_BRK
        call put_hex
        call put_nl
        mov bx, sp
        sub bx, 0xFF
        sys SYS_BRK
        call put_hex
        call put_nl
        mov bx, sp
        sys SYS_BRK
        call put_hex
        call put_nl
        mov bx, tavi_bss_end - 1
        sys SYS_BRK
        call put_hex
        call put_nl
        mov bx, tavi_bss_end
        sys SYS_BRK
        call put_hex
        call put_nl
        mov bx, 0
        call exit
%include "lib.inc"
        section .bss
        resb 10
        tavi_end
