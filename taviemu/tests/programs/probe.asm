; probe [fds]: with an argument, says whether descriptors 8 and 9 are
; open; then sends itself SIGUSR2 and SIGUSR1 and says which it outlived.
; Run after exec, it shows what the exec passed on.
%include "tavi.inc"
F_GETFD equ 1
SIGUSR1 equ 10
SIGUSR2 equ 12
        mov bp, sp
        cmp word [bp], 1        ; argc: the descriptors only when asked
        je signals
        mov bx, 8
        call show_fd
        mov bx, 9
        call show_fd
signals:
        mov bx, 0
        sys SYS_GETPID
        mov [own], ax
        mov bx, [own]
        mov cx, SIGUSR2
        sys SYS_KILL
        mov si, s_usr2
        call puts
        mov bx, [own]
        mov cx, SIGUSR1
        sys SYS_KILL
        mov si, s_usr1
        call puts
        mov bx, 0
        call exit

; Writes "N open" or "N closed" for descriptor BX (0 to 9).
show_fd:
        mov al, bl
        add al, '0'
        mov [s_fd], al
        mov cx, F_GETFD
        sys SYS_FCNTL
        mov si, s_open
        test ax, ax
        jns .say
        mov si, s_closed
.say:   push si
        mov si, s_fd
        call puts
        pop si
        call puts
        ret

        section .data
s_fd:   db "? ", 0
s_open: db "open", 10, 0
s_closed: db "closed", 10, 0
s_usr2: db "outlived SIGUSR2", 10, 0
s_usr1: db "outlived SIGUSR1", 10, 0
        section .bss
own:    resw 1
        section .text
%include "lib.inc"
        tavi_end
