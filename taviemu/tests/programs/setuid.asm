; setuid [FILE]: asks setuid(0), to become the superuser, and prints the
; call's result in hex: 0000 when the runner let it have a privilege, ffff
; (-EPERM) if not. Given FILE, it then opens FILE for reading and prints
; that result too: a descriptor, or fff3 (-EACCES) for a file it may not
; read.
%include "tavi.inc"
        mov bx, 0
        sys SYS_SETUID
        call put_hex
        mov bp, sp
        cmp word [bp], 2        ; argc
        jb done
        mov si, s_space
        call puts
        mov bx, [bp + 4]        ; argv[1]
        mov cx, 0               ; O_RDONLY
        sys SYS_OPEN
        call put_hex
done:   call put_nl
        mov bx, 0
        call exit

        section .data
s_space: db " ", 0
        section .text
%include "lib.inc"
        tavi_end
