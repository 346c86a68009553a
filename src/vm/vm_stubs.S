/*
 * vm_stubs.S - the interpreter's assembly: invoker and selector entries,
 * vm_call_java, the thread base, the call-out helpers (Java callee, native
 * function, compile trampoline), the catch point, the restart stub and the
 * frame-less landing stub.
 *
 * A callee entered through its invoker may change every register but esp;
 * the helpers find their own frame again through the registration chain
 * head (TLA word 0), which is their activation's registration again once
 * the callee has returned normally.
 *
 * Everything lives in section vm_interp_text, the interpreter's code range.
 * The code is position independent (the VM links as a PIE): local code
 * addresses are computed from the pc, variables are handled by the C++
 * helpers.
 *
 * Invoker ABI on entry to every invoker and selector: eax = method block,
 * ecx = argument words, [esp] = return address, argument word i at
 * [esp + 4 * (ecx - i)] (word 0 highest), x87 empty, DF clear; result in
 * eax, edx:eax or st(0); the caller pops the arguments.  The entries save
 * ebx, esi, edi and ebp themselves.
 *
 * Placement rule of the registrations: each entry reserves its activation
 * record (registration at its start) at the lowest addresses of its own
 * frame, so a resume with esp at or above the registration never has live
 * data below esp.
 */
#include "interp.h"

        .intel_syntax noprefix
        .section vm_interp_text,"ax",@progbits

/* fninit; fldcw 0x027F; cld -- the x87 and direction state Java code runs
 * with.  Uses the word just below esp as scratch (free by the placement
 * rule wherever this runs). */
#define JAVA_FPU_STATE \
        fninit; \
        mov WORD PTR [esp - 4], X87_CW_JAVA; \
        fldcw WORD PTR [esp - 4]; \
        cld

/* ---------------------------------------------------------------------
 * Invoker and selector values: one label each, distinct addresses.
 * ------------------------------------------------------------------- */
#define INVOKER(name, kind) \
        .globl name; \
        .type name, @function; \
name:   mov edx, kind; \
        jmp vm_invoke_entry; \
        .size name, . - name

        INVOKER(orva_invokeJavaMethod, ENTRY_INVOKE)
        INVOKER(orva_invokeSynchronizedJavaMethod, ENTRY_INVOKE)
        INVOKER(orva_invokeJavaMethodWithCatch, ENTRY_INVOKE)
        INVOKER(orva_invokeSynchronizedJavaMethodWithCatch, ENTRY_INVOKE)
        INVOKER(orva_invokeAbstractMethod, ENTRY_ABSTRACT)
        INVOKER(orva_invokeLazyNativeMethod, ENTRY_INVOKE)
        INVOKER(orva_invokeJNINativeMethod, ENTRY_INVOKE)
        INVOKER(orva_invokeJNISynchronizedNativeMethod, ENTRY_INVOKE)
        INVOKER(orva_SelectInvokeJavaMethod, ENTRY_SELECT)
        INVOKER(orva_SelectInvokeSynchronizedJavaMethod, ENTRY_SELECT)
        INVOKER(orva_SelectInvokeJavaMethodWithCatch, ENTRY_SELECT)
        INVOKER(orva_SelectInvokeSynchronizedJavaMethodWithCatch, ENTRY_SELECT)
        INVOKER(orva_SelectInvokeLazyNativeMethod, ENTRY_SELECT)
        INVOKER(orva_SelectInvokeJNINativeMethod, ENTRY_SELECT)
        INVOKER(orva_SelectInvokeJNISynchronizedNativeMethod, ENTRY_SELECT)
/* The seven selectors above are contiguous: [orva_SelectInvokeJavaMethod,
 * vm_selectors_end) tells a selector value in one comparison pair. */
        .globl vm_selectors_end
vm_selectors_end:

/* orva_invokeCompiledMethod: the compiled code when the method has it,
 * else interpret.  An invoker slot that still names this entry (or any
 * other VM entry) is interpreted, never jumped to. */
        .globl orva_invokeCompiledMethod
        .type orva_invokeCompiledMethod, @function
orva_invokeCompiledMethod:
        test WORD PTR [eax + MB_ACCESS], ACC_COMPILED
        jz 1f
        mov edx, [eax + MB_INVOKER]
        push ecx
        call .Lpc_compiled
.Lpc_compiled:
        pop ecx
        sub ecx, .Lpc_compiled - orva_invokeCompiledMethod
        cmp edx, ecx
        pop ecx
        je 1f
        jmp edx
1:      mov edx, ENTRY_INVOKE
        jmp vm_invoke_entry
        .size orva_invokeCompiledMethod, . - orva_invokeCompiledMethod

/* ---------------------------------------------------------------------
 * vm_invoke_entry: eax = mb, ecx = argument words, edx = ENTRY_* kind.
 * Builds an activation (method kind), runs vm_interpret on it and
 * returns the result by the method's return kind.
 * ------------------------------------------------------------------- */
        .type vm_invoke_entry, @function
vm_invoke_entry:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        push edi
        sub esp, ACT_SIZE
        mov esi, esp                            /* S */
        mov [esi + ACT_X_METHOD], eax
        mov [esi + ACT_X_NARGS], ecx
        mov [esi + ACT_X_ENTRY], edx
        lea edx, [ebp + 4 + ecx * 4]
        mov [esi + ACT_X_ARGS], edx
        mov DWORD PTR [esi + ACT_X_RESULT], 0
        mov DWORD PTR [esi + ACT_X_RESULT + 4], 0
        mov ebx, esp
        and ebx, VM_TLA_MASK_ASM
        mov edi, [ebx + TLA_EE]                 /* EE */
        /* native stack room: 32 KB above the yellow zone; while the zone is
         * open (an overflow is being handled) 8 KB above the red zone */
        mov ecx, VM_NSTACK_ROOM
        cmp DWORD PTR [ebx + TLA_YELLOW_STATE], 0
        je 1f
        mov ecx, VM_NSTACK_ROOM_YELLOW - THREAD_AREA_YELLOW_SIZE
1:      add ecx, [edi + EE_NSTACK_LIMIT]
        cmp esp, ecx
        jb .Lentry_no_room

        push DWORD PTR [ebp]                    /* caller's ebp */
        lea edx, [ebp + 8]
        push edx                                /* bound: just above this frame */
        push eax                                /* mb: method kind */
        push edi
        push esi
        call vm_act_open
        add esp, 20
        push esi
        call vm_interpret
        add esp, 4
        mov ebx, eax
        push esi
        call vm_act_close
        add esp, 4
        cmp ebx, INTERP_TAIL_CALL
        je .Lentry_tail
.Lentry_result:
        mov eax, [esi + ACT_X_METHOD]
        movzx ecx, BYTE PTR [eax + MB_RETURN_KIND]
        cmp ecx, RK_VOID
        je .Lentry_done
        cmp ecx, RK_FLOAT
        je 2f
        cmp ecx, RK_DOUBLE
        je 3f
        mov eax, [esi + ACT_X_RESULT]
        mov edx, [esi + ACT_X_RESULT + 4]
        jmp .Lentry_done
2:      fld DWORD PTR [esi + ACT_X_RESULT]
        jmp .Lentry_done
3:      fld QWORD PTR [esi + ACT_X_RESULT]
.Lentry_done:
        lea esp, [ebp - 12]
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
.Lentry_tail:
        /* compiled meanwhile: the caller's frame, arguments and return
         * address as they were at entry, then its current invoker */
        mov eax, [esi + ACT_X_METHOD]
        mov ecx, [esi + ACT_X_NARGS]
        lea esp, [ebp - 12]
        pop edi
        pop esi
        pop ebx
        pop ebp
        jmp DWORD PTR [eax + MB_INVOKER]
.Lentry_no_room:
        push edi
        call vm_throw_stack_overflow
        add esp, 4
        jmp .Lentry_result
        .size vm_invoke_entry, . - vm_invoke_entry

/* ---------------------------------------------------------------------
 * int vm_call_java(EE*, methodblock*, const u4* argv, u4 nargs,
 *                  JValue* result)
 * Frame-less registration (resume word vm_frameless_landing) with its
 * catch point saved here, R_act, the call-in marker frame, then the
 * method's invoker.  A raise nobody above caught lands at .Lcj_landed
 * with eax = 2 and esp = S.
 * ------------------------------------------------------------------- */
        .globl vm_call_java
        .type vm_call_java, @function
vm_call_java:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        push edi
        sub esp, ACT_SIZE
        mov esi, esp                            /* S */
        mov edi, [ebp + 8]                      /* EE */
        mov ebx, [edi + EE_AREA]                /* TLA */
        mov ecx, VM_NSTACK_ROOM
        cmp DWORD PTR [ebx + TLA_YELLOW_STATE], 0
        je 1f
        mov ecx, VM_NSTACK_ROOM_YELLOW - THREAD_AREA_YELLOW_SIZE
1:      add ecx, [edi + EE_NSTACK_LIMIT]
        cmp esp, ecx
        jb .Lcj_no_room

        mov eax, [ebp + 12]
        mov [esi + ACT_X_METHOD], eax
        mov ecx, [ebp + 20]
        mov [esi + ACT_X_NARGS], ecx
        mov DWORD PTR [esi + ACT_X_ENTRY], ENTRY_CALL_JAVA
        mov DWORD PTR [esi + ACT_X_ARGS], 0
        push DWORD PTR [ebp]                    /* caller's ebp */
        lea edx, [ebp + 8]
        push edx                                /* bound */
        push 0                                  /* frame-less */
        push edi
        push esi
        call vm_act_open
        add esp, 20
        /* catch point of the frame-less registration */
        mov [esi + ACT_P + REG_SAVE_EBX], ebx
        mov [esi + ACT_P + REG_SAVE_ESI], esi
        mov [esi + ACT_P + REG_SAVE_EDI], edi
        mov [esi + ACT_P + REG_SAVE_EBP], ebp
        mov [esi + ACT_P + REG_SAVE_ESP], esp
        call .Lpc_cj
.Lpc_cj:
        pop eax
        add eax, .Lcj_landed - .Lpc_cj
        mov [esi + ACT_P + REG_SAVE_EIP], eax

        push esi
        call vm_callin_begin                    /* marker frame; 0: failed */
        add esp, 4
        test eax, eax
        jz .Lcj_out

        mov ecx, [ebp + 20]
        lea eax, [ecx * 4]
        sub esp, eax
        mov edx, [ebp + 16]
        lea edi, [esp + ecx * 4 - 4]
        test ecx, ecx
        jz 3f
2:      mov eax, [edx]
        mov [edi], eax
        add edx, 4
        sub edi, 4
        dec ecx
        jnz 2b
3:      mov eax, [ebp + 12]
        mov ecx, [ebp + 20]
        lea ebp, [esi + ACT_T + 32]
        call DWORD PTR [eax + MB_INVOKER]
        /* Only esp survives the callee; this call's registration is the
         * chain head again (registrations are strictly nested) and S lies
         * just below it. */
        mov ecx, esp
        and ecx, VM_TLA_MASK_ASM
        mov ecx, [ecx + TLA_REGISTRATION]
        lea esi, [ecx - ACT_P]                  /* S */
        mov ebp, [esi + ACT_P + REG_SAVE_EBP]
        mov ecx, [ebp + 24]                     /* result */
        mov ebx, [ebp + 12]
        movzx ebx, BYTE PTR [ebx + MB_RETURN_KIND]
        cmp ebx, RK_VOID
        je 6f
        cmp ebx, RK_FLOAT
        je 4f
        cmp ebx, RK_DOUBLE
        je 5f
        test ecx, ecx
        jz 6f
        mov [ecx], eax
        mov [ecx + 4], edx
        jmp 6f
4:      test ecx, ecx
        jz 7f
        fstp DWORD PTR [ecx]
        jmp 6f
5:      test ecx, ecx
        jz 7f
        fstp QWORD PTR [ecx]
        jmp 6f
7:      fstp st(0)
6:      mov esp, esi
        JAVA_FPU_STATE
        push 0
        push 0
        push esi
        call vm_callin_end
        add esp, 12
        jmp .Lcj_out

.Lcj_landed:
        /* eax = 2; ebx, esi (= S), edi, ebp restored; esp = S */
        push DWORD PTR [ebp + 24]
        push 1
        push esi
        call vm_callin_end
        add esp, 12
        jmp .Lcj_out

.Lcj_no_room:
        push edi
        call vm_throw_stack_overflow
        add esp, 4
        xor eax, eax
.Lcj_out:
        lea esp, [ebp - 12]
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
        .size vm_call_java, . - vm_call_java

/* ---------------------------------------------------------------------
 * void vm_thread_base(EE*, void (*fn)(EE*, void*), void* arg)
 * The bottom registration of a thread (frame-less, resume word
 * vm_thread_bottom_landing, next 0) and the thread base frame; then fn.
 * A raise that reaches the bottom returns from here with the exception
 * pending.
 * ------------------------------------------------------------------- */
        .globl vm_thread_base
        .type vm_thread_base, @function
vm_thread_base:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        push edi
        sub esp, ACT_SIZE
        mov esi, esp                            /* S */
        JAVA_FPU_STATE
        lea eax, [ebp + 8]
        push eax                                /* bound */
        push DWORD PTR [ebp + 8]
        push esi
        call vm_thread_base_open
        add esp, 12
        mov [esi + ACT_P + REG_SAVE_EBX], ebx
        mov [esi + ACT_P + REG_SAVE_ESI], esi
        mov [esi + ACT_P + REG_SAVE_EDI], edi
        mov [esi + ACT_P + REG_SAVE_EBP], ebp
        mov [esi + ACT_P + REG_SAVE_ESP], esp
        call .Lpc_tb
.Lpc_tb:
        pop eax
        add eax, .Ltb_landed - .Lpc_tb
        mov [esi + ACT_P + REG_SAVE_EIP], eax

        push DWORD PTR [ebp + 16]
        push DWORD PTR [ebp + 8]
        call DWORD PTR [ebp + 12]
        add esp, 8
        push 0
        push esi
        call vm_thread_base_close
        add esp, 8
        jmp .Ltb_out
.Ltb_landed:
        push 1
        push esi
        call vm_thread_base_close
        add esp, 8
.Ltb_out:
        lea esp, [ebp - 12]
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
        .size vm_thread_base, . - vm_thread_base

/* ---------------------------------------------------------------------
 * void vm_callout(vm_activation* act, methodblock* mb, const u4* slots,
 *                 u4 nargs, JValue* result, int kind)
 * The interpreter's call of a callee it does not run itself.
 * ------------------------------------------------------------------- */
        .globl vm_callout
        .type vm_callout, @function
vm_callout:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        push edi
        mov edx, [ebp + 8]                      /* act */
        mov [edx + ACT_X_CALLOUT_EBP], ebp
        mov ecx, [ebp + 20]
        lea eax, [ecx * 4]
        sub esp, eax
        mov esi, [ebp + 16]
        lea edi, [esp + ecx * 4 - 4]
        test ecx, ecx
        jz 2f
1:      mov eax, [esi]
        mov [edi], eax
        add esi, 4
        sub edi, 4
        dec ecx
        jnz 1b
2:      mov eax, [ebp + 12]
        mov ecx, [ebp + 20]
        lea ebp, [edx + ACT_T + 32]
        call DWORD PTR [eax + MB_INVOKER]
        /* Only esp survives the callee (compiled code restores ebx and ebp
         * only as far as it saved them).  The activation's registration is
         * the chain head again, and the activation holds this frame's ebp. */
        mov ecx, esp
        and ecx, VM_TLA_MASK_ASM
        mov ecx, [ecx + TLA_REGISTRATION]
        mov ebp, [ecx - ACT_P + ACT_X_CALLOUT_EBP]
        mov ecx, [ebp + 24]
        mov ebx, [ebp + 28]
        cmp ebx, RK_VOID
        je 5f
        cmp ebx, RK_FLOAT
        je 3f
        cmp ebx, RK_DOUBLE
        je 4f
        mov [ecx], eax
        mov [ecx + 4], edx
        jmp 5f
3:      fstp DWORD PTR [ecx]
        jmp 5f
4:      fstp QWORD PTR [ecx]
5:      cld
        mov ecx, [ebp + 8]
        mov ecx, [ecx + ACT_REG + 4]            /* EE */
        mov DWORD PTR [ecx + EE_MODE], EE_MODE_INTERPRETER
        lea esp, [ebp - 12]
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
        .size vm_callout, . - vm_callout

/* ---------------------------------------------------------------------
 * void vm_native_call(vm_activation* act, void* fn, const u4* cargs,
 *                     u4 nwords, JValue* result, int kind)
 * The JNI marshaller's call: cargs[0] is the first C argument.
 * ------------------------------------------------------------------- */
        .globl vm_native_call
        .type vm_native_call, @function
vm_native_call:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        push edi
        mov ecx, [ebp + 20]
        lea eax, [ecx * 4]
        sub esp, eax
        mov esi, [ebp + 16]
        mov edi, esp
        test ecx, ecx
        jz 2f
1:      mov eax, [esi]
        mov [edi], eax
        add esi, 4
        add edi, 4
        dec ecx
        jnz 1b
2:      mov edx, [ebp + 8]
        mov eax, [ebp + 12]
        mov esi, ebp                            /* natives are cdecl: esi survives */
        lea ebp, [edx + ACT_T + 32]
        call eax
        mov ebp, esi
        mov ecx, [ebp + 24]
        mov ebx, [ebp + 28]
        cmp ebx, RK_VOID
        je 5f
        cmp ebx, RK_FLOAT
        je 3f
        cmp ebx, RK_DOUBLE
        je 4f
        mov [ecx], eax
        mov [ecx + 4], edx
        jmp 5f
3:      fstp DWORD PTR [ecx]
        jmp 5f
4:      fstp QWORD PTR [ecx]
5:      cld
        lea esp, [ebp - 12]
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
        .size vm_native_call, . - vm_native_call

/* ---------------------------------------------------------------------
 * int vm_request_compile(vm_activation* act, methodblock* mb,
 *                        void* trampoline, u1* transfer_point)
 * eax = mb, esi = the transfer point (0 for an ordinary request),
 * ebp = T + 32; the trampoline returns ZF set when the method now has
 * compiled code (with that transfer point, for a transfer request).
 * ------------------------------------------------------------------- */
        .globl vm_request_compile
        .type vm_request_compile, @function
vm_request_compile:
        push ebp
        push ebx
        push esi
        push edi
        mov ecx, [esp + 20]
        mov eax, [esp + 24]
        mov edx, [esp + 28]
        mov esi, [esp + 32]
        lea ebp, [ecx + ACT_T + 32]
        call edx
        setz al
        movzx eax, al
        cld
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
        .size vm_request_compile, . - vm_request_compile

/* ---------------------------------------------------------------------
 * int vm_transfer(vm_activation* act, JavaFrame* frame, u1* pc, u4 lock,
 *                 JValue* result, int kind, void* entry)
 * Hands the interpreted activation `frame` (already unlinked from EE+8)
 * over to its compiled code at the backward branch pc, through the
 * compiler's transfer entry.  Builds the transfer record (XS_*) at
 * ebp - 0x20, below it the saved registers, the compiled frame's argument
 * words and its return-address slot E holding .Lxfer_returned, and calls
 * the entry with ebp = this frame, esi = pc, edi = the frame's locals and
 * eax = E.  A refusal returns here from the call: 0.  Otherwise the
 * compiled method returns to .Lxfer_returned like a callee of vm_callout
 * (only esp survives; ebp is found again through the activation): the
 * result is stored by return kind, 1.  A raise the method does not catch
 * unwinds past this frame to the activation's registration.
 * ------------------------------------------------------------------- */
        .globl vm_transfer
        .type vm_transfer, @function
vm_transfer:
        push ebp
        mov ebp, esp
        sub esp, XS_SIZE
        push ebx
        push esi
        push edi
        mov edx, [ebp + 8]                      /* act */
        mov [edx + ACT_X_CALLOUT_EBP], ebp
        mov ecx, [ebp + 12]                     /* the frame */
        mov [ebp + XS_FRAME], ecx
        mov eax, [ecx + JF_METHOD]
        mov [ebp + XS_METHOD], eax
        mov eax, [ebp + 16]
        mov [ebp + XS_PC], eax
        lea eax, [edx + ACT_T + 32]             /* walkers find T through it */
        mov [ebp + XS_CALLER_EBP], eax
        mov eax, [ebp + 20]
        mov [ebp + XS_MONITOR], eax
        mov eax, [ebp + 24]
        mov [ebp + XS_RESULT], eax
        mov eax, [ebp + 28]
        mov [ebp + XS_RETURN_KIND], eax
        mov eax, [ebp + XS_METHOD]
        movzx eax, WORD PTR [eax + MB_ARGS_SIZE]
        shl eax, 2
        sub esp, eax                            /* the argument words */
        call .Lpc_xfer
.Lpc_xfer:
        pop eax
        add eax, .Lxfer_returned - .Lpc_xfer
        push eax                                /* E */
        mov [ebp + XS_RETURN_SLOT], esp
        mov edi, [ecx + JF_LOCALS]
        mov esi, [ebp + XS_PC]
        mov eax, esp
        call DWORD PTR [ebp + 32]
        /* refused: ebx, esi, edi as they were, ebp untouched */
        xor eax, eax
        jmp .Lxfer_out
.Lxfer_returned:
        mov ecx, esp
        and ecx, VM_TLA_MASK_ASM
        mov ecx, [ecx + TLA_REGISTRATION]
        mov ebp, [ecx - ACT_P + ACT_X_CALLOUT_EBP]
        mov ecx, [ebp + XS_RESULT]
        mov ebx, [ebp + XS_RETURN_KIND]
        cmp ebx, RK_VOID
        je 3f
        cmp ebx, RK_FLOAT
        je 1f
        cmp ebx, RK_DOUBLE
        je 2f
        mov [ecx], eax
        mov [ecx + 4], edx
        jmp 3f
1:      fstp DWORD PTR [ecx]
        jmp 3f
2:      fstp QWORD PTR [ecx]
3:      cld
        mov ecx, [ebp + 8]
        mov ecx, [ecx + ACT_REG + 4]            /* EE */
        mov DWORD PTR [ecx + EE_MODE], EE_MODE_INTERPRETER
        mov eax, 1
.Lxfer_out:
        lea esp, [ebp - XS_SIZE - 12]
        pop edi
        pop esi
        pop ebx
        leave
        ret
        .size vm_transfer, . - vm_transfer

/* ---------------------------------------------------------------------
 * int vm_catch_point(u4* P): saves the callee-saved registers, the
 * caller's esp after the return and the return address into P+24 ..
 * P+44; returns 0.  The restart stub returns here again with 1.
 * ------------------------------------------------------------------- */
        .globl vm_catch_point
        .type vm_catch_point, @function
vm_catch_point:
        mov edx, [esp + 4]
        mov [edx + REG_SAVE_EBX], ebx
        mov [edx + REG_SAVE_ESI], esi
        mov [edx + REG_SAVE_EDI], edi
        mov [edx + REG_SAVE_EBP], ebp
        lea ecx, [esp + 4]
        mov [edx + REG_SAVE_ESP], ecx
        mov ecx, [esp]
        mov [edx + REG_SAVE_EIP], ecx
        xor eax, eax
        ret
        .size vm_catch_point, . - vm_catch_point

/* ---------------------------------------------------------------------
 * Restart stub (MMI +156): the exception filter resumes here with
 * esi = handler pc, eax = exception object, ebp = P + 0x2C and esp = the
 * resume word (the catch point's saved esp).  Records the handler in the
 * activation and returns a second time from the catch point.
 * ------------------------------------------------------------------- */
        .globl orva_mmipExceptionExecuteRestart
        .type orva_mmipExceptionExecuteRestart, @function
orva_mmipExceptionExecuteRestart:
        lea edx, [ebp - REG_SAVE_EIP]           /* P */
        mov ecx, [edx + REG_STATE]              /* the activation */
        mov [ecx + ACT_HANDLER_PC], esi
        mov [ecx + ACT_EXC_OBJECT], eax
        JAVA_FPU_STATE
        mov ebx, [edx + REG_SAVE_EBX]
        mov esi, [edx + REG_SAVE_ESI]
        mov edi, [edx + REG_SAVE_EDI]
        mov ecx, [edx + REG_SAVE_EIP]
        mov esp, [edx + REG_SAVE_ESP]
        mov ebp, [edx + REG_SAVE_EBP]
        mov eax, 1
        jmp ecx
        .size orva_mmipExceptionExecuteRestart, . - orva_mmipExceptionExecuteRestart

/* ---------------------------------------------------------------------
 * Frame-less landing (resume word of vm_call_java's and the thread
 * bottom's registrations): entered with ebp = P + 0x2C, esp = P - 8.
 * Same as the restart without the two stores, eax = 2.
 * ------------------------------------------------------------------- */
        .globl vm_frameless_landing
        .type vm_frameless_landing, @function
        .globl vm_thread_bottom_landing
        .type vm_thread_bottom_landing, @function
vm_frameless_landing:
vm_thread_bottom_landing:
        lea edx, [ebp - REG_SAVE_EIP]           /* P */
        JAVA_FPU_STATE
        mov ebx, [edx + REG_SAVE_EBX]
        mov esi, [edx + REG_SAVE_ESI]
        mov edi, [edx + REG_SAVE_EDI]
        mov ecx, [edx + REG_SAVE_EIP]
        mov esp, [edx + REG_SAVE_ESP]
        mov ebp, [edx + REG_SAVE_EBP]
        mov eax, 2
        jmp ecx
        .size vm_frameless_landing, . - vm_frameless_landing

        .section .note.GNU-stack,"",@progbits
