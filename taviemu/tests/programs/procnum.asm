; Forks a child that sends its own number and its parent's (getpid)
; through a pipe and then waits for ever on another; the parent checks them
; against fork's result and its own number, kills the child, waits for it,
; and tries kill and wait4 on it again now that it is gone. Prints one line
; per step: a status word or an error.
%include "tavi.inc"
        mov bx, fds
        sys SYS_PIPE
        mov bx, hold
        sys SYS_PIPE
        sys SYS_FORK
        test ax, ax
        js failed
        jz child
        mov [child_pid], ax
        mov bx, [fds]
        mov cx, got
        mov dx, 4
        sys SYS_READ
        cmp ax, 4
        jne failed
        mov si, s_agree
        mov ax, [got]
        cmp ax, [child_pid]
        jne .differ
        mov bx, 0               ; the parent's number is not wanted
        sys SYS_GETPID
        cmp ax, [got + 2]
        je .same
.differ: mov si, s_differ
.same:  call puts
        call kill_child
        call wait_child
        call kill_child         ; the child is gone now
        call wait_child
        mov bx, 0
        call exit
child:  mov bx, got + 2          ; the parent's number goes there
        sys SYS_GETPID
        mov [got], ax
        mov bx, [fds + 2]
        mov cx, got
        mov dx, 4
        sys SYS_WRITE
        mov bx, [hold]          ; nobody writes there: waits until killed
        mov cx, got
        mov dx, 1
        sys SYS_READ
        mov bx, 3
        call exit
failed: mov bx, 1
        call exit

; Sends SIGTERM to the child and prints the result.
kill_child:
        mov bx, [child_pid]
        mov cx, 15
        sys SYS_KILL
        mov si, s_kill
        jmp result

; Waits for the child and prints its status word, or the error.
wait_child:
        mov bx, [child_pid]
        mov cx, status
        mov dx, 0
        mov di, 0
        sys SYS_WAIT4
        cmp ax, [child_pid]
        jne .print
        mov ax, [status]
.print: mov si, s_wait
        jmp result

; Writes the text at SI, then AX in hex and a newline.
result: push ax
        call puts
        pop ax
        call put_hex
        call put_nl
        ret
        section .data
s_agree: db "numbers agree", 10, 0
s_differ: db "numbers differ", 10, 0
s_kill: db "kill ", 0
s_wait: db "wait ", 0
        section .bss
fds:    resw 2
hold:   resw 2
got:    resw 2
child_pid: resw 1
status: resw 1
        section .text
%include "lib.inc"
        tavi_end
