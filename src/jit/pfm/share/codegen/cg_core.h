// Code-generation driver, pass, dispatcher and their services: the records of
// block linkage and back-patching, the operand set of a quadruple's generator,
// and the functions of cg_driver.cpp, cg_pass.cpp, cg_dispatch.cpp,
// cg_branch.cpp, cg_regargs.cpp, cg_operand.cpp, cg_memop.cpp and
// cg_x87ops.cpp, grouped by file.  The neighbouring services these files call
// (register manager, quadruple generators and method glue) are declared at the
// end; cg5_pending.cpp holds weak stand-ins for those not built yet.
#ifndef ORVA_CODEGEN_CG_CORE_H
#define ORVA_CODEGEN_CG_CORE_H

#include <stdarg.h>
#include <stdio.h>

#include "codegen/codegen.h"
#include "codegen/memop.h"
#include "codegen/regman/reg_manager.h"
#include "frontend/bb.h"
#include "frontend/quad.h"
#include "driver/compile_context.h"

struct work_pool;

// ---------------------------------------------------------------------------
// Back-patch record: one jump whose target block's address is not known when
// it is written.  16 bytes, in the table `backpatch_cursor` walks.
// ---------------------------------------------------------------------------
struct backpatch_rec {
    u1* site;        // pass 2: the code position just after the jump
    u4 target;       // target block; b + nBB names block b's linkage stub
    u4 position;     // pass 1: code_size after the jump; pass 2: as site
    u2 is_short;     // written in the 2-byte form in pass 2 (JITbackPatch0)
    u2 reconcile;    // reconciliation code sits between a reversed short branch and the jump
};
static_assert(sizeof(backpatch_rec) == 16);
static_assert(offsetof(backpatch_rec, site) == 0);
static_assert(offsetof(backpatch_rec, target) == 4);
static_assert(offsetof(backpatch_rec, position) == 8);
static_assert(offsetof(backpatch_rec, is_short) == 12);
static_assert(offsetof(backpatch_rec, reconcile) == 14);

// Block link record: a block's pending linkage (register state to reconcile
// on the way to its target).  28 bytes, one per block.
struct bb_link {
    void* saved;            // saved register state; 0 when no linkage is pending
    u4 target;              // block the pending linkage leads to
    u4 waiting;             // in the target's record: the block whose linkage leads here
    backpatch_rec* bp;      // back-patch record of the pending jump (0: class-hierarchy jump)
    backpatch_rec* bp2;     // second back-patch record
    u1 pending;             // linkage (with its stack offset) still to be emitted
    u1 pad0;
    s2 sp_offset;           // sp_offset at the jump
    u4 spare;
};
static_assert(sizeof(bb_link) == 28);
static_assert(offsetof(bb_link, saved) == 0);
static_assert(offsetof(bb_link, target) == 4);
static_assert(offsetof(bb_link, waiting) == 8);
static_assert(offsetof(bb_link, bp) == 12);
static_assert(offsetof(bb_link, bp2) == 16);
static_assert(offsetof(bb_link, pending) == 20);
static_assert(offsetof(bb_link, sp_offset) == 22);

// One entry of the code-position table (one per quadruple).
constexpr u4 CG_CP_ENTRY_SIZE = 32;

// Exception-handler block lists of the compile context (m->handler_lists):
// a count, then one record per handler.
struct handler_block_list {
    u4 block_count;         // blocks in the handler's list
    u4* blocks;             // their indexes, in generation order
};
struct handler_block_lists {
    u4 count;
    handler_block_list* list;
};

// Block flags read by the code generator (frontend/bb.h names the others).
constexpr u4 BB_GENERATED = BB_VISITED;        // code generated in this pass
constexpr u4 MCC_NO_TICK = 0x20;               // compile-context flag byte: no _TICK after generators
constexpr u2 ACC_CODE_INSTALLED_MARK = 0x4000; // access bit: the method is not to be (re)compiled

// ---------------------------------------------------------------------------
// The operands of one quadruple as its generator receives them: the set-up
// routine of its dispatch route fills r[] (result, first source, second
// source; two words each: [0] result low, [1] result high, [2], [3] the first
// source, [4], [5] the second) and, for operand lists, list[].
// ---------------------------------------------------------------------------
constexpr int CG_LIST_MAX = 16;

struct cg_operands {
    reg_operand r[6];
    reg_operand x[6];       // a second set-up ("int, long", "int, float"): same order as r

    reg_operand list[CG_LIST_MAX];
    int list_n;
    u1 long_flag;           // set_3loperands: the source's flag byte (0: an int-typed value)
    u1 pad[3];
};

// A quadruple code generator: 0 done, 1 failure (the pass fails); the float
// compare-and-branch generator returns the branch condition instead.
typedef int cg_generator(codegen_context* cg, quadruple** slot, cg_operands* o);

// ---------------------------------------------------------------------------
// cg_driver.cpp
// ---------------------------------------------------------------------------
int JITGenNativeCode_state(method_compile_context* m);
int JITGenNativeCode_glue(methodblock* mb, method_compile_context** request);
u4 cg_table_pool_size(const method_compile_context* m);
// A neighbouring service that is not built yet was reached: ends the running
// code generation with result 1 (the method stays with the interpreter).
[[noreturn]] void cg_service_missing(const char* name);
extern const char* cg_missing_service;          // the last one reached (diagnosis, tests)

// An internal failure of code generation (a broken invariant, a jump that
// cannot reach its target): gives the compile up the same way, with the
// formatted reason as the compile history's give-up reason.  Never called from
// run-time routines, only while a method is being generated.
[[noreturn]] __attribute__((format(printf, 1, 2))) inline void cg_internal_error(const char* format, ...)
{
    static char reason[160];
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    cg_service_missing(reason);
}

// Invariants of code generation.  On unless ORVA_NO_JIT_ASSERT is defined; a
// failed one gives the compile up softly (the method stays interpreted).
#ifdef ORVA_NO_JIT_ASSERT
#define jit_assert(cond) ((void)0)
#else
#define jit_assert(cond) \
    ((cond) ? (void)0 : cg_internal_error("internal error: %s (%s:%d)", #cond, __FILE__, __LINE__))
#endif

// ---------------------------------------------------------------------------
// cg_pass.cpp
// ---------------------------------------------------------------------------
s4 gen_method_code_pass(codegen_context* cg, method_compile_context* m, u2 pass, u1** entry_out, u4* entry_pad);
void cg_close_window(codegen_context* cg);
void cg_open_window(codegen_context* cg);
extern "C" void _orva_ExceptionHandler(void);

// ---------------------------------------------------------------------------
// cg_dispatch.cpp
// ---------------------------------------------------------------------------
int gen_code_for_bb_list(codegen_context* cg, u4* blocks, s4 count);
u4 exchange_jump_cond(u4 cond);
void gen_spset(codegen_context* cg, quadruple* q);
void init_search_reg(codegen_context* cg);
s2 cg_fixed_stack_offset(codegen_context* cg);

// Dispatch routes: one row per opcode 0..180.
enum cg_setup : u1 { SU_NONE, SU_INT, SU_LONG, SU_FLOAT, SU_LIST, SU_INT_LONG, SU_INT_FLOAT,
                     SU_LONG_INT, SU_INT_LIST, SU_BY_TYPE };
enum cg_route : u1 {
    RT_GEN,           // the generator (resolving / direct pair when gen2 is set)
    RT_NOTHING,       // nothing is emitted
    RT_UNEXPECTED,    // "Unexpected Bytecode %d\n"
    RT_BAD,           // "Bad Single OPCODE found (opcode no=%d)\n"
    RT_SPECIAL,       // handled in the dispatcher's own code
};
struct cg_dispatch_row {
    u1 opcode;
    cg_setup setup;
    cg_route route;
    const char* gen1_name;   // generator (or resolving generator of a pair)
    cg_generator* gen1;
    const char* gen2_name;   // direct generator of a pair, or a second generator
    cg_generator* gen2;
};
extern const cg_dispatch_row cg_dispatch_table[OPC_LAST_GENERATED + 1];

// ---------------------------------------------------------------------------
// cg_branch.cpp
// ---------------------------------------------------------------------------
u4 reverse_jump_cond(u4 cond);
u4 reverse_jump(codegen_context* cg, u4 cond, u4 block, u4 new_first);
void gen_jmp_and_patch(codegen_context* cg, u4 cond, u4 target, u4 source, s4 next, int fall_through);
void gen_jmp_and_patch_cha(codegen_context* cg, u4 target, u4 source, s4 next, int flag);
void gen_switch_and_patch(codegen_context* cg, u4 cond, u4 target, u4 source, s4 next, int flag);
void gen_bb_linkage(codegen_context* cg, int all);
void gen_single_bb_linkage(codegen_context* cg, u4 source, u4 target, int patch);
void gen_switch_entry_bb_linkage(codegen_context* cg, u4 source, u4 target);
extern backpatch_rec* cg_backpatch_limit;   // end of the running compile's table (set by the driver)
void JITbackPatch0(codegen_context* cg, backpatch_rec* table);
void JITbackPatch(backpatch_rec* start, backpatch_rec* end, const u4* addresses);
int use_ireg_oprnd1(codegen_context* cg, reg_operand* op, quadruple** slot);
int use_ireg_oprnd2(codegen_context* cg, reg_operand* op1, reg_operand* op2, quadruple** slot);
int use_ireg_oprnd2_for_long(codegen_context* cg, reg_operand* op1, reg_operand* op2, quadruple** slot);

// ---------------------------------------------------------------------------
// cg_regargs.cpp
// ---------------------------------------------------------------------------
extern u4 bit_int_regpass;
u4 int_regpass_reg(u4 i);
u4 fp_regpass_reg(u4 i);
u4 get_optlink_reg_bit(void);
void init_optlink(void);
int n_this_callee_saved_regs(codegen_context* cg);
void init_use_regs(codegen_context* cg);
int cg_count_int_arg_words(const char* signature, int is_static, int* has_float);
void save_callee_saved_regs(codegen_context* cg);
void save_callee_saved_regs2(codegen_context* cg);
void save_callee_saved_regs_nm(codegen_context* cg, s4 offset, u4 mask);
void restore_callee_saved_regs(codegen_context* cg);
void restore_callee_saved_regs2(codegen_context* cg);
void restore_callee_saved_regs_nm(codegen_context* cg, s4 offset, u4 mask);
int is_callee_saved(codegen_context* cg, u4 bit);
void pack_csr(u4 mask, u4* out, u4 ebx, u4 ebp, u4 esi, u4 edi);
void copy_csr(u4* destination, const u4* packed);
void setup_BB0_reginfo(codegen_context* cg);
void gen_setup_parameters_optlink(codegen_context* cg, quadruple** slot);
void gen_clear_parameters_optlink(codegen_context* cg, quadruple** slot);
u4 wo_ireg_bit(u4 mask, u4 reg);
s4 get_specific_target_reg(void);
u4 output_int_reg_mask(u4 a, u4 b, u4 mask);

// ---------------------------------------------------------------------------
// cg_operand.cpp
// ---------------------------------------------------------------------------
void set_ioperand(codegen_context* cg, quadruple** slot, reg_operand* out, quad_operand* op);
void set_3ioperands(codegen_context* cg, quadruple** slot, reg_operand* res, reg_operand* s1, reg_operand* s2);
void set_loperand(codegen_context* cg, quadruple** slot, reg_operand* lo, reg_operand* hi, quad_operand* op);
void set_3loperands(codegen_context* cg, quadruple** slot, reg_operand* rl, reg_operand* rh, reg_operand* s1l,
                    reg_operand* s1h, reg_operand* s2l, reg_operand* s2h);
void set_foperand(codegen_context* cg, quadruple** slot, reg_operand* out, quad_operand* op, s4 spare);
void set_3foperands(codegen_context* cg, quadruple** slot, reg_operand* res, reg_operand* s1, reg_operand* s2);
int set_operand_list(codegen_context* cg, quadruple** slot, reg_operand* out, int n);
int NeedCall(quadruple* q);
void jit_InitializeCodeGen(void);
void gen_uninstall_exc_handler(codegen_context* cg);
void gen_init_try_region(codegen_context* cg, u4 value);
void gen_load_exception_object(codegen_context* cg, reg_operand* op);
int signature_return_kind(int fallback, methodblock* mb);
s4 cg_fp_spare_index(codegen_context* cg, quadruple* q);
constexpr reg_operand CG_EMPTY_OPERAND = {0, 0, 0, 0xFFFFFFFFu, nullptr};

// ---------------------------------------------------------------------------
// cg_memop.cpp
// ---------------------------------------------------------------------------
typedef int memop_handler(codegen_context* cg, memop* m, reg_operand* lo, reg_operand* hi, quadruple** slot,
                          int a, int b, int c, int d);
struct memop_pattern_row {
    u4 def_opcode;
    const u1* users;          // 0-terminated list of using opcodes; MEMOP_ANY_USER accepts all
    memop_handler* handler;
    u4 zero;
};
extern const u1 MEMOP_ANY_USER[];
const memop_pattern_row* memop_pattern_table(u2 type_word);
const memop_pattern_row* memop_definition_search(u2 type_word, bbattr* b, s4 pos, quadruple*** slot,
                                                 codegen_context* cg);
int _memop_getregs(codegen_context* cg, memop* m, reg_operand* op, quadruple** slot, int a, int b, int c, int d);
int memop_is_defined(codegen_context* cg, reg_operand* op);
int Qmemop_is_defined(u2 type_word, bbattr* b, s4 pos, codegen_context* cg);
int memop_is_used(codegen_context* cg, quad_operand* op, u4 reg);
quadruple** Qmemop_is_used(u2 type_word, bbattr* b, s4 pos, codegen_context* cg);
void _memop_assign_spill_offset(codegen_context* cg, memop* m, int which);
u4 memop_used_regbits(const memop* m);
void memop_freeregs_w_rsvbits(codegen_context* cg, u4 reserved, memop* m);
void memop_freeregs(codegen_context* cg, u4 a, u4 b, memop* m);
void memop_invalidate_if_lastuse(codegen_context* cg, u4 a, u4 b, memop* m);
int _memop_alloc_move_to_reg_w_rsvbits(codegen_context* cg, memop* m, u4 lo_mask, u4 lo_avoid, u4 hi_mask,
                                       u4 hi_avoid, u4 reserved);
int _memop_alloc_move_to_reg(codegen_context* cg, memop* m, u4 lo_mask, u4 lo_avoid, u4 hi_mask, u4 hi_avoid,
                             u4 reg1, u4 reg2);
void memop_move_to_destregs_(codegen_context* cg, memop* m, u4 dst, u4 dst_hi);
int gen_op2_memopX(codegen_context* cg, int op, reg_operand* a, reg_operand* b, reg_operand* src_lo,
                   reg_operand* src_hi, quadruple** slot);
extern const u1 memop_alu_4[7], memop_alu_8lo[7], memop_alu_8hi[7];

// ---------------------------------------------------------------------------
// cg_x87ops.cpp
// ---------------------------------------------------------------------------
int _is_pop_allowed_local(codegen_context* cg, reg_operand* op, int flag);
int is_pop_allowed_local(codegen_context* cg, reg_operand* op);
void change_fplocalreg_as_work(codegen_context* cg, int position);
int alloc_fp86_reg(codegen_context* cg, u4 mask);
int get_rd_fp86_oprnd(codegen_context* cg, reg_operand* op);
int get_wt_fp86_oprnd(codegen_context* cg, reg_operand* op);
int fp86_make_room(codegen_context* cg, reg_operand* op, int mode);
int fp86_find_entry(codegen_context* cg, reg_operand* op, int for_write);
void free_fp86_reg(codegen_context* cg, int position, int discard);
int get_top_fp86_oprnd(codegen_context* cg, reg_operand* op, int* popped, quadruple** slot);
int _assoc_fp86_oprnd(codegen_context* cg, reg_operand* op, int position, int pop, int rounded, int truncate);
int query_fp_dest_oprnd(codegen_context* cg, reg_operand* op);
int is_op_FPR0_nonST(codegen_context* cg, reg_operand* op);
void pop_stack_md(codegen_context* cg, int ignored, int n);
void invalidate_if_lastuse(codegen_context* cg, reg_operand* op);

// ---------------------------------------------------------------------------
// Quadruple code generators and method glue (subsystem of the generators;
// weak stand-ins in cg5_pending.cpp).  Generators of the dispatch table have
// the cg_generator form and are listed in CG5_GENERATORS.
// ---------------------------------------------------------------------------
#define CG5_GENERATORS(X)                                                                            \
    X(gen_move_II) X(gen_op2_III) X(gen_op1_II) X(gen_iaload) X(gen_iastore) X(gen_cmp_II)            \
    X(gen_test_II) X(gen_move_LL) X(gen_op2_LLL) X(gen_op15_LLI) X(gen_op1_LL) X(gen_laload)          \
    X(gen_lastore) X(gen_cmp_ILL) X(gen_move_FF) X(gen_op2_FFF) X(gen_op1_FF) X(gen_faload)           \
    X(gen_fastore) X(gen_fcmpu_IFF) X(gen_method_ireturn) X(gen_method_lreturn)                       \
    X(gen_method_freturn) X(gen_method_return) X(gen_tableswitch) X(gen_lookupswitch)                 \
    X(gen_resolve_new) X(gen_new) X(gen_resolve_checkcast) X(gen_and_register_class_cache)           \
    X(gen_resolve_instanceof) X(gen_monitor) X(gen_normal_invoke) X(gen_optimized_invoke)            \
    X(set_return_register) X(gen_resolve_igetfield) X(gen_igetfield) X(gen_resolve_lgetfield)        \
    X(gen_lgetfield) X(gen_resolve_fgetfield) X(gen_fgetfield) X(gen_resolve_iputfield)              \
    X(gen_iputfield) X(gen_resolve_lputfield) X(gen_lputfield) X(gen_resolve_fputfield)              \
    X(gen_fputfield) X(gen_resolve_igetstatic) X(gen_igetstatic) X(gen_resolve_lgetstatic)           \
    X(gen_lgetstatic) X(gen_resolve_fgetstatic) X(gen_fgetstatic) X(gen_resolve_iputstatic)          \
    X(gen_iputstatic) X(gen_resolve_lputstatic) X(gen_lputstatic) X(gen_resolve_fputstatic)          \
    X(gen_fputstatic) X(gen_newarray) X(gen_anewarray) X(gen_argset_multianewarray)                  \
    X(gen_multianewarray) X(gen_arraylength) X(gen_I2L) X(gen_L2I) X(gen_I2F) X(gen_L2F)             \
    X(gen_F2I) X(gen_F2L) X(gen_resolve_ldc) X(gen_ldc) X(gen_athrow) X(gen_jsr) X(gen_eaddr)        \
    X(gen_ldctable) X(gen_memset) X(gen_argcopy) X(gen_localcopy) X(gen_classfieldload)              \
    X(gen_explicit_nullpointer_check) X(gen_sizecheck) X(gen_sizecheck_range) X(gen_classtypecheck)  \
    X(gen_fcmpu_CFF) X(gen_cmp_CLL) X(gen_inlined_System_arraycopy) X(gen_pindown)                   \
    X(gen_load_methodblock) X(gen_load_methodtable) X(gen_methodblockcheck) X(gen_mtaddresscheck)    \
    X(gen_syncenter) X(gen_syncexit) X(gen_execute_static_initializer) X(gen_cmove_IIIII)

#define X(name) int name(codegen_context* cg, quadruple** slot, cg_operands* o);
CG5_GENERATORS(X)
#undef X

// Method glue and out-of-line tails.
void adjust_method_entry_point(codegen_context* cg, methodblock* mb, u4* pad);
void gen_method_prolog(codegen_context* cg, u4* pad);
u4 gen_fp_decide_precision(codegen_context* cg);
u4 gen_fp_set_mode(codegen_context* cg, u4 mode);
void init_cha_patch(codegen_context* cg);
void init_slow_sync(codegen_context* cg);
void init_invokevirtualobject(method_compile_context* m);
void init_invoke_back_patch(method_compile_context* m);
void init_class_cache(method_compile_context* m);
void init_resolve_backpatch_anchor(method_compile_context* m);
void init_allocation_slow_path_anchor(method_compile_context* m);
void init_invalid_fop_exception(method_compile_context* m);
void init_gen_datatable(method_compile_context* m);
int init_invokeinterface_before_1st_pass(codegen_context* cg, void* state, void* scratch);
void init_invokeinterface_before_2nd_pass(codegen_context* cg, void* state);
void gen_call_allocation_slow_path(codegen_context* cg);
void gen_call_rtlib_to_throw_exception(codegen_context* cg, int a, int b);
void gen_invoke_initial_target(method_compile_context* m, codegen_context* cg);
void gen_call_rtlib_in_class_cache_miss(codegen_context* cg);
void gen_call_runtime_resolver(codegen_context* cg);
void gen_invalid_fop_recovery(codegen_context* cg);
void gen_datatable(codegen_context* cg);
void gen_slow_sync_target(codegen_context* cg);
void gen_cha_patch(codegen_context* cg, u1* code_start);
void gen_guess_and_load_mb(codegen_context* cg);
void register_chapatch_info_to_patched_bb(method_compile_context* m);
void register_cha_patch_list(codegen_context* cg, bbattr** table, u4 block);
void squeeze_local_variable_index(codegen_context* cg);
void create_sp_offset_info(codegen_context* cg, method_compile_context* m, u4 used);
void set_rmmi_info(codegen_context* cg);
u4 getNativeMethodGlueSize(methodblock* mb);
void gen_glue4interpreter(codegen_context* cg, u4 pad);
void gen_method_pre_header(codegen_context* cg, method_compile_context* m);
void _gen_test_and_throw_exception(codegen_context* cg, int a, int b, int c, int d, int e, int f, u4 code,
                                   methodblock* mb, int g);
void gen_JNInativemethod_glue(codegen_context* cg, u4 pad);
void gen_change_execmode(codegen_context* cg, int mode);
void gen_copy_data_for_alias_local(codegen_context* cg);
void gen_copy_data_for_alias_local_nshrinklvar(codegen_context* cg);
s4 getFrameSizeWithoutLocals(codegen_context* cg);
u4 get_imm_long_op(codegen_context* cg, reg_operand* op);
void gen_op_memop_i4(codegen_context* cg, int op, memop* m, s4 imm);
void gen_op_memop_gr4(codegen_context* cg, int op, memop* m, u4 reg);
void gen_op_memop8_i8(codegen_context* cg, int op, memop* m, s4 lo, s4 hi);
void gen_op_memop8_gr(codegen_context* cg, int op, memop* m, u4 lo, u4 hi);
void spilloutin_fr_w_check(codegen_context* cg, int position, int size);

// ---------------------------------------------------------------------------
// gen_throw.cpp, gen_datatable.cpp, gen_array.cpp, gen_switch.cpp: checks and
// raise paths, the data table, array access and switches.
// ---------------------------------------------------------------------------
// Compare kinds of _gen_test_and_throw_exception (a, b, c, d its operands).
constexpr int THROW_CMP_REG_MEM = 0;       // cmp reg a, [b + c]
constexpr int THROW_CMP_REG_REG = 2;       // cmp reg a, reg b
constexpr int THROW_CMP_REG_IMM = 3;       // cmp reg a, imm c
constexpr int THROW_CMP_TEST_REG = 4;      // test reg a, reg a (d = 1: the byte registers)
constexpr int THROW_CMP_TEST_MEM_IMM = 5;  // test dword [b + c], imm a
constexpr int THROW_CMP_MEM_IMM = 6;       // cmp dword [b + c], imm a
constexpr int THROW_CMP_OR = 8;            // or reg a, reg b
constexpr int THROW_CMP_XOR_IMM = 9;       // xor reg a, imm c
constexpr int THROW_CMP_FLAGS = 10;        // no compare: the flags of the code before

// Compile-context list words of these files.
constexpr int MCC_LIST_DATATABLE = 6;      // data-table records
constexpr int MCC_LIST_THROW_RECORDS = 7;  // raise-path records

void init_test_and_throw_exception(codegen_context* cg);
// The scheduler moved the jump whose displacement was at old_disp to end
// before `end` (patch_cmp_jmp_code, gen_jmp_patch.cpp, calls it).
void throw_records_moved(codegen_context* cg, u1* old_disp, u1* end);
void gen_test_and_throw_exception(codegen_context* cg, int cond, int kind, int a, int b, int c, int d, u4 code,
                                  u4 arg1, u4 arg2);
// An array-index check raising ArrayIndexOutOfBoundsException with `index`
// (a register id, or the value when index_is_constant) as its message.
void gen_index_check(codegen_context* cg, int cond, int kind, int a, int b, int c, u4 index, int index_is_constant);
// Data-table kinds of register_datatable.
constexpr int DT_CONST_TABLE = 0;          // gen_ldctable's constants
constexpr int DT_TABLESWITCH = 1;          // a tableswitch jump table
constexpr int DT_LOOKUPSWITCH = 2;         // a dense lookupswitch jump table
constexpr int DT_CONST32 = 3;              // one 32-bit constant
constexpr int DT_CONST64 = 4;              // one 64-bit constant
constexpr int DT_RUNTIME_CELL = 5;         // a word rewritten at run time (class-cache cell,
                                           // interface guess), never shared: word1 its initial
                                           // contents, word2 a second address field or 0
// owner: the quadruple (kinds 0-2) or 0; slot: the 4-byte address field
// written when the table is placed (pass 2); size in bytes.
void register_datatable(codegen_context* cg, quadruple* owner, u1* slot, int kind, u4 word1, u4 word2, u4 size);

#endif // ORVA_CODEGEN_CG_CORE_H
