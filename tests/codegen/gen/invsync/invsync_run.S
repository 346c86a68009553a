/*
 * Runs a generated snippet on a stack inside a test thread area (the area
 * is aligned to 0x40000 bytes so that `esp AND 0xFFFC0000` finds it and its
 * word 1 the EE).  The snippet is entered with a call; it pops its return
 * address into ebx first and returns with `push ebx; ret`, so everything it
 * pushes and calls sees the harness's words as the caller's operand stack.
 *
 * struct run_record (invsync_test.cpp):
 *   0 entry, 4 stack top, 8 word count, 12 words (word 0 pushed first),
 *   16 eax, 20 edx, 24 ecx (in), 28 eax, 32 edx (out), 36 want st(0),
 *   40 st(0) as a double (out), 48 saved esp, 52 thrown code (out)
 */
        .text
        .globl  run_snippet
        .type   run_snippet, @function
/* int run_snippet(run_record* r): 1 returned, 2 an exception was thrown */
run_snippet:
        pushl   %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    20(%esp), %esi
        movl    %esp, 48(%esi)
        movl    4(%esi), %eax
        andl    $0xFFFC0000, %eax
        movl    %esi, 0x20(%eax)        /* the record, found from any stack position */
        movl    4(%esi), %esp
        movl    8(%esi), %ecx
        movl    12(%esi), %edx
        xorl    %edi, %edi
1:      cmpl    %ecx, %edi
        jae     2f
        pushl   (%edx,%edi,4)
        incl    %edi
        jmp     1b
2:      movl    16(%esi), %eax
        movl    20(%esi), %edx
        movl    24(%esi), %ecx
        call    *(%esi)
        movl    %esp, %esi
        andl    $0xFFFC0000, %esi
        movl    0x20(%esi), %esi
        movl    %eax, 28(%esi)
        movl    %edx, 32(%esi)
        cmpl    $0, 36(%esi)
        je      3f
        fstpl   40(%esi)
3:      movl    48(%esi), %esp
        movl    $1, %eax
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
        .size   run_snippet, .-run_snippet

/* Target of the generated exception throw: records and unwinds to the harness. */
        .globl  test_thrown
        .type   test_thrown, @function
test_thrown:
        movl    %esp, %esi
        andl    $0xFFFC0000, %esi
        movl    0x20(%esi), %esi
        movl    $0xE000000E, 52(%esi)
        movl    48(%esi), %esp
        movl    $2, %eax
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
        .size   test_thrown, .-test_thrown

        .section .note.GNU-stack,"",@progbits
