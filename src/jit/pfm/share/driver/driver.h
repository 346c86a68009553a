// Start-up, VM binding and compile driver: the folder's public functions,
// grouped by the file that defines them.  Records are in compile_context.h,
// memory.h, rcc.h, options.h and vmlink.h.
#ifndef ORVA_DRIVER_DRIVER_H
#define ORVA_DRIVER_DRIVER_H

#include <setjmp.h>
#include <stdio.h>

#include "vm_abi.h"
#include "driver/compile_context.h"
#include "driver/memory.h"
#include "driver/options.h"
#include "driver/rcc.h"
#include "driver/vmlink.h"

struct codegen_context;
struct cp_node;

// The version string of this compiler.
#define ORVA_JIT_VERSION "3.6-(Vornel)-JDK1.2"

// ---- jit_start.cpp: the start-up sequence ---------------------------------
extern "C" void java_lang_Compiler_start(void** link_vector);
extern "C" char* jit_CompilerVersion(char* buffer, int length);
// Start-up has run to its end (hooks written); a second start returns at once.
extern int jit_started;
// Processor type from a CPUID signature and the ORVA_PROCESSOR_TYPE text
// (null when unset); MMX and CMOV are adjusted as the override says.
void jit_processor_type_from(int cpuid, u4 signature, const char* override_text,
                             s4* type, s4* mmx, s4* cmov);
void jit_detect_processor(void);
// Lines of the file that begin with "bogomips" (any case); 0 when none or unreadable.
int jit_count_bogomips(const char* path);
void jit_count_processors(const char* path);
extern "C" u4 AtomicTestAndSet(volatile u4* word);
void InitAtomicTestAndSet(void);
int now(void);
char* jit_pc2string(u4 pc, char* buffer, int limit);
void jit_machine_dependent_init(void);

// ---- jit_linkvec.cpp: link vector, VM check, MMI binding -------------------
int jit_check_java_vm(u4* link_vector);
int jit_get_link_vector(u4* link_vector);
int jit_bind_mmi(u4* mmi);
int jit_set_link_vector(u4* link_vector);
void jit_store_versions(u4 version_word);

// ---- jit_options.cpp: option words and per-method options -----------------
void jit_setup_compile_options(const char* text);
void setCompileOptions(const char* text);
void activateOptions(const char* class_name, const char* method_name, const char* signature);
int queryOption(const char* name);
void spewOptions(FILE* stream, int global);
u4 hasher(const char* key, int length);
int process_filter(const char* filter, const char* class_name, const char* method_name,
                   const char* signature);
// OR the bits of every active per-method option into the three words.
void jit_apply_method_options(u4* word1, u4* word2, u4* word3);
// Forget every per-method option (tests).
void jit_reset_method_options(void);

// ---- jit_pattern.cpp: name patterns of the option filters -----------------
struct name_pattern;
name_pattern* compile_pattern(const char* text, int length);
int is_match(const name_pattern* pattern, const char* name);
void free_pattern(name_pattern* pattern);

// ---- jit_memory.cpp: general and code memory -------------------------------
int jit_atomi(const char* text);
void jit_setup_buf_size(const char* text);
int jit_init_memory_manager(void);
void* jit_mem_alloc(u4 size, int kind);
void jit_mem_free(void* address);
void jit_mem_partial_free(void* block, void* end);
void jit_mem_free_all(EE* owner);
int jit_inside_code_area(const void* address);
void jit_code_mem_alloc(void** out, method_compile_context* m, u4 size);
// A piece of data memory (never in a code page) chained with the code pieces.
void jit_data_mem_alloc(void** out, method_compile_context* m, u4 size);
void jit_code_mem_partial_free(void* piece, void* end);
void jit_code_mem_free_chain(void* first_piece);
void jit_mem_delayed_free1(void* code_block);
void jit_mem_delayed_free2(void* block);
void jit_commit_delayed_free(void);
int jit_do_delayed_free(void);
void* jit_nccb_malloc(classblock* cb);
void jit_nccb_free(classblock* cb);
u4 jit_mem_payload_of(const void* payload);     // payload bytes of an allocated block
extern u4 jit_code_area_size;                   // configured code-area size
// Fault injection for tests: when set to n > 0, the n-th next jit_mem_alloc fails.
extern int jit_mem_inject_failure;

// Compiled-code control block: one per method, in code memory; the method's
// compiled-code-info slot points at it and its glue stubs live in it.
constexpr u4 NCCB_SIZE = 36;
constexpr u4 NCCB_GATE_OFFSET = 10;             // compiled-code slot after deregistration

// ---- jit_wmem.cpp: work memory pools ---------------------------------------
work_pool* jit_wmem_init(u4 size);
void* jit_wmem_alloc(work_pool* pool, u4 size);
void jit_wmem_free(work_pool* pool);
void jit_wmem_clear(work_pool* pool);
void jit_wmem_reset(work_pool* pool);
u4 jit_wmem_pool_size(const work_pool* pool);
void jit_wmem_clean_after_compilation(EE* ee);
// Frees the pools made after `keep` was the newest (one failed attempt's).
void jit_wmem_free_newer_than(EE* ee, work_pool* keep);

// ---- jit_rcc.cpp: committed-code registry ----------------------------------
void jit_init_register_committed_code(void);
void init_scc_cache(s4 parameter);
void register_committed_code(rcc* record, method_compile_context* m, u1* start, u1* end,
                             void* map, void* exc_map);
void register_committed_code0(rcc* record, methodblock* mb, u1* start, u1* end,
                              void* map, void* exc_map);
void deregister_committed_code(rcc** records, int n);
rcc* search_committed_code0(u4 pc);
methodblock* search_committed_code(u4 pc);
rcc* search_committed_codearea(u4 pc, u4* start, u4* end);
void mark_committed_code_by_pc(u4 pc);
void unmark_committed_code(void);
rcc* list_unmarked_committed_code(void);
rcc* get_unmarked_cc_next(rcc* record);
void set_cc_delayed_free(rcc* record);
typedef void (*rcc_walker)(rcc* record, int depth, void* argument);
void walk_committed_code(rcc_walker callback, void* argument, int extra);
void jit_cc_read_lock(void);
void jit_cc_read_unlock(void);
void jit_cc_write_lock(void);
void jit_cc_write_unlock(void);
void invalidate_scc_cache(rcc* record);
constexpr int DUMP_CC_INFO_MAX = 512;
int dump_cc_info(char* buffer, rcc* record, int number, int size);
int jit_rcc_count(void);                        // records registered
int jit_rcc_check_tree(void);                   // tree height, -1 when an invariant fails
// The installed lookups (cached on processor types 4 and 5 unless NSCC_CACHE).
extern rcc* (*sccc0)(u4 pc);
extern methodblock* (*search_cached_cc0)(u4 pc);

// ---- jit_catcher.cpp: catch-table services of the run time -----------------
u4 testCatcher(int index, void* catch_table, int unused, classblock* thrown, u4* extra);
classblock* rt_GetThrowableClass(EE* ee, const char* class_name);

// ---- jit_classprep.cpp: invokers, class preparation, class unloading -------
void setup_invoker(methodblock* mb);
int jit_setup_a_mb(methodblock* mb);
void jit_setup_methods(classblock* cb, EE* ee);
int _orva_InitializeForCompiler(classblock* cb, int flag);
extern "C" int orva_InitializeForCompiler(classblock* cb);
extern "C" void orva_CompilerFreeClass(classblock* cb);
extern "C" int orva_CompilerCompileClass(classblock* cb);
extern "C" int orva_CompilerCompileClasses(u4 name);
extern "C" void orva_CompilerEnable(void);
extern "C" void orva_CompilerDisable(void);
int orva_CompilerRegisterNatives(void);
int orva_CompilerUnregisterNatives(void);
extern "C" thread_compile_record* orva_replace_a_method(methodblock* mb, u1* start, u1* end,
                                                       void* entry, u4 pairs, u4 saved_regs,
                                                       void* invoker);
void revoke_committed_codes(classblock* cb);
void search_bytecode_in_a_class(classblock* cb);
int jit_prepare_loaded_classes(void);
void jit_before_compile(void);

// ---- jit_history.cpp: compile history and name filters ---------------------
extern FILE* hist_fp;
extern int skipsubopt;
void jit_hist_initialize(const char* destination);
void jit_skipsubopt_init(const char* skip_class, const char* skip_method, const char* selector,
                         const char* stop_class, const char* stop_method);
int matching_skipcbname_skipmbname(const char* class_name, const char* method_name);
void jit_hist_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Why the running compile gave up: the first reason recorded since the
// request began wins (later failures are consequences).  The driver prints it
// in the history line of a method that stays interpreted.
extern const char* jit_giveup_reason;
void jit_note_giveup(const char* reason);

// ---- jit_compile_time.cpp: compile-time statistics (ORVA_COMPILE_TIME) -------
void jit_compile_time_init(void);
unsigned long long jit_compile_time_start(void);
void jit_compile_time_add(const methodblock* mb, unsigned long long start, int result);

// ---- jit_driver.cpp: the compile driver ------------------------------------
extern "C" int _jit_fast_compile(methodblock* mb, EE* ee, u4 transfer_point, u4 extra);
int compile_method(methodblock* mb, method_unresolved_info* info, EE* ee, u4 extra,
                   u4 transfer_point);
extern "C" void jit_mmi_global_compile_lock(EE* ee);
extern "C" void jit_mmi_global_compile_unlock(EE* ee);
void jit_fast_compile_free_workspace(method_compile_context* m);
void revert_to_interpreter_invoker(EE* ee, methodblock* mb);
u4 parse_hex_option_mask(u4 fallback, const char* text);
void break_before(methodblock* mb);

// ---- jit_pipeline.cpp: the compile pipeline --------------------------------
int JITGenNativeCode(methodblock* mb, method_compile_context** holder, int level, u4 extra);
int init_method_compile_context(method_compile_context** holder, methodblock* mb,
                                method_compile_context* outer, EE* ee);
int mark_normal_return_paths(method_compile_context* m, int block, int top);
void free_method_stack_regalloc(method_compile_context* m);
void jit_separate_rare_paths(method_compile_context* m);

// ---- jit_cp2imf.cpp: inlined-method code-position maps ---------------------
cp_node* register_inlined_method_frame(codegen_context* cg, u4 value, u1* position,
                                       cp_node** list);
u1* fix_cp2imf_after_cs(codegen_context* cg, cp_node* node, u1* position);
void create_cp2imf_info(codegen_context* cg, method_compile_context* m, u4 used);
void create_exc_cp2imf_info(codegen_context* cg, method_compile_context* m, u4 used);
cp2imf_table* jit_pack_cp2imf(cp_node** list, method_compile_context* m);

// ---- jit_pending.cpp: entries of pipeline stages still to come --------------
int is_existence_of_transfer_point(methodblock* mb, u4 transfer_point);
void jit_fill_frame_interface(u4* table);
void jit_register_exception_handler(EE* ee);
extern "C" void* jit_mmi2jit_entry(void);
void jit_InitializeCodeGen(void);
int JITTraverseByteCode(method_compile_context* m, EE* ee, int flag);
int bytecode_optimization(method_compile_context* m, int flag, EE* ee);
int BB_stack_regalloc(method_compile_context* m);
void free_BB_stack_regalloc(method_compile_context* m);
int quadruple_optimization(method_compile_context* m, int* error);
int setup_bb_to_dfs_map(method_compile_context* m);
int JITGenNativeCode_state(method_compile_context* m);
int JITGenNativeCode_glue(methodblock* mb, method_compile_context** request);
int JITGenCode_glue(methodblock* mb);
void ForceCCtoInvokeInterpreterFromJIT(methodblock* mb);
int initialize_lvar_access_for_mmi2jit(method_compile_context* m);
void resolve_method_call_graph(methodblock* mb, method_unresolved_info* info, EE* ee);
int get_class_index_for_replacing(classblock* cb);
int is_method_replaced(int class_index, methodblock* mb);
rcc* replace_a_method(methodblock* mb, int class_index, int entry);
int create_sp_offset_info_for_replaced_method(method_compile_context* m, u1* start, u1* end,
                                              u4 pairs);
void CallBackInvalidateCode(u4 site, u4 patch);
int UnRegistCodeInfo(method_compile_context* m);

#endif // ORVA_DRIVER_DRIVER_H
