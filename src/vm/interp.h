/*
 * interp.h - records and helpers shared by the interpreter's C++ files
 * (interp.cpp, interp_invoke.cpp, quicken.cpp, exceptions.cpp,
 * stackwalk.cpp) and its assembly (vm_stubs.S).  Everything here is private
 * to the VM; the compiler sees none of it.
 *
 * Usable from assembly: only #defines before the __ASSEMBLER__ guard.
 */
#ifndef ORVA_INTERP_H
#define ORVA_INTERP_H

#include "vm_abi.h"

/* Words of the activation record's reserved area (S+0x88 .. S+0x9F), used
 * by the entry routines to hand the call to vm_interpret. */
#define ACT_X_METHOD            0x88    /* method block being entered */
#define ACT_X_ARGS              0x8C    /* address of argument word 0 (the highest) */
#define ACT_X_CALLOUT_EBP       0x8C    /* once running: ebp of vm_callout's frame */
#define ACT_X_NARGS             0x90    /* argument words (ecx at entry) */
#define ACT_X_RESULT            0x94    /* 8 bytes: the result, native little-endian */
#define ACT_X_ENTRY             0x9C    /* ENTRY_* kind of the entry routine */

/* Entry kinds (ACT_X_ENTRY). */
#define ENTRY_INVOKE            0       /* interpreter / native invokers: run the method */
#define ENTRY_SELECT            1       /* selectors: counter rule first */
#define ENTRY_ABSTRACT          2       /* orva_invokeAbstractMethod */
#define ENTRY_CALL_JAVA         3       /* vm_call_java's frame-less activation */
#define ENTRY_THREAD_BASE       4       /* vm_thread_base's bottom registration */

/* vm_interpret results. */
#define INTERP_RETURNED         0       /* result in ACT_X_RESULT */
#define INTERP_EXCEPTION        1       /* exception pending */
#define INTERP_TAIL_CALL        2       /* compiled meanwhile: jump to [mb+0x2C] */

/* Native stack the VM requires before it enters Java code: 32 KB above the
 * yellow zone (EE+0x34); while the yellow zone is open for an overflow, 8 KB
 * above the red zone; 64 KB before a compile request. */
#define VM_NSTACK_ROOM          0x8000
#define VM_NSTACK_ROOM_YELLOW   0x2000
#define VM_NSTACK_ROOM_COMPILE  0x10000
/* Java stack slack kept free above every pushed frame. */
#define VM_JSTACK_SLACK         0x1000

/* Return kinds (method block +0x50) as the assembly compares them. */
#define RK_VOID                 86      /* 'V' */
#define RK_FLOAT                70      /* 'F' */
#define RK_DOUBLE               68      /* 'D' */
#define RK_LONG                 74      /* 'J' */

/* Constants of vm_abi.h that carry a C suffix, in assembler form. */
#define VM_TLA_MASK_ASM         0xFFFC0000
#define VM_T_MARKER_ASM         0xDEADBEEF

/* Quick opcodes the interpreter writes (lossless quickening). */
#define OPC_LDC_QUICK                   203
#define OPC_LDC_W_QUICK                 204
#define OPC_LDC2_W_QUICK                205
#define OPC_GETFIELD_QUICK              206
#define OPC_PUTFIELD_QUICK              207
#define OPC_GETFIELD2_QUICK             208
#define OPC_PUTFIELD2_QUICK             209
#define OPC_GETSTATIC_QUICK             210
#define OPC_PUTSTATIC_QUICK             211
#define OPC_GETSTATIC2_QUICK            212
#define OPC_PUTSTATIC2_QUICK            213
#define OPC_INVOKEVIRTUAL_QUICK         214
#define OPC_INVOKENONVIRTUAL_QUICK      215
#define OPC_INVOKESUPER_QUICK           216
#define OPC_INVOKESTATIC_QUICK          217
#define OPC_INVOKEINTERFACE_QUICK       218
#define OPC_INVOKEVIRTUALOBJECT_QUICK   219
#define OPC_NEW_QUICK                   221
#define OPC_ANEWARRAY_QUICK             222
#define OPC_MULTIANEWARRAY_QUICK        223
#define OPC_CHECKCAST_QUICK             224
#define OPC_INSTANCEOF_QUICK            225
#define OPC_INVOKEVIRTUAL_QUICK_W       226
#define OPC_GETFIELD_QUICK_W            227
#define OPC_PUTFIELD_QUICK_W            228
#define OPC_REWRITING                   0xFE    /* a quickening write is in progress */

#ifndef __ASSEMBLER__

#include "vm.h"

/* The standard instruction set (class-file opcodes). */
#define VM_OPCODES(X) \
    X(NOP, 0) X(ACONST_NULL, 1) X(ICONST_M1, 2) X(ICONST_0, 3) X(ICONST_1, 4) X(ICONST_2, 5) \
    X(ICONST_3, 6) X(ICONST_4, 7) X(ICONST_5, 8) X(LCONST_0, 9) X(LCONST_1, 10) X(FCONST_0, 11) \
    X(FCONST_1, 12) X(FCONST_2, 13) X(DCONST_0, 14) X(DCONST_1, 15) X(BIPUSH, 16) X(SIPUSH, 17) \
    X(LDC, 18) X(LDC_W, 19) X(LDC2_W, 20) X(ILOAD, 21) X(LLOAD, 22) X(FLOAD, 23) X(DLOAD, 24) \
    X(ALOAD, 25) X(ILOAD_0, 26) X(ILOAD_1, 27) X(ILOAD_2, 28) X(ILOAD_3, 29) X(LLOAD_0, 30) \
    X(LLOAD_1, 31) X(LLOAD_2, 32) X(LLOAD_3, 33) X(FLOAD_0, 34) X(FLOAD_1, 35) X(FLOAD_2, 36) \
    X(FLOAD_3, 37) X(DLOAD_0, 38) X(DLOAD_1, 39) X(DLOAD_2, 40) X(DLOAD_3, 41) X(ALOAD_0, 42) \
    X(ALOAD_1, 43) X(ALOAD_2, 44) X(ALOAD_3, 45) X(IALOAD, 46) X(LALOAD, 47) X(FALOAD, 48) \
    X(DALOAD, 49) X(AALOAD, 50) X(BALOAD, 51) X(CALOAD, 52) X(SALOAD, 53) X(ISTORE, 54) \
    X(LSTORE, 55) X(FSTORE, 56) X(DSTORE, 57) X(ASTORE, 58) X(ISTORE_0, 59) X(ISTORE_1, 60) \
    X(ISTORE_2, 61) X(ISTORE_3, 62) X(LSTORE_0, 63) X(LSTORE_1, 64) X(LSTORE_2, 65) \
    X(LSTORE_3, 66) X(FSTORE_0, 67) X(FSTORE_1, 68) X(FSTORE_2, 69) X(FSTORE_3, 70) \
    X(DSTORE_0, 71) X(DSTORE_1, 72) X(DSTORE_2, 73) X(DSTORE_3, 74) X(ASTORE_0, 75) \
    X(ASTORE_1, 76) X(ASTORE_2, 77) X(ASTORE_3, 78) X(IASTORE, 79) X(LASTORE, 80) \
    X(FASTORE, 81) X(DASTORE, 82) X(AASTORE, 83) X(BASTORE, 84) X(CASTORE, 85) X(SASTORE, 86) \
    X(POP, 87) X(POP2, 88) X(DUP, 89) X(DUP_X1, 90) X(DUP_X2, 91) X(DUP2, 92) X(DUP2_X1, 93) \
    X(DUP2_X2, 94) X(SWAP, 95) X(IADD, 96) X(LADD, 97) X(FADD, 98) X(DADD, 99) X(ISUB, 100) \
    X(LSUB, 101) X(FSUB, 102) X(DSUB, 103) X(IMUL, 104) X(LMUL, 105) X(FMUL, 106) X(DMUL, 107) \
    X(IDIV, 108) X(LDIV, 109) X(FDIV, 110) X(DDIV, 111) X(IREM, 112) X(LREM, 113) X(FREM, 114) \
    X(DREM, 115) X(INEG, 116) X(LNEG, 117) X(FNEG, 118) X(DNEG, 119) X(ISHL, 120) X(LSHL, 121) \
    X(ISHR, 122) X(LSHR, 123) X(IUSHR, 124) X(LUSHR, 125) X(IAND, 126) X(LAND, 127) X(IOR, 128) \
    X(LOR, 129) X(IXOR, 130) X(LXOR, 131) X(IINC, 132) X(I2L, 133) X(I2F, 134) X(I2D, 135) \
    X(L2I, 136) X(L2F, 137) X(L2D, 138) X(F2I, 139) X(F2L, 140) X(F2D, 141) X(D2I, 142) \
    X(D2L, 143) X(D2F, 144) X(I2B, 145) X(I2C, 146) X(I2S, 147) X(LCMP, 148) X(FCMPL, 149) \
    X(FCMPG, 150) X(DCMPL, 151) X(DCMPG, 152) X(IFEQ, 153) X(IFNE, 154) X(IFLT, 155) \
    X(IFGE, 156) X(IFGT, 157) X(IFLE, 158) X(IF_ICMPEQ, 159) X(IF_ICMPNE, 160) \
    X(IF_ICMPLT, 161) X(IF_ICMPGE, 162) X(IF_ICMPGT, 163) X(IF_ICMPLE, 164) X(IF_ACMPEQ, 165) \
    X(IF_ACMPNE, 166) X(GOTO, 167) X(JSR, 168) X(RET, 169) X(TABLESWITCH, 170) \
    X(LOOKUPSWITCH, 171) X(IRETURN, 172) X(LRETURN, 173) X(FRETURN, 174) X(DRETURN, 175) \
    X(ARETURN, 176) X(RETURN, 177) X(GETSTATIC, 178) X(PUTSTATIC, 179) X(GETFIELD, 180) \
    X(PUTFIELD, 181) X(INVOKEVIRTUAL, 182) X(INVOKESPECIAL, 183) X(INVOKESTATIC, 184) \
    X(INVOKEINTERFACE, 185) X(INVOKEDYNAMIC, 186) X(NEW, 187) X(NEWARRAY, 188) \
    X(ANEWARRAY, 189) X(ARRAYLENGTH, 190) X(ATHROW, 191) X(CHECKCAST, 192) X(INSTANCEOF, 193) \
    X(MONITORENTER, 194) X(MONITOREXIT, 195) X(WIDE, 196) X(MULTIANEWARRAY, 197) \
    X(IFNULL, 198) X(IFNONNULL, 199) X(GOTO_W, 200) X(JSR_W, 201)

enum vm_opcode : u1 {
#define VM_OPCODE_ENUM(name, value) OPC_##name = value,
    VM_OPCODES(VM_OPCODE_ENUM)
#undef VM_OPCODE_ENUM
};

static_assert(VM_TLA_MASK_ASM == TLA_MASK);
static_assert(VM_T_MARKER_ASM == ACT_T_MARKER);
static_assert(ACT_X_METHOD == offsetof(vm_activation, reserved_88));
static_assert(ACT_X_ENTRY + 4 == ACT_SIZE);

typedef uint64_t u8;
typedef int64_t s8;

/* Section holding the dispatch loop and the assembly stubs (the range that
 * orva_mmipGetInstructionAddressRange reports). */
#define VM_INTERP_TEXT __attribute__((section("vm_interp_text"), noinline))
extern "C" char __start_vm_interp_text[];
extern "C" char __stop_vm_interp_text[];

/* The entry routine's words of an activation. */
inline methodblock* act_method(vm_activation* a) { return reinterpret_cast<methodblock*>(a->reserved_88[0]); }
inline u4& act_args(vm_activation* a) { return a->reserved_88[1]; }
inline u4& act_nargs(vm_activation* a) { return a->reserved_88[2]; }
inline void act_set_result(vm_activation* a, const JValue& r)
{
    a->reserved_88[3] = r.w[0];
    a->reserved_88[4] = r.w[1];
}
inline u4& act_entry(vm_activation* a) { return a->reserved_88[5]; }

inline tla* vm_tla_of(EE* ee) { return reinterpret_cast<tla*>(ee->area); }
inline u4 vm_reg_address(vm_activation* a) { return reinterpret_cast<u4>(&a->reg.next); }


/* ---- vm_stubs.S ---- */
/* setjmp-like: saves ebx, esi, edi, ebp, esp, eip into P+24 .. P+44 and
 * returns 0; the restart stub comes back here with 1. */
extern "C" int vm_catch_point(u4* P) __attribute__((returns_twice));
/* Calls mb's invoker with the slots as its argument words (slot 0
 * highest), ebp = T + 32; stores the result by return kind; resets the
 * mode word. */
extern "C" void vm_callout(vm_activation* act, methodblock* mb, const u4* slots, u4 nargs,
                           JValue* result, int kind);
/* Calls a native function with C argument words cargs[0..n) (cargs[0]
 * lowest), ebp = T + 32; stores the result by return kind. */
extern "C" void vm_native_call(vm_activation* act, void* fn, const u4* cargs, u4 nwords,
                               JValue* result, int kind);
/* Calls the compile trampoline for mb with ebp = T + 32, esi = the transfer
 * point (0 for an ordinary request); 1 when the method now has compiled code
 * (ZF set), for a transfer request compiled code holding that point. */
extern "C" int vm_request_compile(vm_activation* act, methodblock* mb, void* trampoline, u1* transfer_point);
/* Hands `frame` (unlinked from EE+8) over to its compiled code at the
 * backward branch pc through the compiler's transfer entry; 0 when the entry
 * refuses, 1 when the compiled method returned (result stored by kind). */
extern "C" int vm_transfer(vm_activation* act, JavaFrame* frame, u1* pc, u4 lock, JValue* result, int kind,
                           void* entry);

/* ---- interp_invoke.cpp ---- */
/* Called by the entry routines (assembly). */
/* Fills and links an activation's registration (method kind when mb is not
 * 0, else frame-less with resume word vm_frameless_landing), R_act and T. */
extern "C" void vm_act_open(vm_activation* act, EE* ee, methodblock* mb, u4 bound, u4 caller_ebp);
extern "C" void vm_act_close(vm_activation* act);
extern "C" int vm_callin_begin(vm_activation* act);
extern "C" int vm_callin_end(vm_activation* act, int landed, JValue* result);
extern "C" void vm_thread_base_open(vm_activation* act, EE* ee, u4 bound);
extern "C" void vm_thread_base_close(vm_activation* act, int landed);

/* Pushes an interpreter frame for mb whose locals start at `locals` (the
 * arguments already there), prev = caller.  0 with StackOverflowError
 * pending when the Java stack is exhausted.  (Inline: every interpreted
 * call runs it.) */
inline JavaFrame* vm_push_frame(EE* ee, vm_activation* act, methodblock* mb, u4* locals, JavaFrame* caller)
{
    u4* lend = locals + mb->nlocals;
    auto* f = reinterpret_cast<JavaFrame*>(lend);
    u4* opbase = reinterpret_cast<u4*>(f + 1);
    u4 end = reinterpret_cast<u4>(opbase + mb->maxstack);
    if (end + VM_JSTACK_SLACK > ee->jstack_limit) {
        vm_throw_stack_overflow(ee);
        return nullptr;
    }
    for (u4* p = locals + mb->args_size; p < lend; ++p)
        *p = 0;
    f->prev = caller;
    f->trans = caller->trans;
    f->jni_top = caller->jni_top;
    f->method = mb;
    f->link = reinterpret_cast<u4>(caller);
    f->jni_frames = 0;
    f->lastpc = mb->code;
    f->locals = locals;
    f->optop_base = opbase;
    f->constant_pool = mb->clazz->constantpool;
    f->monitor = 0;
    f->jni_critical = 0;
    f->activation = act;
    f->saved_sp = opbase;
    f->flags = 0;
    f->reserved = 0;
    ee->current_frame = f;
    ee->jstack_top = end;
    return f;
}

/* First frame of an activation: link and trans from the transition head. */
void vm_set_first_frame_links(EE* ee, JavaFrame* f, JavaFrame* caller, u4 head);
/* Enters the monitor of a synchronized method's frame (receiver or class). */
void vm_enter_method_monitor(EE* ee, JavaFrame* f);
/* Runs a native method on top of the current frame: native frame, JNI
 * marshalling, call, narrowing, pop.  args = its argument slots; `first`
 * makes the native frame the first frame of a native-only activation.  1,
 * or 0 with the exception pending. */
int vm_native_invoke(EE* ee, vm_activation* act, methodblock* mb, u4* args, JValue* result,
                     bool first);
/* An invoker value that is one of the VM's own entries (never compiled code). */
inline bool vm_is_vm_entry(const void* invoker)
{
    auto p = static_cast<const char*>(invoker);
    return p >= __start_vm_interp_text && p < __stop_vm_interp_text;
}
extern "C" char vm_selectors_end[];
inline bool vm_is_selector(const void* invoker)
{
    auto p = static_cast<const char*>(invoker);
    return p >= reinterpret_cast<const char*>(&orva_SelectInvokeJavaMethod) && p < vm_selectors_end;
}
/* True when calls of mb stay inside the interpreter loop: a Java method not
 * compiled, whose invoker is one of the VM's (an interpreter invoker or a
 * Java selector; loading never gives a Java method another VM entry). */
inline bool vm_runs_in_loop(const methodblock* mb)
{
    return !(mb->access & (ACC_COMPILED | ACC_NATIVE | ACC_ABSTRACT)) && vm_is_vm_entry(mb->invoker);
}
/* True when mb is a native the VM's JNI path can run directly. */
inline bool vm_native_in_loop(const methodblock* mb)
{
    return (mb->access & (ACC_COMPILED | ACC_NATIVE)) == ACC_NATIVE && vm_is_vm_entry(mb->invoker);
}
/* Counter rule of the selectors: 1 when mb is (now) compiled and must be
 * called through its invoker, 0 to interpret it. */
int vm_selector_rule(EE* ee, vm_activation* act, methodblock* mb);
/* A taken backward branch at pc of the activation's current frame f, the
 * operand stack empty after it: counts it and, past the threshold, asks for
 * a compile with this transfer point and hands f over to the compiled code.
 * 0: go on interpreting f; 1: f was handed over and has finished, its
 * result in *result (f unlinked from EE+8, its monitor passed on). */
int vm_offer_transfer(EE* ee, vm_activation* act, JavaFrame* f, u1* pc, JValue* result);
/* Native stack left above the limit the VM's checks use. */
bool vm_native_room(EE* ee, u4 need);
/* Method table to dispatch on for a receiver (java/lang/Object's for arrays). */
inline method_table* vm_dispatch_table(jref o)
{
    return vm_is_array(o) ? vm_class_Object->methodtable : reinterpret_cast<method_table*>(o->word0);
}
/* Interface dispatch with the guess byte; 0 with IncompatibleClassChangeError
 * pending when the receiver's class does not implement the interface. */
methodblock* vm_interface_target(EE* ee, jref recv, methodblock* imb, u1* guess);

/* ---- quicken.cpp ---- */
/* Bytes a quickening writes: the new opcode and up to four operand bytes
 * (mask bit i set: operand byte i+1 changes). */
struct vm_quick_rewrite {
    u1 opcode;
    u1 mask;
    u1 bytes[4];
};
/* The quick form of instruction `opcode` whose constant-pool operand is
 * `index`, resolved to `resolved` (field or method block, class, or the
 * constant), executed by a method of class `caller`; `guess` is the
 * interface-table entry an invokeinterface used.  False when it must not be
 * quickened now.  Pure: no lock, no write. */
bool vm_quick_form(u1 opcode, u2 index, u4 resolved, classblock* caller, u1 guess,
                   vm_quick_rewrite* out);
/* Reads the operand bytes of an unquickened instruction under the code lock;
 * false (nothing read) when its opcode is no longer `opcode`. */
bool vm_lock_operands(EE* ee, const u1* pc, u1 opcode, u1 out[4]);
/* Writes the rewrite under the code lock (0xFE first, operands, opcode
 * last) unless another thread changed the opcode meanwhile. */
void vm_quicken_at(EE* ee, u1* pc, u1 original, const vm_quick_rewrite* rw);
/* Waits for a rewrite in progress (opcode 0xFE) to finish. */
void vm_wait_rewrite(EE* ee);

/* ---- exceptions.cpp ---- */
/* Handler pc in frame f (at f->lastpc) for exception object exc, or 0. */
u1* vm_find_handler(JavaFrame* f, jref exc);
/* ICCE and access messages of the resolution checks. */
void vm_throw_static_mismatch_field(EE* ee, fieldblock* fb, bool used_to_be_static);
void vm_throw_static_mismatch_method(EE* ee, methodblock* mb, bool used_to_be_static);
void vm_throw_not_implemented(EE* ee, classblock* cls, classblock* iface);

#endif /* __ASSEMBLER__ */

#endif /* ORVA_INTERP_H */
