; Forks; the child says so and exits with 7, the parent waits for it and
; prints whether wait4 named the child, and the status word it got.
%include "tavi.inc"
        sys SYS_FORK
        test ax, ax
        js failed
        jz child
        mov [pid], ax
        mov bx, ax
        mov cx, status
        mov dx, 0
        mov di, 0               ; no resource usage
        sys SYS_WAIT4
        cmp ax, [pid]
        jne failed
        mov si, s_parent
        call puts
        mov ax, [status]
        call put_hex
        call put_nl
        mov bx, 0
        call exit
child:  mov si, s_child
        call puts
        mov bx, 7
        call exit
failed: mov bx, 1
        call exit
        section .data
s_child: db "child", 10, 0
s_parent: db "parent: waited for the child, status ", 0
        section .bss
pid:    resw 1
status: resw 1
        section .text
%include "lib.inc"
        tavi_end
