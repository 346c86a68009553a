/*
 * Processor probes: whether CPUID exists, the CPUID leaf-1 signature, and the
 * time-stamp counter.  C calling convention, no arguments.
 */
        .text

/* int _CPUID_SUPPORT(void): 1 when bit 21 (ID) of EFLAGS can be toggled. */
        .globl  _CPUID_SUPPORT
        .hidden _CPUID_SUPPORT
        .type   _CPUID_SUPPORT, @function
_CPUID_SUPPORT:
        pushfl
        popl    %eax
        movl    %eax, %ecx              /* the value read */
        xorl    $0x200000, %eax         /* ID bit inverted */
        pushl   %eax
        popfl
        pushfl
        popl    %eax
        cmpl    %ecx, %eax
        je      1f                      /* the bit did not change: no CPUID */
        pushl   %ecx                    /* restore EFLAGS as read */
        popfl
        movl    $1, %eax
        ret
1:      xorl    %eax, %eax
        ret
        .size   _CPUID_SUPPORT, .-_CPUID_SUPPORT

/* u4 _GET_CPU_TYPE(void): (EAX & 0xFF0) | (EDX & 0x808000) of CPUID leaf 1:
 * family in bits 8-11, model in bits 4-7, CMOV bit 15, MMX bit 23.  CPUID
 * overwrites ebx, which the C convention keeps. */
        .globl  _GET_CPU_TYPE
        .hidden _GET_CPU_TYPE
        .type   _GET_CPU_TYPE, @function
_GET_CPU_TYPE:
        pushl   %ebx
        movl    $1, %eax
        cpuid
        andl    $0xFF0, %eax
        andl    $0x808000, %edx
        orl     %edx, %eax
        popl    %ebx
        ret
        .size   _GET_CPU_TYPE, .-_GET_CPU_TYPE

/* unsigned long long __x86_rd_time_stamp_counter(void): edx:eax. */
        .globl  __x86_rd_time_stamp_counter
        .hidden __x86_rd_time_stamp_counter
        .type   __x86_rd_time_stamp_counter, @function
__x86_rd_time_stamp_counter:
        rdtsc
        ret
        .size   __x86_rd_time_stamp_counter, .-__x86_rd_time_stamp_counter

        .section .note.GNU-stack,"",@progbits
