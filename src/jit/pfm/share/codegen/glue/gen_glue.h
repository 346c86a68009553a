// Method glue: the compiled frame and its local addressing, the code around
// a method (interpreter entry glue, pre-header, prologue, epilogue, profiler
// hooks, synchronized entry and exit), the stack-depth records and their
// packed table, and the glue through which native methods are called.
//
// Functions are grouped by the file that defines them (gen_frame.cpp,
// gen_sptable.cpp, gen_prologue.cpp, gen_native_glue.cpp).  The functions
// that the code-generation driver calls are declared in cg_core.h as well.
#ifndef ORVA_CODEGEN_GEN_GLUE_H
#define ORVA_CODEGEN_GEN_GLUE_H

#include "codegen/codegen.h"

struct method_compile_context;
struct thread_compile_record;

// ---------------------------------------------------------------------------
// One recorded stack-pointer change (12 bytes, in the compilation's work
// pool): the code offset of the first byte after the changing instruction and
// the depth in words after it.  Newest first while recording.
// ---------------------------------------------------------------------------
struct sp_offset_info {
    sp_offset_info* next;
    u4 offset;
    u2 depth;
};
static_assert(sizeof(sp_offset_info) == 12);
static_assert(offsetof(sp_offset_info, next) == 0);
static_assert(offsetof(sp_offset_info, offset) == 4);
static_assert(offsetof(sp_offset_info, depth) == 8);

// Packed table header (the offsets follow from byte 8, then the depths).
constexpr u4 SPT_HEADER_SIZE = 8;

// Access flags the glue reads.
constexpr u2 GLUE_ACC_STATIC = 0x0008;
constexpr u2 GLUE_ACC_SYNCHRONIZED = 0x0020;
constexpr u2 GLUE_ACC_NATIVE = 0x0100;
constexpr u2 GLUE_ACC_COMPILED = 0x4000;

// Run-time routines the glue calls (indices of the routine table).
constexpr int RT_THROW_LINKERROR = 58;
constexpr int RT_THROW_THROWN = 60;
constexpr int RT_SYNC_ENTER_FIRST = 65;
constexpr int RT_SYNC_EXIT_FIRST = 125;
constexpr int RT_GATE_CODE = 149;
constexpr int RT_BP_GATE_CODE = 150;
constexpr int RT_BACKPATCH_INVOCATION = 151;

// Interpreter-frame words the native glue saves, clears and restores, and the
// execution-mode word of the EE.
// (JF_JNI_TOP, JF_JNI_FRAMES, JF_JNI_CRITICAL, EE_* offsets: vm_abi.h.)
constexpr s4 GLUE_EE_MODE = 392;
constexpr s4 GLUE_EE_TRANSITION = 0x18C;
constexpr s4 GLUE_EE_EXCEPTION_KIND = 0x10;
constexpr s4 GLUE_EE_CURRENT_FRAME = 8;

// ---------------------------------------------------------------------------
// gen_frame.cpp: frame layout and local addressing
// ---------------------------------------------------------------------------
// getFrameSizeWithoutLocals and squeeze_local_variable_index: cg_core.h.
s4 C_Style_local(codegen_context* cg, s4 local, int wide);
s4 C_Style_stack(codegen_context* cg, s4 slot, int wide);
s4 count_and_map_local(codegen_context* cg, s4 local, int wide);
u4 glue_frame_size(codegen_context* cg);            // FSWL plus the local words

// ---------------------------------------------------------------------------
// gen_xfer.cpp: the interpreter-to-compiled transfer frame
//
// The transfer record of a method compiled for a transfer (in code memory;
// its address in word +28 of the method's glue area): where the transfer
// entry is and where each interpreter local goes in the compiled frame.
// ---------------------------------------------------------------------------
struct rmmi_info {
    u4 entry;                 // code address of the transfer entry
    u4 pc;                    // the transfer point: address of the backward branch
    u1 saved_regs;            // callee-saved registers the method saves (used-register bits)
    u1 try_index;             // the frame's try-region word at E - 4 (signed; methods with handlers)
    u2 frame_size;            // FSWL + 4 x (frame-resident locals - nargs)
    u4 handler;               // the method's jump to the exception handler routine, 0 without handlers
    u2 local_offset[1];       // per interpreter local: offset from E, RMMI_NO_LOCAL when not carried
};
static_assert(offsetof(rmmi_info, entry) == 0);
static_assert(offsetof(rmmi_info, pc) == 4);
static_assert(offsetof(rmmi_info, saved_regs) == 8);
static_assert(offsetof(rmmi_info, try_index) == 9);
static_assert(offsetof(rmmi_info, frame_size) == 10);
static_assert(offsetof(rmmi_info, handler) == 12);
static_assert(offsetof(rmmi_info, local_offset) == 16);
constexpr u4 RMMI_HEADER_SIZE = 16;
constexpr u2 RMMI_NO_LOCAL = 0xFFFF;
constexpr u4 RMMI_GLUE_WORD = 28;    // byte offset of the record's address in the glue area
// Record size for n locals (the last entry is followed by one spare word).
inline u4 rmmi_info_size(u4 nlocals) { return 20 + 2 * nlocals; }

// The words the frame builder leaves below the compiled frame for the
// transfer entry, lowest first: it pops ebx, esi, edi, the new registration
// head, eax and ebp, and returns to `entry`.
struct mmi_xfer_resume {
    u4 ebx;
    u4 esi;
    u4 edi;
    u4 registration;
    u4 eax;
    u4 ebp;
    u4 entry;
};
static_assert(sizeof(mmi_xfer_resume) == 28);
static_assert(offsetof(mmi_xfer_resume, ebx) == 0);
static_assert(offsetof(mmi_xfer_resume, esi) == 4);
static_assert(offsetof(mmi_xfer_resume, edi) == 8);
static_assert(offsetof(mmi_xfer_resume, registration) == 12);
static_assert(offsetof(mmi_xfer_resume, eax) == 16);
static_assert(offsetof(mmi_xfer_resume, ebp) == 20);
static_assert(offsetof(mmi_xfer_resume, entry) == 24);

// The record of mb's compiled code, or null.
rmmi_info* rmmi_info_of(const methodblock* mb);

// ---------------------------------------------------------------------------
// gen_sptable.cpp: stack-depth records and the packed table
// ---------------------------------------------------------------------------
// update_sp_offset_table, fix_sp_table_after_cs: codegen.h;
// create_sp_offset_info: cg_core.h.
// Packs `list` (newest first) into `out` when out is not null; returns the
// table size in bytes (0 for an empty list).  The list is left reversed
// (oldest first).
u4 pack_sp_offset_list(sp_offset_info** list, u1* out);
// Depth in words that the table gives for a return address at code offset
// `offset` (0 without a table or before its first entry).
u4 sp_offset_table_depth(const u1* table, u4 offset);

// ---------------------------------------------------------------------------
// gen_prologue.cpp: head of a method, prologue, epilogue, gates
// ---------------------------------------------------------------------------
// gen_method_prolog, gen_glue4interpreter, gen_method_pre_header,
// adjust_method_entry_point, gen_change_execmode: cg_core.h.
// Integer-class argument registers the interpreter glue loads, in word
// positions: words[i] is the argument word carried by register i (eax, edx,
// ecx); returns how many (0..3).
int glue_register_words(methodblock* mb, int words[3]);
// Writes the interpreter entry glue padded to `pad` bytes (0: no padding)
// and returns its length without the padding.
u4 glue_length(codegen_context* cg, u4 pad);
u4 gen_frame_allocation(codegen_context* cg);
void gen_jvmpi_method_entry_hook(codegen_context* cg);
void gen_jvmpi_method_exit_hook(codegen_context* cg);
u4 gen_monitor_enter(codegen_context* cg);
u4 gen_monitor_exit(codegen_context* cg, int kind);
void gen_frame_deallocation(codegen_context* cg);
void _gen_rt_regarg_call(codegen_context* cg, int k);
int sync_enter_routine(methodblock* mb);
int sync_exit_routine(methodblock* mb, int kind);
int JITGenCode_glue(methodblock* mb);
// The routine of entry k is present in the run-time routine table.
int rt_routine_present(int k);
// The profiler event bits taken at generation time.
u4 glue_profiler_flags(void);

// ---------------------------------------------------------------------------
// gen_native_glue.cpp: native-method glue
// ---------------------------------------------------------------------------
// getNativeMethodGlueSize and gen_JNInativemethod_glue: cg_core.h.
int spill_JNI_register_args(codegen_context* cg, methodblock* mb, int emit, s4 base);
void gen_JNI_result_conversion(codegen_context* cg, int ignored, int ret);
int native_exit_kind(int ret);
// The glue declines (the method stays with its VM invoker) when a routine it
// would call is not present; 0 names nothing missing.
const char* native_glue_missing_routine(methodblock* mb);

#endif // ORVA_CODEGEN_GEN_GLUE_H
