; Signals caught by a handler, entered as the tavi system enters one: the
; signal number and then the IP to resume at pushed on the stack, every
; other register and the flags as they were. The handler keeps a copy of
; what it found (its own saved registers, the flags, the frame). Prints one
; line per check; at the end SIGUSR2, set back to its default, ends it.
%include "tavi.inc"
SIGUSR1 equ 10
SIGUSR2 equ 12
SIGALRM equ 14
SIG_DFL equ 0
SIG_IGN equ 1
CARRY equ 0x0001
DIRECTION equ 0x0400

%macro say 1
        mov si, %1
        call puts
%endmacro
%macro hex_line 0
        call put_hex
        call put_nl
%endmacro
; ok_if cc, label: "label ok" when the condition holds, else "label bad".
%macro ok_if 2
        mov si, s_ok
        j%1 %%held
        mov si, s_bad
%%held: push si
        mov si, %2
        call puts
        pop si
        call puts
%endmacro

        ; What signal() gives back: the default at first, then the handler.
        mov bx, SIGUSR1
        mov cx, handler
        sys SYS_SIGNAL
        push ax
        say s_first
        pop ax
        hex_line
        mov bx, SIGUSR1
        mov cx, handler
        sys SYS_SIGNAL
        cmp ax, handler
        ok_if e, s_again

        ; kill() of itself: the handler runs before the next instruction.
        mov bx, 0
        sys SYS_GETPID
        mov [own], ax
        mov bx, ax
        mov cx, SIGUSR1
        mov dx, 0x1234
        mov si, 0x5678
        mov di, 0x9ABC
        mov bp, 0xDEF0
        mov [sp_before], sp
        stc
        std
        sys SYS_KILL
resume: cld
        mov [sp_after], sp
        push ax
        say s_signal
        mov ax, [seen_sig]
        hex_line
        mov ax, [seen_ip]
        cmp ax, resume
        ok_if e, s_ip
        say s_ax
        mov ax, [seen_ax]
        hex_line
        pop ax
        cmp ax, [seen_ax]
        ok_if e, s_ax_after
        call registers_kept
        ok_if e, s_registers
        mov ax, [seen_flags]
        and ax, CARRY | DIRECTION
        cmp ax, CARRY | DIRECTION
        ok_if e, s_flags
        mov ax, [sp_after]
        cmp ax, [sp_before]
        ok_if e, s_sp

        ; A blocking read that SIGALRM interrupts: -EINTR in AX first.
        mov bx, SIGALRM
        mov cx, handler
        sys SYS_SIGNAL
        mov bx, fds
        sys SYS_PIPE
        mov bx, 1
        sys SYS_ALARM
        mov bx, [fds]
        mov cx, byte_in
        mov dx, 1
        sys SYS_READ
        push ax
        say s_read
        pop ax
        hex_line
        say s_read_seen
        mov ax, [seen_ax]
        hex_line

        ; A loop without a system call still gets the signal.
        mov ax, [hits]
        mov [hits_before], ax
        mov bx, 1
        sys SYS_ALARM
spin:   mov ax, [hits]
        cmp ax, [hits_before]
        je spin
        say s_spin

        ; pause() returns -EINTR once the handler has run.
        mov bx, 1
        sys SYS_ALARM
        sys SYS_PAUSE
        push ax
        say s_pause
        pop ax
        hex_line

        ; SIG_IGN: the signal is dropped; SIG_DFL then ends the program.
        mov bx, SIGUSR2
        mov cx, SIG_IGN
        sys SYS_SIGNAL
        mov bx, [own]
        mov cx, SIGUSR2
        sys SYS_KILL
        say s_ignored
        mov bx, SIGUSR2
        mov cx, SIG_DFL
        sys SYS_SIGNAL
        push ax
        say s_default
        pop ax
        hex_line
        mov bx, [own]
        mov cx, SIGUSR2
        sys SYS_KILL
        say s_survived
        mov bx, 1
        call exit

; ZF set when the handler found DX, SI, DI and BP as they were set before
; kill, and BX and CX as kill's own arguments.
registers_kept:
        cmp word [seen_dx], 0x1234
        jne .done
        cmp word [seen_si], 0x5678
        jne .done
        cmp word [seen_di], 0x9ABC
        jne .done
        cmp word [seen_bp], 0xDEF0
        jne .done
        cmp word [seen_cx], SIGUSR1
        jne .done
        mov ax, [seen_bx]
        cmp ax, [own]
.done:  ret

; The handler: saves what it finds, counts, and returns as the library's
; trampoline does, dropping the signal number.
handler:
        pushf
        push ax
        push bx
        push cx
        push dx
        push si
        push di
        push bp
        mov si, sp
        mov di, seen
        mov cx, 10              ; the eight saved words and the frame
.copy:  mov ax, [ss:si]
        mov [di], ax
        add si, 2
        add di, 2
        loop .copy
        inc word [hits]
        pop bp
        pop di
        pop si
        pop dx
        pop cx
        pop bx
        pop ax
        popf
        ret 2

        section .data
s_first:    db "first signal() ", 0
s_again:    db "second signal() gives the handler ", 0
s_signal:   db "signal number ", 0
s_ip:       db "resumes after the call ", 0
s_ax:       db "handler's AX ", 0
s_ax_after: db "AX after the handler ", 0
s_registers: db "registers kept ", 0
s_flags:    db "flags kept ", 0
s_sp:       db "stack back ", 0
s_read:     db "interrupted read ", 0
s_read_seen: db "handler's AX during read ", 0
s_spin:     db "loop interrupted", 10, 0
s_pause:    db "pause ", 0
s_ignored:  db "ignored", 10, 0
s_default:  db "previous disposition ", 0
s_survived: db "not ended by the default action", 10, 0
s_ok:       db "ok", 10, 0
s_bad:      db "bad", 10, 0
        section .bss
; What the handler found, lowest address first.
seen:
seen_bp:    resw 1
seen_di:    resw 1
seen_si:    resw 1
seen_dx:    resw 1
seen_cx:    resw 1
seen_bx:    resw 1
seen_ax:    resw 1
seen_flags: resw 1
seen_ip:    resw 1
seen_sig:   resw 1
hits:       resw 1
hits_before: resw 1
own:        resw 1
sp_before:  resw 1
sp_after:   resw 1
fds:        resw 2
byte_in:    resb 1
        section .text
%include "lib.inc"
        tavi_end
