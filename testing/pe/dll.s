# The smallest DLL the fixtures need: an entry point, and one absolute
# address in .data so the linker writes a base relocation for it.
        .text
        .globl  DllMain
DllMain:
        movl    $1, %eax
        ret

        .data
        .globl  table
table:
        .quad   DllMain
