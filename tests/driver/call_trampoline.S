/*
 * u4 call_trampoline(methodblock* mb, u4 transfer_point, u4 out[7]):
 * calls the compile trampoline as the VM does (eax = mb, esi = transfer
 * point) with known values in the other registers and stores what it finds
 * afterwards: eax, ebx, ecx, edx, esi, edi, EFLAGS.
 */
        .text
        .globl  call_trampoline
        .type   call_trampoline, @function
call_trampoline:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    8(%ebp), %eax
        movl    12(%ebp), %esi
        movl    $0x11111111, %ebx
        movl    $0x22222222, %ecx
        movl    $0x33333333, %edx
        movl    $0x44444444, %edi
        call    jit_invokeCompiledEntryMethod
        pushfl
        pushl   %eax
        movl    16(%ebp), %eax
        popl    0(%eax)
        movl    %ebx, 4(%eax)
        movl    %ecx, 8(%eax)
        movl    %edx, 12(%eax)
        movl    %esi, 16(%eax)
        movl    %edi, 20(%eax)
        popl    24(%eax)
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
        .size   call_trampoline, .-call_trampoline

        .section .note.GNU-stack,"",@progbits
