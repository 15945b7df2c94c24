; A loop of a million turns that rewrites the immediate of an instruction
; in its own body on every turn, for timing the engine on self-modifying
; code. Assembled with -DDATA, the same loop writes the byte into data
; instead: the difference is the cost of writes into decoded code. Ends
; with INT 80h, AX = 1 and the sum of the values loaded in BX.
; Assemble: nasm -f bin [-DDATA] -o selfmod_bench.bin selfmod_bench.asm

bits 16
org 0

start:
    mov ax, cs
    mov ds, ax
    mov ss, ax
    mov sp, 0xFFFE
    xor bx, bx
    mov dx, 100                 ; 100 times 10000 turns
.outer:
    mov cx, 10000
.turn:
%ifdef DATA
    mov [data_byte], cl
%else
    mov [.patch + 1], cl        ; the immediate of the next instruction
%endif
.patch:
    mov al, 0
    add bl, al
    adc bh, 0
    loop .turn
    dec dx
    jnz .outer
    mov cx, 0
    mov ax, 1
    int 0x80
    hlt

data_byte: db 0
