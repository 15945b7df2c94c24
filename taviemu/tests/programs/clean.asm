; Finds zeros wherever its image and its stack block are not: from the end
; of its bss up to SP in its segment, and in all of the area's second
; 64 KiB. Prints "clean" and exits with 0, or "dirty before" and the
; segment and offset where the search stopped, and exits with 1. Run by an
; execve, it shows that nothing of the old program's memory is left.
%include "tavi.inc"
        mov di, tavi_bss_end    ; ES = DS at start-up
        mov cx, sp
        sub cx, di
        xor al, al              ; ZF set, should there be no byte to look at
        repe scasb
        jne dirty
        mov ax, ds
        add ax, 0x1000
        mov es, ax
        xor di, di
        mov cx, 0x8000
        xor ax, ax
        repe scasw
        jne dirty
        mov si, s_clean
        call puts
        mov bx, 0
        call exit
dirty:  mov si, s_dirty
        call puts
        mov ax, es
        call put_hex
        mov si, s_colon
        call puts
        mov ax, di
        call put_hex
        call put_nl
        mov bx, 1
        call exit
        section .data
s_clean: db "clean", 10, 0
s_dirty: db "dirty before ", 0
s_colon: db ":", 0
        section .text
%include "lib.inc"
        tavi_end
