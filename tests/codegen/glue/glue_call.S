/*
 * Calls generated glue the way the VM calls an invoker (or the way compiled
 * code calls a compiled entry) on a stack inside a test thread area, and
 * stand-ins for the run-time routines the glue calls: the two raisers (they
 * record the registers and return from glue_call with 2) and the
 * synchronized-method entry and exit stubs (they record and return).
 *
 * The call record (struct glue_call_record in glue_test.cpp) is found from
 * any stack position inside the area through area word 8 (offset 0x20).
 */
#define AREA_MASK       0xFFFC0000
#define AREA_RECORD     0x20

#define R_ENTRY         0
#define R_WORDS         4
#define R_NARGS         8
#define R_STACK         12
#define R_MODE          16
#define R_REG0          20
#define R_REG1          24
#define R_REG2          28
#define R_WANT_FP       32
#define R_SAVED_ESP     36
#define R_ESP_BEFORE    40
#define R_EAX           44
#define R_EDX           48
#define R_EBX           52
#define R_EBP           56
#define R_ESP_AFTER     60
#define R_FP            64
#define R_RAISE_CODE    72
#define R_RAISE_EBX     76
#define R_RAISE_EBP     80
#define R_RAISE_ECX     84
#define R_RAISE_ESP     88
#define R_RAISE_RET     92
#define R_SYNC_ENTERS   96
#define R_SYNC_OBJ      100
#define R_SYNC_EBP      104
#define R_SYNC_EXITS    108
#define R_SYNC_EXIT_EBP 112
#define R_SYNC_EXIT_EAX 116

        .text
        .globl  glue_call
        .type   glue_call, @function
/* int glue_call(glue_call_record* r): 1 returned, 2 raised */
glue_call:
        pushl   %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    20(%esp), %esi
        movl    %esp, R_SAVED_ESP(%esi)
        movl    R_STACK(%esi), %eax
        andl    $AREA_MASK, %eax
        movl    %esi, AREA_RECORD(%eax)
        movl    R_STACK(%esi), %esp
        movl    R_NARGS(%esi), %ecx
        movl    R_WORDS(%esi), %edx
        xorl    %edi, %edi
1:      cmpl    %ecx, %edi
        jae     2f
        pushl   (%edx,%edi,4)
        incl    %edi
        jmp     1b
2:      movl    %esp, R_ESP_BEFORE(%esi)
        movl    R_ENTRY(%esi), %edi
        cmpl    $0, R_MODE(%esi)
        jne     3f
        movl    R_NARGS(%esi), %ecx
        xorl    %eax, %eax
        jmp     4f
3:      movl    R_REG0(%esi), %eax
        movl    R_REG1(%esi), %edx
        movl    R_REG2(%esi), %ecx
4:      movl    $0xB0B0B0B0, %ebx
        movl    $0xE0E0E0E0, %ebp
        call    *%edi
        movl    %esp, %esi
        andl    $AREA_MASK, %esi
        movl    AREA_RECORD(%esi), %esi
        movl    %eax, R_EAX(%esi)
        movl    %edx, R_EDX(%esi)
        movl    %ebx, R_EBX(%esi)
        movl    %ebp, R_EBP(%esi)
        movl    %esp, R_ESP_AFTER(%esi)
        cmpl    $0, R_WANT_FP(%esi)
        je      5f
        fstpl   R_FP(%esi)
5:      movl    R_SAVED_ESP(%esi), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        movl    $1, %eax
        ret
        .size   glue_call, .-glue_call

        .globl  test_raise_thrown
        .type   test_raise_thrown, @function
test_raise_thrown:
        movl    %esp, %eax
        andl    $AREA_MASK, %eax
        movl    AREA_RECORD(%eax), %eax
        movl    $60, R_RAISE_CODE(%eax)
        jmp     raise_common

        .globl  test_raise_linkerror
        .type   test_raise_linkerror, @function
test_raise_linkerror:
        movl    %esp, %eax
        andl    $AREA_MASK, %eax
        movl    AREA_RECORD(%eax), %eax
        movl    $58, R_RAISE_CODE(%eax)
raise_common:
        movl    %ebx, R_RAISE_EBX(%eax)
        movl    %ebp, R_RAISE_EBP(%eax)
        movl    %ecx, R_RAISE_ECX(%eax)
        movl    %esp, R_RAISE_ESP(%eax)
        movl    (%esp), %edx
        movl    %edx, R_RAISE_RET(%eax)
        movl    R_SAVED_ESP(%eax), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        movl    $2, %eax
        ret

        .globl  test_sync_enter
        .type   test_sync_enter, @function
test_sync_enter:
        pushl   %edx
        movl    %esp, %edx
        andl    $AREA_MASK, %edx
        movl    AREA_RECORD(%edx), %edx
        incl    R_SYNC_ENTERS(%edx)
        movl    %eax, R_SYNC_OBJ(%edx)
        movl    %ebp, R_SYNC_EBP(%edx)
        popl    %edx
        ret

        .globl  test_sync_exit
        .type   test_sync_exit, @function
test_sync_exit:
        pushl   %edx
        movl    %esp, %edx
        andl    $AREA_MASK, %edx
        movl    AREA_RECORD(%edx), %edx
        incl    R_SYNC_EXITS(%edx)
        movl    %ebp, R_SYNC_EXIT_EBP(%edx)
        movl    %eax, R_SYNC_EXIT_EAX(%edx)
        popl    %edx
        ret

        .section .note.GNU-stack,"",@progbits
