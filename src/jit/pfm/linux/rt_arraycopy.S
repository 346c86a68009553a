/*
 * Array copy routines (run-time routine table entries 141-148): the memory
 * movers behind the inline expansion of System.arraycopy, which has already
 * checked the arguments.  esi = source, edi = destination, ebx = element
 * count (not negative); forward routines take the first elements' addresses,
 * backward ones (_r) the addresses just past the last elements.  esi and edi
 * are kept; eax, ebx, ecx and edx are not; no flags or x87 state is used
 * across, no call is made.
 *
 * edx is the running byte offset (up from 0 forward, down from 0 backward).
 * Data moves through 32-bit registers, two loads before two stores, so a
 * block is read before any of it is written: a forward copy toward lower
 * addresses and a backward copy toward higher ones are correct for
 * overlapping arrays.  Byte and char copies first align the destination to
 * 4 bytes.
 */
#include "vm_abi.h"

        .text

#define ENTRY(name) \
        .globl  name; \
        .hidden name; \
        .type   name, @function; \
name:

/* Two words at byte offsets o1 and o2 from the running offset. */
.macro MOVE2W o1, o2
        movl    \o1(%esi,%edx), %eax
        movl    \o2(%esi,%edx), %ecx
        movl    %eax, \o1(%edi,%edx)
        movl    %ecx, \o2(%edi,%edx)
.endm

ENTRY(__orva_system_arraycopy_1byte)
        xorl    %edx, %edx
        movl    %edi, %ecx
        negl    %ecx
        andl    $3, %ecx                /* bytes to the next multiple of 4 */
        cmpl    %ebx, %ecx
        jbe     1f
        movl    %ebx, %ecx
1:      jecxz   2f
3:      movb    (%esi,%edx), %al
        movb    %al, (%edi,%edx)
        incl    %edx
        decl    %ebx
        decl    %ecx
        jnz     3b
2:      cmpl    $16, %ebx
        jb      4f
5:      MOVE2W  0, 4
        MOVE2W  8, 12
        addl    $16, %edx
        subl    $16, %ebx
        cmpl    $16, %ebx
        jae     5b
4:      cmpl    $8, %ebx
        jb      6f
        MOVE2W  0, 4
        addl    $8, %edx
        subl    $8, %ebx
6:      testl   %ebx, %ebx
        jz      7f
8:      movb    (%esi,%edx), %al
        movb    %al, (%edi,%edx)
        incl    %edx
        decl    %ebx
        jnz     8b
7:      ret
        .size   __orva_system_arraycopy_1byte, .-__orva_system_arraycopy_1byte

ENTRY(__orva_system_arraycopy_1byte_r)
        xorl    %edx, %edx
        movl    %edi, %ecx
        andl    $3, %ecx                /* bytes down to a multiple of 4 */
        cmpl    %ebx, %ecx
        jbe     1f
        movl    %ebx, %ecx
1:      jecxz   2f
3:      decl    %edx
        movb    (%esi,%edx), %al
        movb    %al, (%edi,%edx)
        decl    %ebx
        decl    %ecx
        jnz     3b
2:      cmpl    $16, %ebx
        jb      4f
5:      MOVE2W  -8, -4
        MOVE2W  -16, -12
        subl    $16, %edx
        subl    $16, %ebx
        cmpl    $16, %ebx
        jae     5b
4:      cmpl    $8, %ebx
        jb      6f
        MOVE2W  -8, -4
        subl    $8, %edx
        subl    $8, %ebx
6:      testl   %ebx, %ebx
        jz      7f
8:      decl    %edx
        movb    (%esi,%edx), %al
        movb    %al, (%edi,%edx)
        decl    %ebx
        jnz     8b
7:      ret
        .size   __orva_system_arraycopy_1byte_r, .-__orva_system_arraycopy_1byte_r

ENTRY(__orva_system_arraycopy_2byte)
        xorl    %edx, %edx
        testl   %ebx, %ebx
        jz      7f
        testl   $3, %edi
        jz      1f
        movw    (%esi), %ax             /* element 0 aligns the destination */
        movw    %ax, (%edi)
        addl    $2, %edx
        decl    %ebx
1:      cmpl    $4, %ebx
        jb      2f
3:      MOVE2W  0, 4
        addl    $8, %edx
        subl    $4, %ebx
        cmpl    $4, %ebx
        jae     3b
2:      testl   %ebx, %ebx
        jz      7f
4:      movw    (%esi,%edx), %ax
        movw    %ax, (%edi,%edx)
        addl    $2, %edx
        decl    %ebx
        jnz     4b
7:      ret
        .size   __orva_system_arraycopy_2byte, .-__orva_system_arraycopy_2byte

ENTRY(__orva_system_arraycopy_2byte_r)
        xorl    %edx, %edx
        testl   %ebx, %ebx
        jz      7f
        testl   $3, %edi
        jz      1f
        movw    -2(%esi), %ax           /* the last element aligns the end */
        movw    %ax, -2(%edi)
        subl    $2, %edx
        decl    %ebx
1:      cmpl    $4, %ebx
        jb      2f
3:      MOVE2W  -8, -4
        subl    $8, %edx
        subl    $4, %ebx
        cmpl    $4, %ebx
        jae     3b
2:      testl   %ebx, %ebx
        jz      7f
4:      subl    $2, %edx
        movw    (%esi,%edx), %ax
        movw    %ax, (%edi,%edx)
        decl    %ebx
        jnz     4b
7:      ret
        .size   __orva_system_arraycopy_2byte_r, .-__orva_system_arraycopy_2byte_r

ENTRY(__orva_system_arraycopy_4byte)
        xorl    %edx, %edx
        cmpl    $4, %ebx
        jb      2f
1:      MOVE2W  0, 4
        MOVE2W  8, 12
        addl    $16, %edx
        subl    $4, %ebx
        cmpl    $4, %ebx
        jae     1b
2:      cmpl    $2, %ebx
        jb      3f
        MOVE2W  0, 4
        addl    $8, %edx
        subl    $2, %ebx
3:      testl   %ebx, %ebx
        jz      4f
        movl    (%esi,%edx), %eax
        movl    %eax, (%edi,%edx)
4:      ret
        .size   __orva_system_arraycopy_4byte, .-__orva_system_arraycopy_4byte

ENTRY(__orva_system_arraycopy_4byte_r)
        xorl    %edx, %edx
        cmpl    $4, %ebx
        jb      2f
1:      MOVE2W  -8, -4
        MOVE2W  -16, -12
        subl    $16, %edx
        subl    $4, %ebx
        cmpl    $4, %ebx
        jae     1b
2:      cmpl    $2, %ebx
        jb      3f
        MOVE2W  -8, -4
        subl    $8, %edx
        subl    $2, %ebx
3:      testl   %ebx, %ebx
        jz      4f
        movl    -4(%esi,%edx), %eax
        movl    %eax, -4(%edi,%edx)
4:      ret
        .size   __orva_system_arraycopy_4byte_r, .-__orva_system_arraycopy_4byte_r

ENTRY(__orva_system_arraycopy_8byte)
        xorl    %edx, %edx
        cmpl    $2, %ebx
        jb      2f
1:      MOVE2W  0, 4
        MOVE2W  8, 12
        addl    $16, %edx
        subl    $2, %ebx
        cmpl    $2, %ebx
        jae     1b
2:      testl   %ebx, %ebx
        jz      3f
        MOVE2W  0, 4
3:      ret
        .size   __orva_system_arraycopy_8byte, .-__orva_system_arraycopy_8byte

ENTRY(__orva_system_arraycopy_8byte_r)
        xorl    %edx, %edx
        cmpl    $2, %ebx
        jb      2f
1:      MOVE2W  -8, -4
        MOVE2W  -16, -12
        subl    $16, %edx
        subl    $2, %ebx
        cmpl    $2, %ebx
        jae     1b
2:      testl   %ebx, %ebx
        jz      3f
        MOVE2W  -8, -4
3:      ret
        .size   __orva_system_arraycopy_8byte_r, .-__orva_system_arraycopy_8byte_r

        .section .note.GNU-stack,"",@progbits
