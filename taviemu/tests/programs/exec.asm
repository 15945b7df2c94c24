; exec PROGRAM ARGS...: replaces itself by PROGRAM with the arguments that
; follow and the same environment. Prints the error and exits with 3 when
; the call returns.
%include "tavi.inc"
        mov bp, sp
        mov ax, [bp]            ; argc
        lea di, [bp + 2]        ; argv
        add ax, ax
        add di, ax
        add di, 2               ; envp: past argv's terminating 0
        mov bx, [bp + 4]        ; argv[1]
        lea cx, [bp + 4]
        mov dx, di
        sys SYS_EXECVE
        push ax
        mov si, s_failed
        call puts
        pop ax
        call put_hex
        call put_nl
        mov bx, 3
        call exit
        section .data
s_failed: db "execve: ", 0
        section .text
%include "lib.inc"
        tavi_end
