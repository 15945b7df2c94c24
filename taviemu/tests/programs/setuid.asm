; Asks setuid(0), to become the superuser, and prints the call's result in
; hex: 0000 when the runner let it have a privilege, ffff (-EPERM) if not.
%include "tavi.inc"
        mov bx, 0
        sys SYS_SETUID
        call put_hex
        call put_nl
        mov bx, 0
        call exit
%include "lib.inc"
        tavi_end
