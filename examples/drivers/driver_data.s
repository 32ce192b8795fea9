# The code and data of every example driver: an entry point, and the texts
# the branding tool rewrites (file names, a CLSID, the XML provider, the old
# version, the driver message prefix), each ending in a zero byte as a
# library's strings do. Upper-case names come before lower-case ones.
        .text
        .globl  DllMain
DllMain:
        movl    $1, %eax
        ret

        .data
        .globl  names
names:
        .quad   DllMain
        .asciz  "VRORA28.DLL"
        .asciz  "VRBAS28.DLL"
        .asciz  "{8F0B1D2E-5A11-4C3B-9D7E-0123456789AB}"
        .asciz  "Brisklane Closed XML ADO Provider"
        .asciz  "Version 08.02.0293"
        .asciz  "vrbas28.dll"
        .asciz  "vrutl28.dll"
        .asciz  "vrora28"
        .asciz  "vrhelp28.hlp"
        # Room behind the message prefix for a new one of up to 30 characters.
        .ascii  "[Brisklane][ODBC "
        .fill   32, 1, 0
        .asciz  "[Brisklane][ODBC Driver]"
