; BYE.ASM - says goodbye from a DOS .COM program.  It was written on DOS,
; in the project's folder DOS, so its include line names the file the DOS
; way: in capitals, with backslashes, from this folder.  The file is saved
; as inc/x.inc; srcsplice finds it all the same.

        org 100h

start:
        mov dx, farewell        ; DS:DX -> "$"-terminated text
        mov ah, 09h             ; print it
        int 21h
;BEGIN EXPAND INCLUDE
include "..\INC\X.INC"
;END EXPAND INCLUDE

farewell:
        db "Goodbye from DOS", 13, 10, "$"
