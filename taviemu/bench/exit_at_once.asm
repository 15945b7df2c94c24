; A tavi program that exits at once with status 0: what startup_bench.sh
; starts a thousand times. exit_at_once.c is the same for the host.
        cpu 286
        mov bx, 0
        mov ax, 1               ; exit
        int 0x80
