; minix FILE: real work through Minix messages (interrupt 0x20, as the
; Minix library traps: AX the task, BX the message, CX 3): writes a
; greeting, prints FILE, then the three bytes from its offset 2, grows the
; break, asks for its process ID, and exits with status 5. Every exchange
; must leave AX 0.
%include "tavi.inc"
M_EXIT equ 1
M_READ equ 3
M_WRITE equ 4
M_OPEN equ 5
M_CLOSE equ 6
M_BRK equ 17
M_LSEEK equ 19
M_GETPID equ 20
TASK_MM equ 0
TASK_FS equ 1

        mov bp, sp
        mov word [msg + 2], M_WRITE
        mov word [msg + 4], 1
        mov word [msg + 6], s_hello_len
        mov word [msg + 10], s_hello
        call sendrec_fs

        mov word [msg + 2], M_OPEN      ; the m3 layout: length, flags, name
        mov word [msg + 6], 0
        mov ax, [bp + 4]
        mov [msg + 8], ax
        call sendrec_fs
        test ax, ax
        js failed
        mov [fd], ax

        mov word [msg + 2], M_READ
        mov ax, [fd]
        mov [msg + 4], ax
        mov word [msg + 6], 100
        mov word [msg + 10], buffer
        call sendrec_fs
        test ax, ax
        js failed
        mov word [msg + 2], M_WRITE
        mov word [msg + 4], 1
        mov [msg + 6], ax
        mov word [msg + 10], buffer
        call sendrec_fs

        mov word [msg + 2], M_LSEEK     ; m2: fd, whence, 32-bit offset
        mov ax, [fd]
        mov [msg + 4], ax
        mov word [msg + 6], 0
        mov word [msg + 10], 2
        mov word [msg + 12], 0
        call sendrec_fs
        test ax, ax
        jnz failed
        mov ax, [msg + 10]              ; the new offset
        call put_hex
        call put_nl
        mov word [msg + 2], M_READ
        mov ax, [fd]
        mov [msg + 4], ax
        mov word [msg + 6], 3
        mov word [msg + 10], buffer
        call sendrec_fs
        mov word [msg + 2], M_WRITE
        mov word [msg + 4], 1
        mov [msg + 6], ax
        mov word [msg + 10], buffer
        call sendrec_fs
        call put_nl
        mov word [msg + 2], M_CLOSE
        mov ax, [fd]
        mov [msg + 4], ax
        call sendrec_fs
        call put_hex
        call put_nl

        mov word [msg + 2], M_BRK
        mov word [msg + 10], tavi_bss_end + 0x200
        call sendrec_mm
        call put_hex
        mov ax, [msg + 18]              ; the new break
        sub ax, tavi_bss_end
        call put_hex
        call put_nl

        mov word [msg + 2], M_GETPID
        call sendrec_mm
        test ax, ax
        jle failed
        mov si, s_pid
        call puts

        mov word [msg + 2], M_EXIT
        mov word [msg + 4], 5
        call sendrec_mm
failed: mov bx, 1
        call exit

; Sends the message to the task and receives the reply; AX = the reply's
; result, or the program fails when the exchange itself did.
sendrec_mm:
        mov ax, TASK_MM
        jmp sendrec
sendrec_fs:
        mov ax, TASK_FS
sendrec:
        mov bx, msg
        mov cx, 3
        int 0x20
        test ax, ax
        jnz failed
        mov ax, [msg + 2]
        ret

        section .data
s_hello: db "hello from minix", 10
s_hello_len equ $ - s_hello
s_pid:  db "pid ok", 10, 0
        section .bss
msg:    resb 24
fd:     resw 1
buffer: resb 100
        section .text
%include "lib.inc"
        tavi_end
