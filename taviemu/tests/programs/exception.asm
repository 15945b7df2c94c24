; exception KIND: writes "before", then raises a processor exception: KIND
; 0 divides by zero at offset 0020 of the text, 6 runs an undefined opcode
; at 0030, 13 loads a word from offset FFFF at 0040.
%include "tavi.inc"
        mov bp, sp
        mov si, s_before
        call puts
        mov si, [bp + 4]        ; argv[1]
        mov al, [si]
        xor cx, cx
        cmp al, '6'
        je undefined_op
        cmp al, '1'
        je read_word
        jmp divide_zero
        times 0x20 - ($ - $$) nop
divide_zero: div cx
        times 0x30 - ($ - $$) nop
undefined_op:
        db 0x0F, 0x0B           ; ud2: no instruction of this processor
        times 0x40 - ($ - $$) nop
read_word:   mov ax, [0xFFFF]
        section .data
s_before: db "before", 10, 0
        section .text
%include "lib.inc"
        tavi_end
