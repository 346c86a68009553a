// The fault raiser: turns a hardware fault that the signal handler accepted
// into a call of the thread's exception handler, in normal thread context.
//
// The signal handler stores the fault code, the faulting eip and the data
// address in the TLA (+0x0C .. +0x14), sets the in-progress word (+0x18) and
// resumes the thread here with every register as it was at the fault except
// eip.  This routine then does what the software raisers of the compiler do,
// with three differences the filters rely on:
//   - the context's Eip is the faulting instruction before the call (the
//     idiv repair adds 2 to it);
//   - Ecx and Edx are recorded and restored from the context (the repair
//     sets Edx = 0; the array-bounds conversion reads the SIB registers);
//   - the handler's answer is checked: anything but 0 (continue from the
//     context) is a fatal "unhandled exception event".
// It first puts this thread's TLS segment back (see .Ltls_check).
// Raise area (0xE0 bytes at esp): exception record (20 bytes) at esp, the
// Win32-layout register context (204 bytes) at esp + 0x14.
#include "vm_abi.h"

        .intel_syntax noprefix

#define REC_CODE        0x00
#define REC_FLAGS       0x04
#define REC_NESTED      0x08
#define REC_ADDRESS     0x0C
#define REC_NPARAMS     0x10
#define CTX             0x14
#define CTX_CW          0x1C
#define CTX_EDI         0x9C
#define CTX_ESI         0xA0
#define CTX_EBX         0xA4
#define CTX_EDX         0xA8
#define CTX_ECX         0xAC
#define CTX_EAX         0xB0
#define CTX_EBP         0xB4
#define CTX_EIP         0xB8
#define CTX_ESP         0xC4
#define RAISE_AREA      0xE0
// TLA_MASK carries a C suffix the assembler does not accept.
#define AREA_MASK       0xFFFC0000
// set_thread_area(struct user_desc*): entry, base, limit, then the flag
// bits seg_32bit (0), limit_in_pages (4) and useable (6), as glibc sets them.

        .text
        .globl  vm_fault_raiser
        .type   vm_fault_raiser, @function
        .p2align 4
vm_fault_raiser:
        sub     esp, RAISE_AREA
        mov     [esp + CTX + CTX_EDI], edi
        mov     [esp + CTX + CTX_ESI], esi
        mov     [esp + CTX + CTX_EBX], ebx
        mov     [esp + CTX + CTX_EDX], edx
        mov     [esp + CTX + CTX_ECX], ecx
        mov     [esp + CTX + CTX_EAX], eax
        mov     [esp + CTX + CTX_EBP], ebp
        lea     eax, [esp + RAISE_AREA]         // the faulting esp
        mov     [esp + CTX + CTX_ESP], eax
        mov     dword ptr [esp + CTX + CTX_CW], 0
        fnstcw  [esp + CTX + CTX_CW]
        mov     edx, esp
        and     edx, AREA_MASK                  // this thread's TLA

        // Returning from the signal reloaded %gs from the descriptor table.
        // A kernel keeps the TLS slots per thread, but qemu-i386 keeps one
        // table for the process, whose slot holds the base that some thread
        // wrote last: the thread started last, often ended and unmapped by
        // now, and every later use of the C library's TLS (the VM's EE
        // pointer, errno, malloc's caches) went to it.  vm_tls_repair writes
        // our own base back under the guard that thread creation also holds.
        push    edx
        push    edx
        call    vm_tls_repair
        add     esp, 4
        pop     edx
.Ltls_ok:
        mov     eax, [edx + TLA_FAULT_EIP]
        mov     [esp + CTX + CTX_EIP], eax
        mov     [esp + REC_ADDRESS], eax
        mov     eax, [edx + TLA_FAULT_CODE]
        mov     [esp + REC_CODE], eax
        xor     eax, eax
        mov     [esp + REC_FLAGS], eax          // continuable
        mov     [esp + REC_NESTED], eax
        mov     [esp + REC_NPARAMS], eax
        mov     [edx + TLA_FAULT_BUSY], eax     // a later fault is a new event
        mov     ecx, [edx + TLA_REGISTRATION]   // newest registration (checked non-zero)
        lea     eax, [esp + CTX]
        cld
        push    eax                             // context
        push    ecx                             // registration
        lea     eax, [esp + 8]
        push    eax                             // record
        call    [ecx + 4]
        add     esp, 12
        test    eax, eax
        jnz     .Lunhandled

        // Resume from the context: all eight registers, eip and the control
        // word.  t = ctx.Esp is read first; the four words stored below t may
        // overlap only SegCs, EFlags, Esp and SegSs of the context when t is
        // the faulting esp, none of which is needed any more.
        lea     ecx, [esp + CTX]
        fldcw   [ecx + CTX_CW]
        cld
        mov     edx, [ecx + CTX_ESP]
        mov     eax, [ecx + CTX_EIP]
        mov     [edx - 4], eax
        mov     eax, [ecx + CTX_EDX]
        mov     [edx - 8], eax
        mov     eax, [ecx + CTX_ECX]
        mov     [edx - 12], eax
        mov     eax, [ecx + CTX_EAX]
        mov     [edx - 16], eax
        mov     ebx, [ecx + CTX_EBX]
        mov     esi, [ecx + CTX_ESI]
        mov     edi, [ecx + CTX_EDI]
        mov     ebp, [ecx + CTX_EBP]
        lea     esp, [edx - 16]
        pop     eax
        pop     ecx
        pop     edx
        ret

.Lunhandled:
        lea     ecx, [esp + CTX]
        push    eax                             // the handler's answer
        push    ecx                             // context
        lea     eax, [esp + 8]
        push    eax                             // record
        call    vm_fault_unhandled              // prints the report, aborts
        ud2
        .size   vm_fault_raiser, . - vm_fault_raiser

        .section .note.GNU-stack,"",@progbits
