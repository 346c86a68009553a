// Run-time support for compiled code, exception side: the software
// exception codes, the exception record and register context shared with the
// VM's fault raiser, the raisers, the exception handler and its filters, the
// frame iterator, the run-time routine table and the arithmetic helpers.
// Functions are grouped by the file that defines them.  Offsets that the
// assembly uses are #defines, checked against the records below.
#ifndef ORVA_LIB_RT_SUPPORT_H
#define ORVA_LIB_RT_SUPPORT_H

#include "vm_abi.h"

// ---- exception record (20 bytes, lowest address of the raise area) --------
#define XREC_CODE               0
#define XREC_FLAGS              4
#define XREC_NESTED             8
#define XREC_ADDRESS            12
#define XREC_NPARAMS            16
#define XREC_SIZE               20

// ---- register context (204 bytes, Win32 x86 CONTEXT layout) --------------
#define XCTX_CONTROL_WORD       0x1C
#define XCTX_EDI                0x9C
#define XCTX_ESI                0xA0
#define XCTX_EBX                0xA4
#define XCTX_EDX                0xA8
#define XCTX_ECX                0xAC
#define XCTX_EAX                0xB0
#define XCTX_EBP                0xB4
#define XCTX_EIP                0xB8
#define XCTX_ESP                0xC4
#define XCTX_SIZE               204

// Raise area: the record at esp, the context 20 bytes above it.
#define RAISE_AREA_SIZE         0xE0
#define RAISE_CONTEXT           XREC_SIZE

// ---- software exception codes ----------------------------------------------
#define SWX_ABSTRACTMETHOD              0xE0000001
#define SWX_ARRAY_OUTOFBOUNDS           0xE0000002
#define SWX_ARRAYSTORE                  0xE0000003
#define SWX_CHECKCAST                   0xE0000004
#define SWX_GETPUTFIELD                 0xE0000005
#define SWX_GETPUTSTATIC                0xE0000006
#define SWX_INCOMPATIBLE_CLASS_CHANGE   0xE0000007
#define SWX_INTERFACE_FOUND             0xE0000008
#define SWX_INVOKEINTERFACE             0xE0000009
#define SWX_INVOKESTATIC                0xE000000A
#define SWX_INVOKEVIRTUAL               0xE000000B
#define SWX_LINKERROR                   0xE000000C
#define SWX_NULL_POINTER                0xE000000D
#define SWX_THROWN                      0xE000000E
#define SWX_DIV0                        0xE000000F
#define SWX_NEGATIVE_ARRAYSIZE          0xE0000010
#define SWX_OUT_OF_MEMORY               0xE0000011
#define SWX_ILLEGAL_ACCESS              0xE0000012
#define SWX_FIRST                       SWX_ABSTRACTMETHOD
#define SWX_LAST                        SWX_ILLEGAL_ACCESS

// Each raiser is one 160-byte sequence; _jit_Athrow is padded to 192.
#define RAISER_SIZE             160
#define ATHROW_SIZE             192

// ---- run-time routine table indices used by the run time itself ----------
#define RT_ENTRIES              157
#define RT_JIT_ATHROW           42
#define RT_FIRST_RAISER         43      // THROW_EXCEPTION_ABSTRACTMETHOD

// Handler results (eax) and the kind of registration that took the event (edx).
#define XH_CONTINUE_EXECUTION   0
#define XH_CONTINUE_SEARCH      1
#define XH_KIND_FRAMELESS       0
#define XH_KIND_INTERPRETER     1
#define XH_KIND_COMPILED        2

// Filter results.
#define XF_HANDLED              0
#define XF_NOT_CAUGHT           1
#define XF_NOT_OURS             (-2)

// Compiled-frame registration words beyond the common ones.
#define CREG_MONITORS           8
#define CREG_TRY_INDEX          12
#define CREG_BOUND              16      // = E, the first address above the frame

// Saved-register set in the top byte of machine-dependent word 0 (register
// manager bits) and the save order ebp, ebx, esi, edi.
#define SAVED_EBX               0x08
#define SAVED_EBP               0x10
#define SAVED_ESI               0x20
#define SAVED_EDI               0x40

#ifndef __ASSEMBLER__

#include <stddef.h>
#include <stdint.h>

struct rcc;

struct exception_record {
    u4 code;                            // software code or fault code
    u4 flags;                           // non-zero: must not be continued
    u4 nested;                          // not written
    u4 address;                         // call site of the raiser, or faulting instruction
    u4 nparams;                         // not written
};
static_assert(sizeof(exception_record) == XREC_SIZE);
static_assert(offsetof(exception_record, code) == XREC_CODE);
static_assert(offsetof(exception_record, flags) == XREC_FLAGS);
static_assert(offsetof(exception_record, nested) == XREC_NESTED);
static_assert(offsetof(exception_record, address) == XREC_ADDRESS);
static_assert(offsetof(exception_record, nparams) == XREC_NPARAMS);

struct exception_context {
    u4 context_flags;                   // 0x00 not used
    u4 debug_regs[6];                   // 0x04 not used
    u4 control_word;                    // 0x1C FloatSave.ControlWord: loaded on resume
    u4 float_rest[27];                  // 0x20 rest of FloatSave, not used
    u4 segs[4];                         // 0x8C not used
    u4 edi;                             // 0x9C
    u4 esi;                             // 0xA0
    u4 ebx;                             // 0xA4
    u4 edx;                             // 0xA8
    u4 ecx;                             // 0xAC
    u4 eax;                             // 0xB0
    u4 ebp;                             // 0xB4
    u4 eip;                             // 0xB8 resume address
    u4 seg_cs;                          // 0xBC not used
    u4 eflags;                          // 0xC0 not used
    u4 esp;                             // 0xC4 stack pointer on resume
    u4 seg_ss;                          // 0xC8 not used
};
static_assert(sizeof(exception_context) == XCTX_SIZE);
static_assert(offsetof(exception_context, control_word) == XCTX_CONTROL_WORD);
static_assert(offsetof(exception_context, edi) == XCTX_EDI);
static_assert(offsetof(exception_context, esi) == XCTX_ESI);
static_assert(offsetof(exception_context, ebx) == XCTX_EBX);
static_assert(offsetof(exception_context, edx) == XCTX_EDX);
static_assert(offsetof(exception_context, ecx) == XCTX_ECX);
static_assert(offsetof(exception_context, eax) == XCTX_EAX);
static_assert(offsetof(exception_context, ebp) == XCTX_EBP);
static_assert(offsetof(exception_context, eip) == XCTX_EIP);
static_assert(offsetof(exception_context, esp) == XCTX_ESP);
static_assert(XREC_SIZE + XCTX_SIZE == RAISE_AREA_SIZE);

// Compiled-frame registration (P = address of `next`; the EE lies at P-4).
struct compiled_registration {
    u4 next;                            // P+0
    u4 handler;                         // P+4 a jump inside the method's code
    u4 monitors;                        // P+8 monitor-list head
    s4 try_index;                       // P+12 -1 = none
};
static_assert(sizeof(compiled_registration) == 16);
static_assert(offsetof(compiled_registration, next) == REG_NEXT);
static_assert(offsetof(compiled_registration, handler) == REG_HANDLER);
static_assert(offsetof(compiled_registration, monitors) == CREG_MONITORS);
static_assert(offsetof(compiled_registration, try_index) == CREG_TRY_INDEX);

// The handler's search state: the class found so far and a frame iterator.
struct search_state {
    classblock* thrown;                 // word 0
    frame_iterator it;                  // words 1-6
};
static_assert(sizeof(search_state) == 28);

// Fault record linked on the transition chain while the filters run for an
// event raised in compiled code: {prev | 2, &word 4 | 1, adjustment + 4,
// ebp, ExceptionAddress}.  Word 1 names word 4, which holds the faulting pc,
// so the iterator finds the faulting method there; word 2 makes the caller's
// stack pointer come out as context Esp + 4 * depth.
struct fault_record {
    u4 prev;
    u4 frame;
    u4 adjustment;
    u4 ebp;
    u4 pc;
};
static_assert(sizeof(fault_record) == 20);

// Packed stack-depth table of a compiled method.
struct sp_offset_table {
    u1 offset_width;                    // 1, 2 or 4
    u1 depth_width;                     // 1, 2 or 4
    u1 pad[2];
    const u1* depths;                   // the depth array, which ends the offsets
    // code offsets from byte 8 on, ascending
};
static_assert(sizeof(sp_offset_table) == 8);

// Inlined-method frame record.
struct inlined_frame {
    methodblock* mb;
    inlined_frame* enclosing;           // 0 for the compiled method's own record
};

extern "C" {

// ---- rt_raise.S: raisers, thread-local area, constants ---------------------
extern u4 orva_tla_mask;
void _jit_Athrow(void);
void THROW_EXCEPTION_ABSTRACTMETHOD(void);
void THROW_EXCEPTION_ARRAY_OUTOFBOUNDS(void);
void THROW_EXCEPTION_ARRAYSTORE(void);
void THROW_EXCEPTION_CHECKCAST(void);
void THROW_EXCEPTION_GETPUTFIELD(void);
void THROW_EXCEPTION_GETPUTSTATIC(void);
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field(void);
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static(void);
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokevirtual(void);
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokestatic(void);
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokeinterface(void);
void THROW_EXCEPTION_INTERFACE_FOUND(void);
void THROW_EXCEPTION_INVOKEINTERFACE(void);
void THROW_EXCEPTION_INVOKESTATIC(void);
void THROW_EXCEPTION_INVOKEVIRTUAL(void);
void THROW_EXCEPTION_LINKERROR(void);
void THROW_EXCEPTION_NULL_POINTER(void);
void THROW_EXCEPTION_THROWN(void);
void THROW_EXCEPTION_DIV0(void);
void THROW_EXCEPTION_NEGATIVE_ARRAYSIZE(void);
void THROW_EXCEPTION_OUT_OF_MEMORY(void);
void THROW_EXCEPTION_ILLEGAL_ACCESS(void);
void THROW_EXCEPTION_THREAD_DEATH(void);
// What a raiser does when the handler did not handle the event (no
// registration took it): prints and ends the process.
void rt_unhandled_raise(exception_record* record, u4 result);
EE* _orva_getee(void);
EE* _orva_GetEE(void);
u1* _GET_FCONTROL_WORD_BASE(void);
u1* _GET_FCONST_BASE(void);
void _RESET_FCONTROL_WORD(void);

// ---- rt_table.S: the run-time routine table --------------------------------
void** _GET_DECODE_TABLE_BASE(void);
extern void* decode_table[RT_ENTRIES];
// Entry of every table slot whose routine is not built: ends the process.
void rt_missing_routine(void);

// ---- rt_handler.cpp: the exception handler routine -------------------------
// Returns eax = XH_CONTINUE_*, edx = XH_KIND_* (as one 64-bit value).
uint64_t _orva_ExceptionHandler(exception_record* record, u4 registration,
                                exception_context* context);
uint64_t _orva_ExceptionHandler0(exception_record* record, u4 registration,
                                 exception_context* context);
// Makes P the registration head and drops the transition records below esp.
void rt_install_registration(EE* ee, u4 registration, u4 esp);

// ---- rt_filter.cpp: exception filters and monitor release ------------------
s4 _orva_ExceptionFilter(exception_record* record, u4 registration, exception_context* context,
                         search_state* state);
s4 _jvm_ExceptionFilter(exception_record* record, u4 registration, exception_context* context,
                        search_state* state);
s4 _jvm_ExceptionFilter0(exception_record* record, u4 registration, exception_context* context,
                         search_state* state);
int CheckNonContinueable(exception_record* record);
int check_exception_origin(u4 code, u4 address);
int recover_continuable_fault(exception_record* record, exception_context* context);
void get_exception_operands(u4 code, exception_context* context, u4* op1, u4* op2);
void fault_to_array_bounds_exception(EE* ee, exception_record* record, exception_context* context,
                                     u4* op1, u4* op2);
void _orva_ReleaseMonitors(u4* head, EE* ee, int synchronized_flag);
// The Java class a code stands for (0 for codes whose exception is pending)
// and its detail message, written into `buffer` (empty when none).
const char* rt_exception_class_name(u4 code);
void make_exception_message(EE* ee, u4 code, u4 op1, u4 op2, char* buffer, int length);
void make_exception_object(EE* ee, u4 code, u4 op1, u4 op2, classblock* cls);
void unwind_frames_restore_context(frame_iterator* it, exception_context* context, rcc* target);

// ---- fi_iter.cpp: frame iterator and the frame-interface table -------------
void fi_init(EE* ee, frame_iterator* it);
void fi_clone(frame_iterator* src, frame_iterator* dst);
void fi_prev(frame_iterator* it);
int fi_more(frame_iterator* it);
methodblock* fi_method(frame_iterator* it);
u1* fi_lastpc(frame_iterator* it);
void* fi_target(frame_iterator* it);
struct fi_args_result { u4 word; };
fi_args_result fi_args(frame_iterator* it);
int fi_current_frame_exists(EE* ee);
methodblock* fi_current_frame_method(EE* ee);
u1* fi_current_frame_lastpc(EE* ee);
u4 fi_current_frame_address(EE* ee);
int fi_set_mode(EE* ee, int mode);
int fi_get_mode(EE* ee);
void _orva_ThreadPostException(void);
int fi_is_JIT_frame(frame_iterator* it);
u4 fi_GetID(frame_iterator* it);
void fi_set(frame_iterator* it, u4 id);
u4 get_caller_sp(rcc* code, u4 frame);
u4 get_frame_size(rcc* code, u4 pc);
u4 get_frame_base(void);
inlined_frame* search_inlined_method_frame_info(const void* map, rcc* code, u4 pc);
// Saved value of one callee-saved register (SAVED_*) of a compiled frame
// whose register save area is `area`; nothing is written when not saved.
void restore_a_callee_saved_reg(u4 area, const u4* md, u4 reg_bit, u4* out);
void restore_callee_saved_regs_to_context(u4 area, const u4* md, exception_context* context);

// ---- rt_arith.S: arithmetic helpers ------------------------------------------
void _ll_mul(void);
void _ll_div(void);
void _ll_rem(void);
void _li_div(void);
void _li_rem(void);
void __powerof(void);
void __logof(void);
void __expof(void);
void __maxof(void);
void __minof(void);
void __floorof(void);
void __floorof2(void);
void __ceilof(void);
void __ceilof2(void);
void __get_correct_f2i(void);

// ---- rt_sync.S: synchronized-method entry and exit stubs ---------------------
// Entries 65-140 of the routine table; entered from compiled code only.
void __enter_sync_method_int01_fp0(void);
void __exit_sync_method(void);

// ---- rt_monitor.cpp: monitor exit on the VM's path ---------------------------
int _jit_monitorExitQuicker(u4 object, EE* ee, u4 ebp, u4 stub_frame);

// ---- rt_alloc.cpp: allocation, cast and instance-test routines --------------
// The last two arguments: the compiled caller's ebp and the stub frame (0
// when called directly from compiled code).  0 = failure, exception pending.
u4 _orva_ObjAlloc(classblock* cb, u4 caller_ebp, u4 stub_frame);
u4 _orva_ExecuteStaticInitializers(classblock* cb, u4 caller_ebp, u4 stub_frame);
u4 _jit_checkcast(u4 object, classblock* cb, u4 caller_ebp, u4 stub_frame);
u4 _orva_is_instance_of(u4 object, classblock* cb);
u4 _jit_New(int index, classblock** accessing, u4* cp, u4 caller_ebp, u4 stub_frame);
u4 _jit_newarray(int type, s4 length, u4 caller_ebp, u4 stub_frame);
u4 _jit_anewarray(int index, s4 length, u4* cp, u4 caller_ebp, u4 stub_frame);
u4 _jit_anewarray_quick(int index, s4 length, u4* cp, u4 caller_ebp, u4 stub_frame);
u4 _jit_multianewarray(int index, int dims, u4* cp, s4* dim_words, u4 caller_ebp, u4 stub_frame);
u4 _jit_multianewarray_quick(int index, int dims, u4* cp, s4* dim_words, u4 caller_ebp, u4 stub_frame);

// ---- rt_arraycopy.S: element movers (esi, edi, ebx; see the file) ----------
void __orva_system_arraycopy_1byte(void);

// ---- rt_iface.S, rt_iface.cpp: interface dispatch ----------------------------
void __invokeinterface(void);
void __invokeinterface_quick(void);
void __get_invokeinterf_mb_and_set_guess(void);
methodblock* _jit_get_mb_from_methodtable(u4* guess, u4 receiver, methodblock* imb, u4 caller_ebp,
                                          u4 stub_frame);

// ---- rt_switch.S: lookupswitch search (entered by call + jump table) --------
void __lookupswitch(void);

// ---- rt_xfer.S: interpreter-to-compiled transfer entry -----------------------
void _mmi2jit_xfer(void);
// The code generator's transfer support (codegen/glue/gen_xfer.cpp): 0 refuses,
// else the stack address at which the frame builder runs; the builder's low
// result word is the stack address of the resume words.
u4 mmiVerifyTpAndGetWorkSize(u4 eax, u4 state_area, u4 locals, u4 bytecode_pc, u4 interp_stack);
uint64_t mmiGenerateJitFrame(methodblock* mb, u4 registration, u4 state_area, u4 operand_area,
                             u4 locals, u4 bytecode_pc, u4 interp_stack);

}  // extern "C"

// rt_iface.cpp: position of an interface in an interface method table (the
// guess when it matches, else the highest match; -1 when none).
s4 rt_find_interface(const imethod_table* t, classblock* cb, u4 guess);

// ---- rt_install.cpp: start-up entries (called by the start-up sequence) ----
// Writes slots 0-17 of the VM's frame-interface table.
void jit_fill_frame_interface(u4* table);
// Registers _orva_ExceptionHandler with the VM (MMI +172).
void jit_register_exception_handler(EE* ee);
extern "C" void* jit_mmi2jit_entry(void);

#endif  // __ASSEMBLER__

#endif  // ORVA_LIB_RT_SUPPORT_H
