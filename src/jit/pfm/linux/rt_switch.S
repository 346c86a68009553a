/*
 * __lookupswitch (run-time routine table entry 1): the search of a
 * lookupswitch whose cases the code generator left to the run time.
 *
 * Entered by a 5-byte call followed by the jump table: n + 1 absolute code
 * addresses, word 0 the default target and word 1 + i the target of pair i.
 * eax = the instruction's first match/offset pair in the bytecode (8 bytes
 * each, big-endian, ascending signed match values), edx = n - 1, ecx = the
 * key.  A binary search over the match values; control continues at the
 * selected target with the return address removed, ebx, ebp, ecx as before,
 * eax = the target and edx = the last probed index.  It behaves as a jump.
 *
 * The end test follows the comparison, so a probe may fall one pair before
 * the range: with a key below every match value the last probe is index -1,
 * the instruction's default-offset and pair-count words, and a "hit" there
 * selects word 0, the default, as every miss does.
 */
#include "vm_abi.h"

        .text
        .globl  __lookupswitch
        .hidden __lookupswitch
        .type   __lookupswitch, @function
__lookupswitch:
        pushl   %ebx
        pushl   %ebp
        pushl   %ecx                    /* [esp] = the key */
        xorl    %ebx, %ebx              /* lo; edx = hi */
1:      leal    (%ebx,%edx), %ebp
        sarl    $1, %ebp                /* mid */
        movl    (%eax,%ebp,8), %ecx
        bswap   %ecx                    /* the match value */
        cmpl    (%esp), %ecx
        je      4f
        jl      2f
        cmpl    %edx, %ebx              /* match above the key */
        jge     3f
        leal    -1(%ebp), %edx
        jmp     1b
2:      cmpl    %edx, %ebx              /* match below the key */
        jge     3f
        leal    1(%ebp), %ebx
        jmp     1b
3:      movl    %ebp, %edx              /* not found: word 0 */
        xorl    %ebp, %ebp
        jmp     5f
4:      movl    %ebp, %edx              /* pair mid: word mid + 1 */
        incl    %ebp
5:      popl    %ecx
        movl    8(%esp), %eax           /* the jump table */
        movl    (%eax,%ebp,4), %eax
        popl    %ebp
        popl    %ebx
        leal    4(%esp), %esp           /* the return address */
        jmp     *%eax
        .size   __lookupswitch, .-__lookupswitch

        .section .note.GNU-stack,"",@progbits
