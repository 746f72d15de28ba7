; HELLO.ASM - greets the user from a DOS .COM program.
; The build expands the include lines of the marked regions into one
; source (HELLOX.ASM) before it is assembled.

        org 100h

;BEGIN EXPAND INCLUDE
include "dos.inc"
;END EXPAND INCLUDE

start:
        mov dx, greeting        ; DS:DX -> "$"-terminated text
        mov ah, DOS_PRINT
        int DOS_API
        mov ax, DOS_EXIT_OK
        int DOS_API

;BEGIN EXPAND INCLUDE
include "text.inc"              ; the messages
;END EXPAND INCLUDE
