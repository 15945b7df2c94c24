; The tavi side of driver_bench.sh, in the shape of a compiler driver:
; "driver PROGRAM ARG..." runs PROGRAM with the arguments that follow 200
; times in turn, each in a forked child that execs it, and waits for each.
; Exits with 0 when every run exited with 0, else with 1. A combined-layout
; program whose text holds everything; driver_bench.sh adds the header.
; driver.c is the same for the host.
        cpu 286
RUNS equ 200
        ; The initial stack becomes, once, the argument block execve takes:
        ; argc - 1 over argv[0]'s offset, every offset made relative to
        ; the block's start, which reaches the end of the segment.
        mov bp, sp
        mov bx, [bp + 4]        ; argv[1], the path
        mov [path], bx
        mov ax, [bp]
        dec ax
        lea di, [bp + 2]
        mov [di], ax
        mov [block], di
        lea si, [di + 2]
        call rebase             ; the arguments
        call rebase             ; the environment
        mov dx, di
        neg dx
        mov [block_bytes], dx
        mov word [left], RUNS

next:   mov ax, 2               ; fork
        int 0x80
        test ax, ax
        js failed
        jz child
        mov bx, ax
        mov cx, status
        mov dx, 0
        mov di, 0               ; no resource usage
        mov ax, 7               ; wait4
        int 0x80
        test ax, ax
        js failed
        cmp word [status], 0
        jne failed
        dec word [left]
        jnz next
        mov bx, 0
        jmp exit

child:  mov bx, [path]
        mov cx, [block]
        mov dx, [block_bytes]
        mov ax, 11              ; execve
        int 0x80
        mov bx, 127
        jmp exit
failed: mov bx, 1
exit:   mov ax, 1
        int 0x80

; Makes the offsets of the null-terminated vector at SI relative to DI;
; leaves SI past its 0 word.
rebase: mov ax, [si]
        add si, 2
        test ax, ax
        jz .done
        sub ax, di
        mov [si - 2], ax
        jmp rebase
.done:  ret

path:        dw 0
block:       dw 0
block_bytes: dw 0
left:        dw 0
status:      dw 0
