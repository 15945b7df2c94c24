; copy FROM TO: copies a file, creating or truncating TO. Exits with 2 when
; an open fails and 3 when a read or write fails.
%include "tavi.inc"
O_WRONLY equ 1
O_CREAT equ 0o100
O_TRUNC equ 0o1000
        mov bp, sp
        mov bx, [bp + 4]
        mov cx, 0               ; O_RDONLY
        sys SYS_OPEN
        test ax, ax
        js no_open
        mov [src_fd], ax
        mov bx, [bp + 6]
        mov cx, O_WRONLY | O_CREAT | O_TRUNC
        mov dx, 0o644
        sys SYS_OPEN
        test ax, ax
        js no_open
        mov [dst_fd], ax
again:  mov bx, [src_fd]
        mov cx, buffer
        mov dx, 1000
        sys SYS_READ
        test ax, ax
        jz done
        js failed
        mov dx, ax
        mov bx, [dst_fd]
        mov cx, buffer
        sys SYS_WRITE
        test ax, ax
        js failed
        jmp again
done:   mov bx, [dst_fd]
        sys SYS_CLOSE
        mov bx, [src_fd]
        sys SYS_CLOSE
        mov bx, 0
        call exit
no_open: mov bx, 2
        call exit
failed: mov bx, 3
        call exit
%include "lib.inc"
        section .bss
src_fd: resw 1
dst_fd: resw 1
buffer: resb 1000
        tavi_end
