/*
 * fakejit.h - the test-double compiler library.
 *
 * A small shared library that binds to the VM exactly as the compiler does,
 * from the documented contract only: it checks the version words and the
 * slot kinds of the link vector, calls the services, writes its hooks,
 * registers an exception handler that implements the interpreter
 * registration protocol and the raiser protocol, walks stacks with its own
 * frame iterator, and "compiles" chosen methods by copying hand-written
 * assembly templates into executable memory and registering their code
 * ranges as committed code.
 *
 * Which methods it compiles is told by their names (class names starting
 * with "Fj"):
 *   fj_abi_<sig>[_i]   checks the invoker ABI and returns a known value
 *   fj_call_<x>        calls t_<x> of the same class through a gate-like
 *                      interpreter call and returns its result
 *   fj_low_<x>         the same with only 48 KB of stack left
 *   fj_abi_<sig>_incompile  as fj_abi_, and its compile request runs Java
 *                      code (sel_nested) while the compile is active; the
 *                      request must come from interpreted code (the test
 *                      double builds no compile-driver records for walks)
 *   fj_athrow          throws its argument through the software raiser
 *   fj_load, fj_check  null faults (mov eax,[eax+8] / cmp eax,[eax])
 *   fj_div, fj_divx    idiv with the divisor in ecx / edx
 *   fj_overflow        recursion that probes into the yellow zone
 *   fj_red             touches the red zone (fatal)
 *   fr_*               the compile fails: interpreter invoker, counter 0xFFFF
 *   anything else      refused by a skip filter (selector left in place)
 */
#ifndef FAKEJIT_H
#define FAKEJIT_H

#include "vm_abi.h"

/* Per-method record that edx points to inside a template (patched into the
 * template's first instruction, mov edx, imm32). */
#define FJ_CHECK        0       /* C function of the ABI template */
#define FJ_GATE         4       /* fj_gate */
#define FJ_TARGET       8       /* gate target method block */
#define FJ_ATHROW       12      /* fj_raise_athrow */
#define FJ_RAISE_NPE    16      /* fj_raise_null_pointer */
#define FJ_RESULT       20      /* two result words (low, high) */
#define FJ_KIND         28      /* return kind character */
#define FJ_MB           32      /* the method itself */
#define FJ_RECORD_SIZE  64

#define FJ_DEADBEEF     0xDEADBEEF

#ifndef __ASSEMBLER__

#include <cstddef>

struct fj_record {
    u4 check_fn;
    u4 gate_fn;
    methodblock* target;
    u4 athrow_fn;
    u4 npe_fn;
    u4 result[2];
    u4 kind;
    methodblock* mb;
    u4 reserved[7];
};
static_assert(sizeof(fj_record) == FJ_RECORD_SIZE);
static_assert(offsetof(fj_record, check_fn) == FJ_CHECK);
static_assert(offsetof(fj_record, gate_fn) == FJ_GATE);
static_assert(offsetof(fj_record, target) == FJ_TARGET);
static_assert(offsetof(fj_record, athrow_fn) == FJ_ATHROW);
static_assert(offsetof(fj_record, npe_fn) == FJ_RAISE_NPE);
static_assert(offsetof(fj_record, result) == FJ_RESULT);
static_assert(offsetof(fj_record, kind) == FJ_KIND);
static_assert(offsetof(fj_record, mb) == FJ_MB);

/* A committed-code range with its stack-depth table (code offset -> words
 * pushed below the entry stack pointer at that offset), ascending. */
#define FJ_MAX_DEPTHS 8
struct fj_code {
    u4 start;
    u4 end;
    methodblock* mb;
    int ndepths;
    u4 offsets[FJ_MAX_DEPTHS];
    u4 depths[FJ_MAX_DEPTHS];
};

/* Assembly (fj_stubs.S). */
extern "C" {
void fj_trampoline();                   /* link-vector slot 4 */
void fj_gate();                         /* gate-like interpreter call */
void fj_raise_athrow();                 /* eax = object: pending, then THROWN */
void fj_raise_thrown();                 /* 0xE000000E: the pending exception */
void fj_raise_null_pointer();           /* 0xE000000D */
/* Template boundaries and the labels the depth tables are built from. */
extern char fjt_abi_start[], fjt_abi_call[], fjt_abi_ret[], fjt_abi_end[];
extern char fjt_gate_start[], fjt_gate_call[], fjt_gate_ret[], fjt_gate_end[];
extern char fjt_low_start[], fjt_low_call[], fjt_low_ret[], fjt_low_end[];
extern char fjt_athrow_start[], fjt_athrow_call[], fjt_athrow_npe[], fjt_athrow_end[];
extern char fjt_load_start[], fjt_load_fault[], fjt_load_end[];
extern char fjt_check_start[], fjt_check_fault[], fjt_check_end[];
extern char fjt_div_start[], fjt_div_fault[], fjt_div_end[];
extern char fjt_divx_start[], fjt_divx_fault[], fjt_divx_end[];
extern char fjt_ovf_start[], fjt_ovf_fault[], fjt_ovf_call[], fjt_ovf_ret[], fjt_ovf_end[];
extern char fjt_red_start[], fjt_red_fault[], fjt_red_end[];
}

/* fj_runtime.cpp */
extern "C" int fj_compile(methodblock* mb, u4 esi, u4 entry_ebp, u4 entry_esp);
extern "C" fj_record* fj_abi_check(fj_record* rec, u4 entry_esp, u4 ebp, u4 ecx, u4 eax, u4 eflags);
extern "C" int fj_exception_handler(u4* record, u4 registration, u1* context);
extern "C" int fj_pc_in_compiled(u4 pc, methodblock* mb);
const fj_code* fj_find_code(u4 pc);
void fj_summary();
void fj_note_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));
void fj_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* fj_frames.cpp: the frame iterator installed in slots 0-17. */
void fj_install_frame_interface(void** table);

/* fj_start.cpp: services copied from the link vector. */
struct fj_services {
    EE* (*current_ee)();
    void (*SignalError)(EE*, const char*, const char*);
    classblock* (*FindClassFromClass)(EE*, const char*, int, classblock*);
    u4 (*execute_static)(EE*, classblock*, const char*, const char*, ...);
    u1* (*mmipExceptionMethodHandler)(EE*, void*, methodblock*, classblock*, int*);
    void* restart;
    int (*monitorExit2)(EE*, JHandle*);
    u4 interp_range[2];
    classblock** class_object;          /* address of the VM's Object class variable */
    void* invokers[8];                  /* Java, sync, with-catch, sync with-catch,
                                           lazy native, JNI, JNI sync, abstract */
    void* selectors[7];
    void* (*custom_select)(EE*, methodblock*, int);
    void* handler;                      /* what MMI +172 registered */
    u4 (*frame_address)(void* iterator);   /* frame-interface slot 18 */
};
extern fj_services fj;

#endif /* __ASSEMBLER__ */
#endif /* FAKEJIT_H */
