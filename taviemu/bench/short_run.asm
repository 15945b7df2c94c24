; The short program that driver_bench.sh has its driver start 200 times: a
; loop of 10,000 turns (about 30,000 instructions), then exit with status
; 0. short_run.c is the same for the host.
        cpu 286
        mov cx, 10000
        xor ax, ax
.turn:  add ax, cx
        rol ax, 1
        loop .turn
        mov bx, 0
        mov ax, 1               ; exit
        int 0x80
