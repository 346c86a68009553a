// The register manager (`reg_manager`): which IA-32 register or x87 slot
// holds each quadruple operand while code is emitted, caching of locals in
// registers, the register state at block boundaries, and before code
// generation the register candidates of locals and the colouring of local
// slots.  Exports grouped by the file that defines them.
//
// Conventions: integer registers are manager numbers 0..6 (-1 none), x87
// registers are counter values (slot = counter mod 8; -1 none), masks are
// sets of manager numbers or slots.  Every operation emits what it needs at
// the context's code position (measured only in pass 1) and takes the same
// decisions in both passes.
#ifndef ORVA_CODEGEN_REG_MANAGER_H
#define ORVA_CODEGEN_REG_MANAGER_H

#include "codegen/regman/reg_records.h"

// ---- reg_prims.cpp: status words, searches, lookups, loads, comparisons ----
u4 _ireg_status(codegen_context* cg, int r);
void _set_ireg_status(codegen_context* cg, int r, u4 w);
u4 _init_ireg_status(codegen_context* cg, int r);
void _set_init_ireg_status(codegen_context* cg, int r, u4 w);
u4 _reg_info_ireg_status(codegen_context* cg, register_info* ri, int r);
void _reg_info_set_ireg_status(codegen_context* cg, register_info* ri, int r, u4 w);
u4 _reg_info_init_ireg_status(codegen_context* cg, register_info* ri, int r);
void _reg_info_set_init_ireg_status(codegen_context* cg, register_info* ri, int r, u4 w);
u4 _freg_status(codegen_context* cg, int s);
void _set_freg_status(codegen_context* cg, int s, u4 w);
u4 _init_freg_status(codegen_context* cg, int s);
void _set_init_freg_status(codegen_context* cg, int s, u4 w);
u4 _reg_info_freg_status(codegen_context* cg, register_info* ri, int s);
void _reg_info_set_freg_status(codegen_context* cg, register_info* ri, int s, u4 w);
u4 _reg_info_init_freg_status(codegen_context* cg, register_info* ri, int s);
void _reg_info_set_init_freg_status(codegen_context* cg, register_info* ri, int s, u4 w);

int _search_ireg(codegen_context* cg, const reg_operand* op, int valid_only);
int _search_freg(codegen_context* cg, const reg_operand* op, int valid_only);
int _search_init_ireg(codegen_context* cg, const reg_operand* op);
int _search_init_freg(codegen_context* cg, const reg_operand* op);
int _reg_info_search_ireg(codegen_context* cg, register_info* ri, const reg_operand* op, int valid_only);
int _reg_info_search_freg(codegen_context* cg, register_info* ri, const reg_operand* op, int valid_only);
int _simple_search_ireg(codegen_context* cg, int kind, s4 index, int valid_only);
int _simple_search_freg(codegen_context* cg, int kind, s4 index, int valid_only);
int _reg_info_simple_search_ireg(codegen_context* cg, register_info* ri, int kind, s4 index, int valid_only);
int _reg_info_simple_search_freg(codegen_context* cg, register_info* ri, int kind, s4 index, int valid_only);
int _search_valid_ireg(codegen_context* cg, const reg_operand* op, int no_load);
int _search_valid_freg(codegen_context* cg, const reg_operand* op, int no_load);
int int_stack_is_spilled(codegen_context* cg, int depth);
int fp_stack_is_spilled(codegen_context* cg, int depth);
int _search_free_ireg(codegen_context* cg, u4 mask, const reg_operand* op, int mode);
int _search_free_freg(codegen_context* cg);
int _reg_info_search_free_ireg(codegen_context* cg, register_info* ri, int unused, u4 mask);
int _reg_info_search_init_free_ireg(codegen_context* cg, register_info* ri, int unused, u4 mask);
int _reg_info_search_free_freg(codegen_context* cg, register_info* ri, int unused, u4 mask);
int _reg_info_search_init_free_freg(codegen_context* cg, register_info* ri, int unused, u4 mask);
int _search_invalid_freg(codegen_context* cg, const reg_operand* op, int check);
s4 _freg_num(codegen_context* cg, int slot);
int ireg_bit_count(u4 mask, int* first);
int freg_bit_count(u4 mask, int* first);
int is_same_status_word(const u4* a, const u4* b);
int _int_local_index(codegen_context* cg, s4 local);
int _fp_local_index(codegen_context* cg, s4 local);
int _reg_info_int_local_index(codegen_context* cg, register_info* ri, s4 local);
int _reg_info_fp_local_index(codegen_context* cg, register_info* ri, s4 local);
int _loop_int_local_index(codegen_context* cg, int block, s4 local);
int _loop_fp_local_index(codegen_context* cg, int block, s4 local);
u4 _BB_LOCAL_TBL_attrib(codegen_context* cg, int block, s4 local);
int _within_fwd_entry(codegen_context* cg, int block, int other);
bbattr* get_target_bbattr(codegen_context* cg, int block);
int dominant_bb_minfo(method_compile_context* m, int block);
int is_same_int_register_info(codegen_context* cg, register_info* ri);
int is_same_fp_register_info(codegen_context* cg, register_info* ri);
int is_same_register_info(codegen_context* cg, register_info* ri);
void _load_int_oprnd(codegen_context* cg, int r, const reg_operand* op);
void _load_fp_oprnd(codegen_context* cg, int slot, const reg_operand* op);
int _invalidate_iregs(codegen_context* cg, int kept, const reg_operand* op);
int _invalidate_fregs(codegen_context* cg, int kept, const reg_operand* op);
void _drop_overlapping_local_copies(codegen_context* cg, const reg_operand* op);
void _swap_assoc_iregs(codegen_context* cg, int a, int b, int also_init);
void _swap_assoc_fregs(codegen_context* cg, int a, int b, int also_init);
void _copy_assoc_iregs(codegen_context* cg, int dst, int src, int also_init);
void _copy_assoc_fregs(codegen_context* cg, int dst, int src, int also_init);
void _reg_info_swap_assoc_iregs(codegen_context* cg, register_info* ri, int a, int b);
void _reg_info_swap_assoc_fregs(codegen_context* cg, register_info* ri, int a, int b);
// Register r has a value (neither pending nor without value).
int ireg_has_value(codegen_context* cg, int r);
int freg_has_value(codegen_context* cg, int slot);
void ireg_empty(codegen_context* cg, int r);   // entry emptied, bits 1..9 cleared
void freg_empty(codegen_context* cg, int slot);
// Local sets (the block live sets and the handler-used set) and the 64-bit mask table.
extern const u4 local_bit64[64][2];
int local_set_has(const u4* set, int nlocals, s4 local);

// ---- reg_spill.cpp: spilling, allocation, spill choice, swaps, work registers ----
void _spillout_ireg(codegen_context* cg, int r, int force);
void _spillout_freg(codegen_context* cg, int slot, int force);
int _spillout_and_alloc_ireg(codegen_context* cg, u4 mask, u4 exclude, const reg_operand* op);
s4 _spillout_and_alloc_freg(codegen_context* cg);
int prefer_swap_iregs(codegen_context* cg, int r);
int prefer_swap_fregs(codegen_context* cg, int slot);
int _alloc_free_ireg(codegen_context* cg, u4 mask, u4 exclude, const reg_operand* op);
s4 _alloc_free_freg(codegen_context* cg, u4 mask, u4 exclude);
int spillout_candidate_ireg(codegen_context* cg, u4 mask, const reg_operand* op);
s4 spillout_candidate_freg(codegen_context* cg, u4 mask, const reg_operand* op);
int _swap_assoc_value_iregs(codegen_context* cg, int r, u4 mask, const reg_operand* op);
int _swap_assoc_value_fregs(codegen_context* cg, int r, u4 mask, const reg_operand* op);
void spillout_hw_fp_stack_bottom(codegen_context* cg, int n);
u4 _load_lazy_registers(codegen_context* cg, u4* int_loaded, u4* fp_loaded);
void _load_fp_regs(codegen_context* cg, register_info* ri, int live_set, int block);
void restore_spilled_fp_cache_regs(codegen_context* cg);
// Exchange two x87 counter values in the model, and with an fxch when either holds a live value.
void rm_exchange_fregs(codegen_context* cg, s4 a, s4 b);
int alloc_work_ireg(codegen_context* cg, u4 mask);
void free_work_ireg(codegen_context* cg, int r);

// ---- reg_join.cpp: join moves and state changes toward a block's state ----
int create_int_register_dags(codegen_context* cg, register_info* ri, u4 mask, const s4* target, int* nchains,
                             s4 chains[][8], int* lengths, int* cycles);
void gen_change_int_register_dags(codegen_context* cg, register_info* ri, u4 mask, const s4* target, int nchains,
                                  s4 chains[][8], const int* lengths, const int* cycles);
u4 _int_reg_permutation(codegen_context* cg, register_info* ri, s4* out);
u4 _fp_reg_permutation(codegen_context* cg, register_info* ri, s4* out);
void gen_change_int_registers(codegen_context* cg, register_info* ri, int edge, int from, int to, int spill);
void gen_change_fp_registers(codegen_context* cg, register_info* ri, int edge, int from, int to);
void _change_int_registers_to_bb(codegen_context* cg, int from, int to, u4 loaded);
void _change_fp_registers_to_bb(codegen_context* cg, int from, int to, u4 loaded);
void gen_change_registers(codegen_context* cg, register_info* ri, int edge, int from, int to);

// ---- reg_block.cpp: saving, restoring and changing block states ----
register_info* allocate_register_info(codegen_context* cg);
register_info* allocate_kill_register_area(codegen_context* cg);
register_info* save_register_info(codegen_context* cg);
void restore_register_info(codegen_context* cg, register_info* ri);
register_info* duplicate_register_info(codegen_context* cg, register_info* ri);
void free_register_info(codegen_context* cg, register_info* ri);
void free_saved_register_info(codegen_context* cg);
void clear_register_info(codegen_context* cg, register_info* ri);
void clear_current_register_info(codegen_context* cg);
void _drop_dead_stack_regs(codegen_context* cg);
register_info* BB_save_register_info(codegen_context* cg, int block);
int _final_jump_target_bb(codegen_context* cg, int block);
int invalidate_target_bb(codegen_context* cg, int block);
void BB_change_register_info(codegen_context* cg, int from, int to);
void BB_change_register_info_before_branch(codegen_context* cg, int from, int to);
void BB_set_register_info(codegen_context* cg, int from, int to, int flush);

// ---- reg_life.cpp: method lifecycle, block entry and exit, calls ----
int initialize_reg_alloc(codegen_context* cg, work_pool* pool);
void prepare_reg_alloc(codegen_context* cg);
void finalize_reg_alloc(codegen_context* cg);
void BB_reg_initialize(codegen_context* cg, int block);
void BB_reg_finalize(codegen_context* cg, int from, int to, int flush);
void choose_target_register_info(codegen_context* cg, int f, int to, int flush);
register_info* save_kill_registers(codegen_context* cg, u4* saved);
void restore_kill_registers(codegen_context* cg, register_info* area);
void push_kill_registers(codegen_context* cg, register_info* area);
void pop_kill_registers(codegen_context* cg, register_info* area);

// ---- reg_maps.cpp: default block states and block-entry local maps ----
register_info* create_default_register_info(codegen_context* cg, int block);
void setup_local_map(codegen_context* cg, int block, register_info* ri);
void setup_stack_map(codegen_context* cg, int block, register_info* ri);
void create_stack_map(codegen_context* cg, int block, register_info* ri);
void _build_default_reg_assignment(codegen_context* cg, register_info* ri, int block, int keep_current, int pass_status);

// ---- reg_cache.cpp: caching locals in registers ----
int is_EH_Use(codegen_context* cg, s4 local);
void _TICK(codegen_context* cg, quadruple** slot, int flags);
int canbe_cached_int_oprnd(codegen_context* cg, const reg_operand* op, int block);
int int_access_within_innermost_loop(codegen_context* cg, int block, s4 local);
int fp_access_within_innermost_loop(codegen_context* cg, int block, s4 local);
void _flush_int_cache_regs(codegen_context* cg, int skip, int drop, int handler_only);
void _flush_fp_cache_regs(codegen_context* cg, int skip);
void _flush_cache(codegen_context* cg, int skip, int drop, int handler_only);
void flush_cache_innermost_loop(codegen_context* cg, int ignored, int block);
void _invalidate_int_cache_regs(codegen_context* cg, u4 keep);
void _invalidate_fp_cache_regs(codegen_context* cg, u4 keep);
void _invalidate_cache_regs(codegen_context* cg, u4 int_keep, u4 fp_keep);
u4 used_int_cache_regs(codegen_context* cg, int block);
u4 used_fp_cache_regs(codegen_context* cg, int block);
void _drop_dead_cache_regs_at_bb(codegen_context* cg, int block);
void _reg_info_drop_dead_cache_regs(codegen_context* cg, register_info* ri, int block, int pop);
void _exit_invalidate_dead_cache_regs(codegen_context* cg, int ignored);
void _clean_eh_int_cache_regs(codegen_context* cg);
void _clean_fp_cache_regs(codegen_context* cg);
void _clean_cache_regs(codegen_context* cg);
void _reg_info_clean_int_cache_regs(codegen_context* cg, register_info* ri);
void _reg_info_clean_fp_cache_regs(codegen_context* cg, register_info* ri);
void _reg_info_clean_cache_regs(codegen_context* cg, register_info* ri);

// ---- reg_int.cpp: integer operand access ----
int _get_rd_int_oprnd(codegen_context* cg, const reg_operand* op, int no_load, int hint);
int _get_wt_int_oprnd(codegen_context* cg, const reg_operand* op, int no_load, int temp);
int _set_rd_int_oprnd(codegen_context* cg, const reg_operand* op, u4 wanted, u4 excluded, int no_load);
int _set_wt_int_oprnd(codegen_context* cg, const reg_operand* op, u4 wanted, u4 excluded, int no_load, int temp);
int _alloc_int_reg(codegen_context* cg, u4 wanted, int excluded);
void _free_int_reg(codegen_context* cg, int r, int clear, int spill_mask, int store_local);
int _assoc_int_oprnd(codegen_context* cg, const reg_operand* op, int r, int force_store, int clean);
int _spillout_int_oprnd(codegen_context* cg, const reg_operand* op, int drop_local);
void _flush_int_regs(codegen_context* cg, u4 mask, u4 excluded, int spill, u4 drop);
void _flush_all_int_regs(codegen_context* cg, int spill);
void _flush_all_regs(codegen_context* cg, int spill);
void pop_int_oprnd(codegen_context* cg, const reg_operand* op);
void pop_stack(codegen_context* cg, int n, int m);
int is_cached_int_oprnd(codegen_context* cg, const reg_operand* op);
int query_int_oprnd(codegen_context* cg, const reg_operand* op);
int is_hot_int_oprnd(codegen_context* cg, const reg_operand* op, int r);
void pindown_int_local_oprnd(codegen_context* cg, const reg_operand* op, int r);
int _num_of_free_int_regs(codegen_context* cg, int mask);
void reorder_commutative_oprnds(codegen_context* cg, const reg_operand** a, const reg_operand** b);
void reorder_commutative_int_oprnds(codegen_context* cg, const reg_operand** a, const reg_operand** b);
void reorder_commutative_fp_oprnds(codegen_context* cg, const reg_operand** a, const reg_operand** b);
void ireg_read_binding(codegen_context* cg, int r, const reg_operand* op);

// ---- reg_x87.cpp: x87 stack model and floating-point operand access ----
s4 _get_rd_fp_oprnd(codegen_context* cg, const reg_operand* op, int no_load);
s4 _get_wt_fp_oprnd(codegen_context* cg, const reg_operand* op);
s4 _alloc_fp_reg(codegen_context* cg, u4 wanted, u4 excluded);
void _free_fp_reg(codegen_context* cg, s4 c, int clear);
void _assoc_fp_oprnd(codegen_context* cg, const reg_operand* op, s4 c, int force_store, int clean);
int _spillout_fp_oprnd(codegen_context* cg, const reg_operand* op);
void _flush_fp_regs(codegen_context* cg, u4 mask, u4 excluded, int spill, u4 drop, int dead_local, int block);
void _flush_all_fp_regs(codegen_context* cg, int spill);
void pop_fp_oprnd(codegen_context* cg, const reg_operand* op);
void reverse_fp_stack_oprnds(codegen_context* cg, const reg_operand* a, const reg_operand* b);
u4 get_fp_live_status(codegen_context* cg);
void restore_spilled_fp_regs(codegen_context* cg, int ignored, int exchange);
void alloc_and_assoc_fp_stack_top_oprnd(codegen_context* cg, const reg_operand* op);
void pop_fp_cache_regs(codegen_context* cg, int keep);
int is_cached_fp_oprnd(codegen_context* cg, const reg_operand* op);
s4 query_fp_oprnd(codegen_context* cg, const reg_operand* op);
int is_hot_fp_oprnd(codegen_context* cg, const reg_operand* op, s4 c);
int is_initially_cached_fp_oprnd(codegen_context* cg, const reg_operand* op);
int _num_of_free_fp_regs(codegen_context* cg, int mask);

// ---- reg_moves.cpp: move emitters ----
int gen_move_ireg_ireg(codegen_context* cg, int dst, int src);
int gen_swap_ireg_ireg(codegen_context* cg, int a, int b);
int gen_move_ireg_local(codegen_context* cg, int r, s4 local, int narrow, int is_byte);
int gen_move_local_ireg(codegen_context* cg, s4 local, int r, int narrow, int is_byte);
int gen_move_local_immediate(codegen_context* cg, s4 local, s4 value);
int gen_move_ireg_rawimmediate(codegen_context* cg, int r, s4 value);
int gen_move_ireg_memimmediate(codegen_context* cg, int r, u4 address);
int gen_move_stack_ireg(codegen_context* cg, int slot, int r);
int gen_move_stack_ival(codegen_context* cg, int slot, s4 value);
int _gen_rewrite_stack_ireg(codegen_context* cg, int slot, int r);
int gen_move_stack_local(codegen_context* cg, int slot, const reg_operand* local);
int gen_push_ireg(codegen_context* cg, int r);
int gen_push_immediate(codegen_context* cg, s4 value);
int gen_pop_ireg(codegen_context* cg, int r);
int gen_move_freg_local(codegen_context* cg, s4 c, s4 local, int is_double);
int gen_move_fregi_local(codegen_context* cg, s4 c, s4 local);
int gen_move_fregi_memimmediate(codegen_context* cg, s4 c, u4 address, int is_double);
int gen_move_freg_rawimmediate(codegen_context* cg, s4 c, s4 kind);
int gen_move_freg_idximmediate(codegen_context* cg, s4 c, u4 address, int is_double);
int gen_move_freg_genimmediate(codegen_context* cg, s4 c, u4 constant, int is_double);
int gen_move_freg_stack(codegen_context* cg, int slot, s4 c, int is_double);
int gen_spillin_freg_stack(codegen_context* cg, s4 target, int slot, int is_double);
int gen_move_local_freg_p(codegen_context* cg, s4 local, s4 c, int is_double, int pop);
int gen_move_local_freg(codegen_context* cg, s4 local, s4 c, int is_double);
int gen_move_stack_freg0(codegen_context* cg, int slot, s4 c, int is_double, int pop);
int gen_move_stack_freg(codegen_context* cg, int slot, s4 c, int is_double);
int gen_spillout_stack_freg(codegen_context* cg, int n, const int* slots, const s4* regs, const int* doubles);
int gen_swap_freg_freg(codegen_context* cg, s4 a, s4 b);
int gen_move_freg_freg(codegen_context* cg, s4 dst, s4 src);
int gen_pop_freg(codegen_context* cg);
int gen_push_freg(codegen_context* cg);

// ---- reg_cand.cpp: local-variable register candidates ----
struct var_usage_entry;        // frontend/qgen.h: the per-block usage record (local_usage_entry layout)
int loop_localreg_alloc(method_compile_context* m);
int tile_reg_alloc(method_compile_context* m, var_usage_entry* method_table);
void sort_local_tbl(method_compile_context* m, int n, local_usage_entry* table, int stable);
int allocate_lvattr_tbl(method_compile_context* m, void* record);   // record: a bbattr
int add_and_allocate_color(method_compile_context* m);

// ---- reg_color.cpp: colouring of local-variable slots ----
struct dataflow_pass_context;
int coloring_driver(method_compile_context* m, dataflow_pass_context* pc);
int count_set_bits(const u8* set, int nlocals);
int set_rmmi_locals_map_with_coloring(codegen_context* cg, method_compile_context* m, void* entry, s4* locals_map,
                                      void* slot_table, int local);
const char* Conv_bit(const u8* set, int nbits, int group);

// ---- Services of other subsystems (stand-ins in reg_pending.cpp) ----
s4 C_Style_local(codegen_context* cg, s4 local, int second_word);   // frame position of a local
s4 C_Style_stack(codegen_context* cg, s4 slot, int second_word);    // frame position of a stack slot
void register_datatable(codegen_context* cg, int kind, const u4* words, int size, u1* field);
extern "C" u1* _GET_FCONST_BASE(void);

// Internal failure: message and exit (a register manager invariant broke).
[[noreturn]] void rm_fatal(const char* what);

#endif // ORVA_CODEGEN_REG_MANAGER_H
