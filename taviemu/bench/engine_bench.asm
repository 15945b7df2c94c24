; Compute-bound 16-bit program for timing the virtual-8086 engine: a
; bitwise CRC-32 over a buffer, a sieve of Eratosthenes and a naive string
; search, repeated ROUNDS times. Ends with INT 80h, AX = 1 (exit) and the
; combined checksum in BX:CX, so that a wrong engine shows in the output.
; Assemble: nasm -f bin -o engine_bench.bin engine_bench.asm

bits 16
org 0

%ifndef ROUNDS
%define ROUNDS 40
%endif
TEXT      equ 0x4000           ; 8 KiB of pseudo-random text
TEXT_LEN  equ 0x2000
SIEVE     equ 0x8000           ; one byte per number below SIEVE_N
SIEVE_N   equ 0x4000

start:
    mov ax, cs
    mov ds, ax
    mov es, ax
    mov ss, ax
    mov sp, 0xFFFE
    cld
    call make_text
    mov word [checksum], 0
    mov word [checksum + 2], 0
    mov word [rounds], ROUNDS
.round:
    call crc32
    xor [checksum], ax
    xor [checksum + 2], dx
    call sieve
    add [checksum], ax
    call search
    add [checksum + 2], ax
    dec word [rounds]
    jnz .round
    mov cx, [checksum]
    mov bx, [checksum + 2]
    mov ax, 1
    int 0x80
    hlt

; Fills TEXT with letters 'a' to 'p' from a linear congruential generator.
make_text:
    mov di, TEXT
    mov cx, TEXT_LEN
    mov ax, 12345
.next:
    mov dx, 25173
    mul dx
    add ax, 13849
    mov bl, ah
    and bl, 0x0F
    add bl, 'a'
    mov [di], bl
    inc di
    loop .next
    ret

; CRC-32 (reflected, polynomial EDB88320) of TEXT into DX:AX.
crc32:
    mov si, TEXT
    mov cx, TEXT_LEN
    mov ax, 0xFFFF
    mov dx, 0xFFFF
.byte:
    xor al, [si]
    inc si
    mov bl, 8
.bit:
    shr dx, 1
    rcr ax, 1
    jnc .zero
    xor dx, 0xEDB8
    xor ax, 0x8320
.zero:
    dec bl
    jnz .bit
    loop .byte
    not ax
    not dx
    ret

; Counts the primes below SIEVE_N into AX.
sieve:
    mov di, SIEVE
    mov cx, SIEVE_N / 2
    xor ax, ax
    rep stosw
    xor ax, ax
    mov si, 2
.candidate:
    cmp byte [SIEVE + si], 0
    jne .composite
    inc ax
    mov bx, si
    add bx, si
.mark:
    cmp bx, SIEVE_N
    jae .composite
    mov byte [SIEVE + bx], 1
    add bx, si
    jmp .mark
.composite:
    inc si
    cmp si, SIEVE_N
    jb .candidate
    ret

; Counts the places in TEXT where the pattern occurs, comparing byte by byte.
search:
    xor ax, ax
    mov si, TEXT
.position:
    cmp si, TEXT + TEXT_LEN - PATTERN_LEN
    ja .done
    mov bx, 0
.compare:
    mov dl, [si + bx]
    cmp dl, [pattern + bx]
    jne .mismatch
    inc bx
    cmp bx, PATTERN_LEN
    jb .compare
    inc ax
.mismatch:
    inc si
    jmp .position
.done:
    ret

pattern: db "ab"
PATTERN_LEN equ $ - pattern
rounds: dw 0
checksum: dw 0, 0
