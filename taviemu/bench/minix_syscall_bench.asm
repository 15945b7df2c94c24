; The Minix side of minix_syscall_bench.sh: the same calls as
; syscall_bench.asm, made as the Minix library makes them (the message in
; BX, the task in AX, CX 3, interrupt 0x20; the result in the reply's
; type): "minix_syscall_bench p" makes 100,000 getpid calls to the memory
; manager, "w" 100,000 one-byte writes to /dev/null through the file
; system, "n" neither (the start-up alone). A combined-layout program whose
; text holds everything; the script adds the header.
        cpu 286
CALLS equ 50000                 ; twice: 100,000 calls
MM equ 0
FSYS equ 1
        mov bp, sp
        mov si, [bp + 4]        ; argv[1]
        mov al, [si]
        cmp al, 'p'
        je getpids
        cmp al, 'w'
        je writes
        jmp done

getpids:
        mov di, 2
.outer: mov si, CALLS
.inner: mov word [msg + 2], 20  ; getpid
        mov ax, MM
        call sendrec
        dec si
        jnz .inner
        dec di
        jnz .outer
        jmp done

writes: mov word [msg + 2], 5   ; open, the m3 layout
        mov word [msg + 6], 1   ; O_WRONLY
        mov word [msg + 8], null_name
        mov ax, FSYS
        call sendrec
        test ax, ax
        js failed
        mov [fd], ax
        mov di, 2
.outer: mov si, CALLS
.inner: mov word [msg + 2], 4   ; write: fd, count, buffer
        mov ax, [fd]
        mov [msg + 4], ax
        mov word [msg + 6], 1
        mov word [msg + 10], byte_out
        mov ax, FSYS
        call sendrec
        cmp ax, 1
        jne failed
        dec si
        jnz .inner
        dec di
        jnz .outer

done:   mov word [msg + 4], 0
        jmp leave
failed: mov word [msg + 4], 1
leave:  mov word [msg + 2], 1   ; exit
        mov ax, MM
        call sendrec

; The library's trap: AX the task; AX = the reply's type.
sendrec:
        mov bx, msg
        mov cx, 3
        int 0x20
        mov ax, [msg + 2]
        ret

null_name: db "/dev/null", 0
byte_out:  db "x"
fd:        dw 0
msg:       times 24 db 0
