; Prints the real and effective user and group IDs.
%include "tavi.inc"
        mov si, s_uid
        call puts
        sys SYS_GETUID
        call put_dec
        mov si, s_euid
        call puts
        sys SYS_GETEUID
        call put_dec
        mov si, s_gid
        call puts
        sys SYS_GETGID
        call put_dec
        mov si, s_egid
        call puts
        sys SYS_GETEGID
        call put_dec
        call put_nl
        mov bx, 0
        call exit
        section .data
s_uid:  db "uid=", 0
s_euid: db " euid=", 0
s_gid:  db " gid=", 0
s_egid: db " egid=", 0
        section .text
%include "lib.inc"
        tavi_end
