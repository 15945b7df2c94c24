; The tavi side of syscall_bench.sh: "syscall_bench p" makes 100,000 getpid
; calls, "syscall_bench w" 100,000 one-byte writes to /dev/null, and
; "syscall_bench n" neither (the start-up alone). A combined-layout program
; whose text holds everything; syscall_bench.sh adds the header.
        cpu 286
CALLS equ 50000                 ; twice: 100,000 calls
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
.inner: mov bx, pid_word
        mov ax, 20              ; getpid
        int 0x80
        dec si
        jnz .inner
        dec di
        jnz .outer
        jmp done

writes: mov bx, null_name
        mov cx, 1               ; O_WRONLY
        mov ax, 5               ; open
        int 0x80
        test ax, ax
        js failed
        mov [fd], ax
        mov di, 2
.outer: mov si, CALLS
.inner: mov bx, [fd]
        mov cx, byte_out
        mov dx, 1
        mov ax, 4               ; write
        int 0x80
        cmp ax, 1
        jne failed
        dec si
        jnz .inner
        dec di
        jnz .outer

done:   mov bx, 0
        mov ax, 1               ; exit
        int 0x80
failed: mov bx, 1
        mov ax, 1
        int 0x80

null_name: db "/dev/null", 0
byte_out:  db "x"
fd:        dw 0
pid_word:  dw 0
