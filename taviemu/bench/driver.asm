; The tavi side of driver_bench.sh, in the shape of a compiler driver:
; "driver PROGRAM ARG..." runs PROGRAM with the arguments that follow 200
; times in turn, each in a forked child that execs it, and waits for each.
; Exits with 0 when every run exited with 0, else with 1. A combined-layout
; program whose text holds everything; driver_bench.sh assembles it with
; the test programs' exec_block.inc and adds the header. driver.c is the
; same for the host.
        cpu 286
RUNS equ 200
        ; The initial stack becomes the argument block, once.
        mov bp, sp
        mov bx, [bp + 4]        ; argv[1], the path
        mov [path], bx
        call exec_block_from_stack
        mov [block], cx
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

%include "exec_block.inc"

path:        dw 0
block:       dw 0
block_bytes: dw 0
left:        dw 0
status:      dw 0
