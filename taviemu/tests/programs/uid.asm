; Prints the real and effective user and group IDs: getuid and getgid give
; the real ID in AX and store the effective one at the word BX points to.
%include "tavi.inc"
        mov si, s_uid
        mov di, s_euid
        mov bx, effective
        sys SYS_GETUID
        call put_pair
        mov si, s_gid
        mov di, s_egid
        mov bx, effective
        sys SYS_GETGID
        call put_pair
        call put_nl
        mov bx, 0
        call exit

; Writes the text at SI and AX in decimal, then the text at DI and the
; effective ID in decimal.
put_pair:
        push ax
        call puts
        pop ax
        call put_dec
        mov si, di
        call puts
        mov ax, [effective]
        call put_dec
        ret

        section .data
s_uid:  db "uid=", 0
s_euid: db " euid=", 0
s_gid:  db " gid=", 0
s_egid: db " egid=", 0
        section .bss
effective: resw 1
        section .text
%include "lib.inc"
        tavi_end
