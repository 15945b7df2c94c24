; exec PROGRAM ARGS...: replaces itself by PROGRAM with the arguments that
; follow and the same environment, the initial stack turned into the
; argument block execve takes. Prints the error and exits with 3 when the
; call returns.
; Before that it leaves the new program what an execve must not pass on:
; descriptor 8, marked close-on-exec, a handler for SIGUSR1, and 0xAA in
; every free byte of its memory; and what it must: descriptor 9, and
; SIGUSR2 ignored.
%include "tavi.inc"
F_SETFD equ 2
SIGUSR1 equ 10
SIGUSR2 equ 12
SIG_IGN equ 1
        mov bx, s_null
        mov cx, 0               ; O_RDONLY
        sys SYS_OPEN
        mov [null_fd], ax
        mov bx, ax
        mov cx, 8
        sys SYS_DUP2
        mov bx, [null_fd]
        mov cx, 9
        sys SYS_DUP2
        mov bx, [null_fd]
        sys SYS_CLOSE
        mov bx, 8
        mov cx, F_SETFD
        mov dx, 1               ; FD_CLOEXEC
        sys SYS_FCNTL
        mov bx, SIGUSR1
        mov cx, stale_handler
        sys SYS_SIGNAL
        mov bx, SIGUSR2
        mov cx, SIG_IGN
        sys SYS_SIGNAL
        mov al, 0xAA            ; the text segment past the text
        push es
        mov bx, cs
        mov es, bx
        mov di, tavi_text_end
        mov cx, di
        neg cx
        rep stosb
        pop es
        mov di, tavi_bss_end    ; the data segment up to a little below SP
        mov cx, sp
        sub cx, 0x100
        sub cx, di
        rep stosb

        mov bp, sp
        mov bx, [bp + 4]        ; argv[1], the path
        call exec_block_from_stack
        sys SYS_EXECVE
        push ax
        mov si, s_failed
        call puts
        pop ax
        call put_hex
        call put_nl
        mov bx, 3
        call exit

%include "exec_block.inc"

; A handler of the old program, which must never run in the new one.
stale_handler:
        mov si, s_stale
        call puts
        mov bx, 9
        call exit

        section .data
s_failed: db "execve: ", 0
s_null: db "/dev/null", 0
s_stale: db "the old program's handler ran", 10, 0
        section .bss
null_fd: resw 1
        section .text
%include "lib.inc"
        tavi_end
