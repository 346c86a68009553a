// Entries of the pipeline stages and run-time support still to come.
//
// The start-up sequence, class preparation and the compile driver call into
// the front end, the optimizers, the code generator, the method glue, the
// replacement bodies and the frame iterator.  Until those land, each entry
// here gives its caller the answer the caller treats as "not done", so that
// every compile request ends softly: the pipeline fails at its first phase,
// the driver gives the method back an interpreter invoker with its counter at
// 0xFFFF, and the program keeps running interpreted.  Nothing here ever
// reports a compile as done.  Every entry is weak, so the real definition of a
// later stage (or a test's stand-in) takes its place at link time; each stage
// deletes its entries here when it lands.
#include "driver/driver.h"

#define PENDING __attribute__((weak))

// ---- run-time support: frame iterator, exception handler, transfer entry ----

// The frame iterator is not built: the VM's own interpreter-only walkers stay
// in the frame-interface table (no compiled frame exists to walk).
PENDING void jit_fill_frame_interface(u4* table) {}

// No compiled-code exception handler yet: the VM's stays registered.
PENDING void jit_register_exception_handler(EE* ee) {}

// No interpreter-to-compiled transfer entry: the MMI variable stays unwritten.
extern "C" PENDING void* jit_mmi2jit_entry(void) { return nullptr; }

// No compiled method holds a transfer point yet.
PENDING int is_existence_of_transfer_point(methodblock* mb, u4 transfer_point) { return 0; }

// ---- code generator and method glue ------------------------------------------

PENDING void jit_InitializeCodeGen(void) {}

// The code generator declines: nothing is committed.
PENDING int JITGenNativeCode_state(method_compile_context* m) { return 1; }

// The native and abstract glue declines: the method keeps its interpreter invoker.
PENDING int JITGenNativeCode_glue(methodblock* mb, method_compile_context** request) { return 1; }

// No gate stubs are written at class preparation, so the compiled-code slot
// stays 0 until the glue generator exists (no compiled code calls through it).
PENDING int JITGenCode_glue(methodblock* mb) { return 0; }

// Without gate stubs there is nothing to redirect.
PENDING void ForceCCtoInvokeInterpreterFromJIT(methodblock* mb) {}

// ---- front end, optimizers, inlining ------------------------------------------

// The front end fails (nonzero), which ends the attempt.
PENDING int JITTraverseByteCode(method_compile_context* m, EE* ee, int flag) { return 1; }
PENDING int bytecode_optimization(method_compile_context* m, int flag, EE* ee) { return 0; }
PENDING int BB_stack_regalloc(method_compile_context* m) { return 1; }
PENDING void free_BB_stack_regalloc(method_compile_context* m) {}
PENDING int quadruple_optimization(method_compile_context* m, int* error) { return 1; }
PENDING int setup_bb_to_dfs_map(method_compile_context* m) { return 1; }
PENDING int initialize_lvar_access_for_mmi2jit(method_compile_context* m) { return 0; }
PENDING void resolve_method_call_graph(methodblock* mb, method_unresolved_info* info, EE* ee) {}
PENDING int UnRegistCodeInfo(method_compile_context* m) { return 0; }
PENDING void CallBackInvalidateCode(u4 site, u4 patch) {}

// ---- replacement bodies of library methods ----------------------------------

PENDING int get_class_index_for_replacing(classblock* cb) { return -1; }
PENDING int is_method_replaced(int class_index, methodblock* mb) { return -1; }
PENDING rcc* replace_a_method(methodblock* mb, int class_index, int entry) { return nullptr; }
PENDING int create_sp_offset_info_for_replaced_method(method_compile_context* m, u1* start, u1* end, u4 pairs)
{
    return 0;
}
