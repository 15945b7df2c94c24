; Bad pointers and unknown calls: prints each result in hex, one a line.
%include "tavi.inc"
%macro show 0
        call put_hex
        call put_nl
%endmacro
        mov bx, 1               ; a write past the end of the segment
        mov cx, 0xFFF0
        mov dx, 0x20
        sys SYS_WRITE
        show
        mov bx, 0               ; a read into the last byte and past it
        mov cx, 0xFFFF
        mov dx, 2
        sys SYS_READ
        show
        mov ax, 0x3000          ; a data segment outside the area
        mov ds, ax
        mov bx, 1
        mov cx, 0
        mov dx, 1
        sys SYS_WRITE
        mov bx, ss
        mov ds, bx
        show
        mov ax, 0x2000          ; a name that runs to the end of the area
        mov es, ax
        mov byte [es:0xFFFF], 'a'
        mov ds, ax
        mov bx, 0xFFFF
        mov cx, 0
        sys SYS_OPEN
        mov bx, ss
        mov ds, bx
        show
        mov bx, 0xFFFE          ; pipe's two words would not fit
        sys SYS_PIPE
        show
        mov bx, 0xFFF9          ; gettimeofday's 8-byte timeval would not fit
        mov cx, 0
        sys SYS_GETTIMEOFDAY
        show
        sys 99                  ; no such call
        show
        mov bx, 0               ; standard input is not a terminal here
        mov cx, 0x5401
        mov dx, 0
        sys SYS_IOCTL
        show
        mov bx, 0
        call exit
%include "lib.inc"
        tavi_end
