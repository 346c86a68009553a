// Assembly of the test-double compiler: the compile trampoline, the
// gate-like interpreter call, the software raisers, and the method templates
// that "compiling" copies into executable memory.
//
// Templates are position independent: their first instruction is
// `mov edx, imm32`, patched with the method's fj_record, and every call out
// goes through that record.  They set the EE's mode word to 1 on entry, as
// compiled glue does, and never change ebp before they call out, so a stack
// walk carries the frame base the VM gave them (T + 32 of the calling
// activation).  The labels inside a template mark the call and fault sites
// that the stack-depth tables are built from.
#include "fakejit.h"

        .intel_syntax noprefix

#define AREA_MASK       0xFFFC0000      // TLA_MASK without its C suffix
#define ARG_AREA        (4 * 65)        // gate: up to 64 argument words and the count word

// ecx = this thread's EE
.macro LOAD_EE reg
        mov     \reg, esp
        and     \reg, AREA_MASK
        mov     \reg, [\reg + TLA_EE]
.endm

// What compiled glue does on entry: the thread now runs compiled code.
.macro MODE_COMPILED
        LOAD_EE ecx
        mov     dword ptr [ecx + EE_MODE], EE_MODE_COMPILED
.endm

        .text

// ---------------------------------------------------------------------------
// Compile trampoline (link-vector slot 4).  eax = method block, esi = the
// transfer point (0 from this VM).  Returns with every register as on entry
// and ZF set when the method now has compiled code.
// ---------------------------------------------------------------------------
        .globl  fj_trampoline
        .hidden fj_trampoline
        .type   fj_trampoline, @function
fj_trampoline:
        push    ebp                     // [esp] = the caller's ebp (T + 32)
        push    ebx
        push    esi
        push    edi
        push    eax
        push    ecx
        push    edx
        test    [esp - 0x1000], eax     // probes: an overflow faults here, not in C
        test    [esp - 0x2000], eax
        sub     esp, 0x2000
        test    [esp - 0x1000], eax
        test    [esp - 0x2000], eax
        add     esp, 0x2000
        mov     eax, esp
        push    eax                     // stack pointer (room check)
        push    dword ptr [esp + 28]    // ebp at entry
        push    esi                     // transfer point
        push    dword ptr [esp + 20]    // method block (saved eax)
        call    fj_compile
        add     esp, 16
        test    eax, eax                // ZF set: compiled
        pop     edx                     // pops leave the flags alone
        pop     ecx
        pop     eax
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret
        .size   fj_trampoline, . - fj_trampoline

// ---------------------------------------------------------------------------
// Gate-like interpreter call, as the compiler's gates call a method that is
// not compiled: [esp] = return address into the compiled caller (A),
// [esp+4] = the method block, [esp+8] = address of the last argument word
// of an area laid out in invoker order.  Links the two-word interpreter-call
// record {previous head, A}, sets mode 0 for a Java method, copies the
// arguments with a count word above argument word 0, calls the invoker with
// eax = mb, ecx = argument words, ebx/edx = 1/class (static) or 0/receiver,
// then mode 1, unlink, and raises a pending exception at the caller.
// ---------------------------------------------------------------------------
        .globl  fj_gate
        .hidden fj_gate
        .type   fj_gate, @function
fj_gate:
        push    ebp                     // [A - 4]: the frame base a walk carries on
        push    ebx
        push    esi
        push    edi
        mov     esi, [esp + 20]         // method block
        lea     eax, [esp + 16]         // A
        LOAD_EE edi
        push    eax                     // record word 1
        push    dword ptr [edi + EE_TRANSITION]
        mov     [edi + EE_TRANSITION], esp
        test    word ptr [esi + MB_ACCESS], ACC_NATIVE
        jnz     1f
        mov     dword ptr [edi + EE_MODE], EE_MODE_INTERPRETER
1:      movzx   ecx, word ptr [esi + MB_ARGS_SIZE]
        mov     edx, [esp + 32]         // last argument word (A + 8)
        sub     esp, ARG_AREA
        mov     [esp + ecx * 4], ecx    // count word, just above argument word 0
        xor     ebx, ebx
2:      cmp     ebx, ecx
        jae     3f
        mov     eax, [edx + ebx * 4]
        mov     [esp + ebx * 4], eax
        inc     ebx
        jmp     2b
3:      test    word ptr [esi + MB_ACCESS], ACC_STATIC
        jz      4f
        mov     ebx, 1
        mov     edx, [esi + MB_CLASS]
        jmp     5f
4:      xor     ebx, ebx
        mov     edx, [esp + ecx * 4 - 4]        // argument word 0: the receiver
5:      mov     eax, esi
        call    [eax + MB_INVOKER]
        add     esp, ARG_AREA
        LOAD_EE ecx
        mov     dword ptr [ecx + EE_MODE], EE_MODE_COMPILED
        mov     edi, [esp]              // unlink
        mov     [ecx + EE_TRANSITION], edi
        add     esp, 8
        cmp     dword ptr [ecx + EE_EXCEPTION_KIND], 0
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        jne     fj_raise_thrown         // [esp] = return address into the caller
        ret
        .size   fj_gate, . - fj_gate

// ---------------------------------------------------------------------------
// Software raisers: record at esp, context at esp + 0x14 (Win32 layout),
// handler of the newest registration called with (record, registration,
// context); resume from the context's Eip, Esp, Eax, Ebp, Ebx, Esi, Edi and
// control word.  ExceptionAddress = return address - 5.
// ---------------------------------------------------------------------------
.macro RAISER name, code
        .globl  \name
        .hidden \name
        .type   \name, @function
\name:
        sub     esp, 0xE0
        mov     dword ptr [esp], \code
        mov     dword ptr [esp + 4], 0
        mov     eax, [esp + 0xE0]
        sub     eax, 5
        mov     [esp + 12], eax
        lea     eax, [esp + 0x14]
        mov     [eax + 0xA4], ebx
        mov     [eax + 0xA0], esi
        mov     [eax + 0x9C], edi
        mov     [eax + 0xAC], ecx
        mov     [eax + 0xA8], edx
        mov     [eax + 0xB4], ebp
        lea     edx, [esp + 0xE4]
        mov     [eax + 0xC4], edx
        mov     edx, esp
        and     edx, AREA_MASK
        mov     edx, [edx]
        mov     ecx, esp
        push    eax
        push    edx
        push    ecx
        call    [edx + 4]
        add     esp, 12
        lea     ecx, [esp + 0x14]
        fldcw   [ecx + 0x1C]
        mov     ebp, [ecx + 0xB4]
        mov     eax, [ecx + 0xB0]
        mov     edx, [ecx + 0xB8]
        mov     ebx, [ecx + 0xA4]
        mov     esi, [ecx + 0xA0]
        mov     edi, [ecx + 0x9C]
        mov     esp, [ecx + 0xC4]
        jmp     edx
        .size   \name, . - \name
.endm

        RAISER  fj_raise_thrown, 0xE000000E
        RAISER  fj_raise_null_pointer, 0xE000000D

// eax = the object to throw: make it pending, then raise THROWN.
        .globl  fj_raise_athrow
        .hidden fj_raise_athrow
        .type   fj_raise_athrow, @function
fj_raise_athrow:
        mov     ecx, eax
        LOAD_EE eax
        mov     dword ptr [eax + EE_EXCEPTION_KIND], 1
        mov     [eax + EE_EXCEPTION], ecx
        jmp     fj_raise_thrown
        .size   fj_raise_athrow, . - fj_raise_athrow

// ---------------------------------------------------------------------------
// Method templates
// ---------------------------------------------------------------------------

// Invoker-ABI check: hands every register the invoker ABI defines to
// fj_abi_check, returns its result by kind, clobbers the callee-saved
// registers the ABI lets compiled code clobber.
        .globl  fjt_abi_start, fjt_abi_call, fjt_abi_ret, fjt_abi_end
fjt_abi_start:
        mov     edx, 0x12345678
        pushfd
        push    eax                     // method block
        push    ecx                     // argument words
        push    ebp
        lea     eax, [esp + 16]         // entry stack pointer
        push    eax
        push    edx
        MODE_COMPILED
fjt_abi_call:
        call    [edx + FJ_CHECK]
fjt_abi_ret:
        add     esp, 24
        mov     ecx, eax
        mov     eax, [ecx + FJ_KIND]
        cmp     eax, 'F'
        je      1f
        cmp     eax, 'D'
        je      2f
        mov     edx, [ecx + FJ_RESULT + 4]
        mov     eax, [ecx + FJ_RESULT]
        jmp     3f
1:      fld     dword ptr [ecx + FJ_RESULT]
        jmp     3f
2:      fld     qword ptr [ecx + FJ_RESULT]
3:      mov     ebx, 0xBAD0B0B0
        mov     esi, 0xBAD05151
        mov     edi, 0xBAD0D1D1
        mov     ebp, 0xBAD0EBEB
        ret
fjt_abi_end:

// Calls the record's target through fj_gate with this method's own
// arguments (same signature) and returns whatever it returned.
        .globl  fjt_gate_start, fjt_gate_call, fjt_gate_ret, fjt_gate_end
fjt_gate_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        lea     eax, [esp + 4]          // the last argument word
        push    eax
        push    dword ptr [edx + FJ_TARGET]
fjt_gate_call:
        call    [edx + FJ_GATE]
fjt_gate_ret:
        add     esp, 8
        ret
fjt_gate_end:

// Calls the record's target through fj_gate on a stack lowered to 48 KB
// above the yellow zone: less than a compile request needs, more than an
// interpreter entry needs.  The return address is copied to the new top so
// that the frame's boundary looks like any other to a stack walk.
        .globl  fjt_low_start, fjt_low_call, fjt_low_ret, fjt_low_end
fjt_low_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        mov     eax, esp                // E
        mov     ecx, eax
        and     ecx, AREA_MASK
        add     ecx, THREAD_AREA_STACK + 0xC000
        cmp     ecx, eax
        jb      1f
        mov     ecx, eax                // already that low: stay
1:      mov     esi, [eax]
        mov     [ecx], esi              // the return address, at the new top
        mov     esp, ecx
        push    eax                     // E
        lea     eax, [eax + 4]          // the last argument word
        push    eax
        push    dword ptr [edx + FJ_TARGET]
fjt_low_call:
        call    [edx + FJ_GATE]
fjt_low_ret:
        add     esp, 8
        pop     esp
        ret
fjt_low_end:

// throw (Throwable) argument 0; null throws NullPointerException.
        .globl  fjt_athrow_start, fjt_athrow_call, fjt_athrow_npe, fjt_athrow_end
fjt_athrow_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        mov     eax, [esp + 4]
        test    eax, eax
        jz      fjt_athrow_npe
fjt_athrow_call:
        call    [edx + FJ_ATHROW]
fjt_athrow_npe:
        call    [edx + FJ_RAISE_NPE]
fjt_athrow_end:

// int fj_load(int[] a): a[0], faulting on null.
        .globl  fjt_load_start, fjt_load_fault, fjt_load_end
fjt_load_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        mov     eax, [esp + 4]
fjt_load_fault:
        mov     eax, [eax + 8]
        ret
fjt_load_end:

// int fj_check(Object o): the explicit null check of compiled code.
        .globl  fjt_check_start, fjt_check_fault, fjt_check_end
fjt_check_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        mov     eax, [esp + 4]
fjt_check_fault:
        cmp     eax, [eax]
        mov     eax, 1
        ret
fjt_check_end:

// int fj_div(int a, int b): a / b with the divisor in ecx, no guard.
        .globl  fjt_div_start, fjt_div_fault, fjt_div_end
fjt_div_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        mov     eax, [esp + 8]
        mov     ecx, [esp + 4]
        cdq
fjt_div_fault:
        idiv    ecx
        ret
fjt_div_end:

// int fj_divx(int a, int b): idiv with the divisor in edx (not repairable).
        .globl  fjt_divx_start, fjt_divx_fault, fjt_divx_end
fjt_divx_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        mov     eax, [esp + 8]
        mov     edx, [esp + 4]
fjt_divx_fault:
        idiv    edx
        ret
fjt_divx_end:

// int fj_overflow(): recursion in 0xFF0-byte frames, each probed, until a
// probe lands in the yellow zone.
        .globl  fjt_ovf_start, fjt_ovf_fault, fjt_ovf_call, fjt_ovf_ret, fjt_ovf_end
fjt_ovf_start:
        mov     edx, 0x12345678
        MODE_COMPILED
1:      sub     esp, 0xFF0
fjt_ovf_fault:
        test    [esp], eax
fjt_ovf_call:
        call    1b
fjt_ovf_ret:
        add     esp, 0xFF0
        ret
fjt_ovf_end:

// int fj_red(): touches the red zone of its own thread area (fatal).
        .globl  fjt_red_start, fjt_red_fault, fjt_red_end
fjt_red_start:
        mov     edx, 0x12345678
        MODE_COMPILED
        mov     eax, esp
        and     eax, AREA_MASK
        add     eax, THREAD_AREA_RED + 0x10
fjt_red_fault:
        mov     eax, [eax]
        ret
fjt_red_end:

        .section .note.GNU-stack,"",@progbits
