# A DLL with a 20 MiB data section ahead of its resources, for timing a
# rewrite of a large file.
        .text
        .globl  DllMain
DllMain:
        movl    $1, %eax
        ret

        .data
        .globl  table
table:
        .quad   DllMain
        .fill   20971520, 1, 0x5A
