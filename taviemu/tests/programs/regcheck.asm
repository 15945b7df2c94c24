; Interrupt 0x80 puts its result in AX and nothing else changes; after
; interrupt 0x20 AX is the status of the message exchange, 0, and every
; other register is as it was. Prints "ok" or the number of
; the first check that failed, as its exit status.
%include "tavi.inc"
        mov bp, 0x1111
        mov si, 0x2222
        mov di, 0x3333
        mov bx, 1
        mov cx, seven
        mov dx, 7
        sys SYS_WRITE           ; "seven!\n": AX = 7
        cmp ax, 7
        mov al, 1
        jne bad
        cmp bx, 1
        mov al, 2
        jne bad
        cmp cx, seven
        mov al, 3
        jne bad
        cmp dx, 7
        mov al, 4
        jne bad
        cmp bp, 0x1111
        mov al, 5
        jne bad
        cmp si, 0x2222
        mov al, 6
        jne bad
        cmp di, 0x3333
        mov al, 7
        jne bad
        mov ax, 0               ; a getpid message to the memory manager,
        mov bx, message         ; sent and its reply received
        mov cx, 3
        mov dx, 0x5555
        int 0x20
        cmp ax, 0
        mov al, 8
        jne bad
        cmp bx, message
        mov al, 9
        jne bad
        cmp cx, 3
        mov al, 10
        jne bad
        cmp dx, 0x5555
        mov al, 11
        jne bad
        cmp bp, 0x1111
        mov al, 12
        jne bad
        cmp si, 0x2222
        mov al, 13
        jne bad
        cmp di, 0x3333
        mov al, 14
        jne bad
        mov ax, [message + 2]   ; the reply holds the process ID
        test ax, ax
        mov al, 15
        jle bad
        mov si, s_ok
        call puts
        mov bx, 0
        call exit
bad:    mov bl, al
        mov bh, 0
        call exit
        section .data
seven:  db "seven!", 10
s_ok:   db "ok", 10, 0
message: dw 0, 20
        times 20 db 0
        section .text
%include "lib.inc"
        tavi_end
