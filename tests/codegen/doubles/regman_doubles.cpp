// Weak doubles of the register manager's exports and of a few run-time
// services (routine table, x87 control-word area, thread-local-area mask,
// moved-jump report, data-table registration), for the unit-test binaries
// that link the code-generation core without the register manager or the
// run-time support: the owners' objects replace every one of them where they
// are linked.  Reaching one means a test needs a service it does not link:
// the process ends with a message.
#include <stdio.h>
#include <stdlib.h>

#include "codegen/codegen.h"
#include "codegen/regman/reg_manager.h"

#define PENDING __attribute__((weak))

[[noreturn]] static void regman_missing(const char* name)
{
    fprintf(stderr, "test double: service %s is not linked\n", name);
    exit(-1);
}

PENDING u4 _ireg_status(codegen_context*, int) { regman_missing("_ireg_status"); }
PENDING void _set_ireg_status(codegen_context*, int, u4) { regman_missing("_set_ireg_status"); }
PENDING u4 _init_ireg_status(codegen_context*, int) { regman_missing("_init_ireg_status"); }
PENDING void _set_init_ireg_status(codegen_context*, int, u4) { regman_missing("_set_init_ireg_status"); }
PENDING u4 _reg_info_ireg_status(codegen_context*, register_info*, int) { regman_missing("_reg_info_ireg_status"); }
PENDING void _reg_info_set_ireg_status(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_set_ireg_status"); }
PENDING u4 _reg_info_init_ireg_status(codegen_context*, register_info*, int) { regman_missing("_reg_info_init_ireg_status"); }
PENDING void _reg_info_set_init_ireg_status(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_set_init_ireg_status"); }
PENDING u4 _freg_status(codegen_context*, int) { regman_missing("_freg_status"); }
PENDING void _set_freg_status(codegen_context*, int, u4) { regman_missing("_set_freg_status"); }
PENDING u4 _init_freg_status(codegen_context*, int) { regman_missing("_init_freg_status"); }
PENDING void _set_init_freg_status(codegen_context*, int, u4) { regman_missing("_set_init_freg_status"); }
PENDING u4 _reg_info_freg_status(codegen_context*, register_info*, int) { regman_missing("_reg_info_freg_status"); }
PENDING void _reg_info_set_freg_status(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_set_freg_status"); }
PENDING u4 _reg_info_init_freg_status(codegen_context*, register_info*, int) { regman_missing("_reg_info_init_freg_status"); }
PENDING void _reg_info_set_init_freg_status(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_set_init_freg_status"); }
PENDING int _search_ireg(codegen_context*, const reg_operand*, int) { regman_missing("_search_ireg"); }
PENDING int _search_freg(codegen_context*, const reg_operand*, int) { regman_missing("_search_freg"); }
PENDING int _search_init_ireg(codegen_context*, const reg_operand*) { regman_missing("_search_init_ireg"); }
PENDING int _search_init_freg(codegen_context*, const reg_operand*) { regman_missing("_search_init_freg"); }
PENDING int _reg_info_search_ireg(codegen_context*, register_info*, const reg_operand*, int) { regman_missing("_reg_info_search_ireg"); }
PENDING int _reg_info_search_freg(codegen_context*, register_info*, const reg_operand*, int) { regman_missing("_reg_info_search_freg"); }
PENDING int _simple_search_ireg(codegen_context*, int, s4, int) { regman_missing("_simple_search_ireg"); }
PENDING int _simple_search_freg(codegen_context*, int, s4, int) { regman_missing("_simple_search_freg"); }
PENDING int _reg_info_simple_search_ireg(codegen_context*, register_info*, int, s4, int) { regman_missing("_reg_info_simple_search_ireg"); }
PENDING int _reg_info_simple_search_freg(codegen_context*, register_info*, int, s4, int) { regman_missing("_reg_info_simple_search_freg"); }
PENDING int _search_valid_ireg(codegen_context*, const reg_operand*, int) { regman_missing("_search_valid_ireg"); }
PENDING int _search_valid_freg(codegen_context*, const reg_operand*, int) { regman_missing("_search_valid_freg"); }
PENDING int int_stack_is_spilled(codegen_context*, int) { regman_missing("int_stack_is_spilled"); }
PENDING int fp_stack_is_spilled(codegen_context*, int) { regman_missing("fp_stack_is_spilled"); }
PENDING int _search_free_ireg(codegen_context*, u4, const reg_operand*, int) { regman_missing("_search_free_ireg"); }
PENDING int _search_free_freg(codegen_context*) { regman_missing("_search_free_freg"); }
PENDING int _reg_info_search_free_ireg(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_search_free_ireg"); }
PENDING int _reg_info_search_init_free_ireg(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_search_init_free_ireg"); }
PENDING int _reg_info_search_free_freg(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_search_free_freg"); }
PENDING int _reg_info_search_init_free_freg(codegen_context*, register_info*, int, u4) { regman_missing("_reg_info_search_init_free_freg"); }
PENDING int _search_invalid_freg(codegen_context*, const reg_operand*, int) { regman_missing("_search_invalid_freg"); }
PENDING s4 _freg_num(codegen_context*, int) { regman_missing("_freg_num"); }
PENDING int ireg_bit_count(u4, int*) { regman_missing("ireg_bit_count"); }
PENDING int freg_bit_count(u4, int*) { regman_missing("freg_bit_count"); }
PENDING int is_same_status_word(const u4*, const u4*) { regman_missing("is_same_status_word"); }
PENDING int _int_local_index(codegen_context*, s4) { regman_missing("_int_local_index"); }
PENDING int _fp_local_index(codegen_context*, s4) { regman_missing("_fp_local_index"); }
PENDING int _reg_info_int_local_index(codegen_context*, register_info*, s4) { regman_missing("_reg_info_int_local_index"); }
PENDING int _reg_info_fp_local_index(codegen_context*, register_info*, s4) { regman_missing("_reg_info_fp_local_index"); }
PENDING int _loop_int_local_index(codegen_context*, int, s4) { regman_missing("_loop_int_local_index"); }
PENDING int _loop_fp_local_index(codegen_context*, int, s4) { regman_missing("_loop_fp_local_index"); }
PENDING u4 _BB_LOCAL_TBL_attrib(codegen_context*, int, s4) { regman_missing("_BB_LOCAL_TBL_attrib"); }
PENDING int _within_fwd_entry(codegen_context*, int, int) { regman_missing("_within_fwd_entry"); }
PENDING bbattr* get_target_bbattr(codegen_context*, int) { regman_missing("get_target_bbattr"); }
PENDING int dominant_bb_minfo(method_compile_context*, int) { regman_missing("dominant_bb_minfo"); }
PENDING int is_same_int_register_info(codegen_context*, register_info*) { regman_missing("is_same_int_register_info"); }
PENDING int is_same_fp_register_info(codegen_context*, register_info*) { regman_missing("is_same_fp_register_info"); }
PENDING int is_same_register_info(codegen_context*, register_info*) { regman_missing("is_same_register_info"); }
PENDING void _load_int_oprnd(codegen_context*, int, const reg_operand*) { regman_missing("_load_int_oprnd"); }
PENDING void _load_fp_oprnd(codegen_context*, int, const reg_operand*) { regman_missing("_load_fp_oprnd"); }
PENDING int _invalidate_iregs(codegen_context*, int, const reg_operand*) { regman_missing("_invalidate_iregs"); }
PENDING int _invalidate_fregs(codegen_context*, int, const reg_operand*) { regman_missing("_invalidate_fregs"); }
PENDING void _swap_assoc_iregs(codegen_context*, int, int, int) { regman_missing("_swap_assoc_iregs"); }
PENDING void _swap_assoc_fregs(codegen_context*, int, int, int) { regman_missing("_swap_assoc_fregs"); }
PENDING void _copy_assoc_iregs(codegen_context*, int, int, int) { regman_missing("_copy_assoc_iregs"); }
PENDING void _copy_assoc_fregs(codegen_context*, int, int, int) { regman_missing("_copy_assoc_fregs"); }
PENDING void _reg_info_swap_assoc_iregs(codegen_context*, register_info*, int, int) { regman_missing("_reg_info_swap_assoc_iregs"); }
PENDING void _reg_info_swap_assoc_fregs(codegen_context*, register_info*, int, int) { regman_missing("_reg_info_swap_assoc_fregs"); }
PENDING int ireg_has_value(codegen_context*, int) { regman_missing("ireg_has_value"); }
PENDING int freg_has_value(codegen_context*, int) { regman_missing("freg_has_value"); }
PENDING void ireg_empty(codegen_context*, int r);   // entry emptied, bits 1..9 cleared void freg_empty(codegen_context*, int) { regman_missing("ireg_empty"); }
PENDING int local_set_has(const u4*, int, s4) { regman_missing("local_set_has"); }
PENDING void _spillout_ireg(codegen_context*, int, int) { regman_missing("_spillout_ireg"); }
PENDING void _spillout_freg(codegen_context*, int, int) { regman_missing("_spillout_freg"); }
PENDING int _spillout_and_alloc_ireg(codegen_context*, u4, u4, const reg_operand*) { regman_missing("_spillout_and_alloc_ireg"); }
PENDING s4 _spillout_and_alloc_freg(codegen_context*) { regman_missing("_spillout_and_alloc_freg"); }
PENDING int prefer_swap_iregs(codegen_context*, int) { regman_missing("prefer_swap_iregs"); }
PENDING int prefer_swap_fregs(codegen_context*, int) { regman_missing("prefer_swap_fregs"); }
PENDING int _alloc_free_ireg(codegen_context*, u4, u4, const reg_operand*) { regman_missing("_alloc_free_ireg"); }
PENDING s4 _alloc_free_freg(codegen_context*, u4, u4) { regman_missing("_alloc_free_freg"); }
PENDING int spillout_candidate_ireg(codegen_context*, u4, const reg_operand*) { regman_missing("spillout_candidate_ireg"); }
PENDING s4 spillout_candidate_freg(codegen_context*, u4, const reg_operand*) { regman_missing("spillout_candidate_freg"); }
PENDING int _swap_assoc_value_iregs(codegen_context*, int, u4, const reg_operand*) { regman_missing("_swap_assoc_value_iregs"); }
PENDING int _swap_assoc_value_fregs(codegen_context*, int, u4, const reg_operand*) { regman_missing("_swap_assoc_value_fregs"); }
PENDING void spillout_hw_fp_stack_bottom(codegen_context*, int) { regman_missing("spillout_hw_fp_stack_bottom"); }
PENDING u4 _load_lazy_registers(codegen_context*, u4*, u4*) { regman_missing("_load_lazy_registers"); }
PENDING void _load_fp_regs(codegen_context*, register_info*, int, int) { regman_missing("_load_fp_regs"); }
PENDING void restore_spilled_fp_cache_regs(codegen_context*) { regman_missing("restore_spilled_fp_cache_regs"); }
PENDING void rm_exchange_fregs(codegen_context*, s4, s4) { regman_missing("rm_exchange_fregs"); }
PENDING int alloc_work_ireg(codegen_context*, u4) { regman_missing("alloc_work_ireg"); }
PENDING void free_work_ireg(codegen_context*, int) { regman_missing("free_work_ireg"); }
PENDING int create_int_register_dags(codegen_context*, register_info*, u4, const s4*, int*, s4 (*)[8], int*, int*) { regman_missing("create_int_register_dags"); }
PENDING void gen_change_int_register_dags(codegen_context*, register_info*, u4, const s4*, int, s4 (*)[8], const int*, const int*) { regman_missing("gen_change_int_register_dags"); }
PENDING u4 _int_reg_permutation(codegen_context*, register_info*, s4*) { regman_missing("_int_reg_permutation"); }
PENDING u4 _fp_reg_permutation(codegen_context*, register_info*, s4*) { regman_missing("_fp_reg_permutation"); }
PENDING void gen_change_int_registers(codegen_context*, register_info*, int, int, int, int) { regman_missing("gen_change_int_registers"); }
PENDING void gen_change_fp_registers(codegen_context*, register_info*, int, int, int) { regman_missing("gen_change_fp_registers"); }
PENDING void _change_int_registers_to_bb(codegen_context*, int, int, u4) { regman_missing("_change_int_registers_to_bb"); }
PENDING void _change_fp_registers_to_bb(codegen_context*, int, int, u4) { regman_missing("_change_fp_registers_to_bb"); }
PENDING void gen_change_registers(codegen_context*, register_info*, int, int, int) { regman_missing("gen_change_registers"); }
PENDING register_info* allocate_register_info(codegen_context*) { regman_missing("allocate_register_info"); }
PENDING register_info* allocate_kill_register_area(codegen_context*) { regman_missing("allocate_kill_register_area"); }
PENDING register_info* save_register_info(codegen_context*) { regman_missing("save_register_info"); }
PENDING void restore_register_info(codegen_context*, register_info*) { regman_missing("restore_register_info"); }
PENDING register_info* duplicate_register_info(codegen_context*, register_info*) { regman_missing("duplicate_register_info"); }
PENDING void free_register_info(codegen_context*, register_info*) { regman_missing("free_register_info"); }
PENDING void free_saved_register_info(codegen_context*) { regman_missing("free_saved_register_info"); }
PENDING void clear_register_info(codegen_context*, register_info*) { regman_missing("clear_register_info"); }
PENDING void clear_current_register_info(codegen_context*) { regman_missing("clear_current_register_info"); }
PENDING void _drop_dead_stack_regs(codegen_context*) { regman_missing("_drop_dead_stack_regs"); }
PENDING register_info* BB_save_register_info(codegen_context*, int) { regman_missing("BB_save_register_info"); }
PENDING int _final_jump_target_bb(codegen_context*, int) { regman_missing("_final_jump_target_bb"); }
PENDING int invalidate_target_bb(codegen_context*, int) { regman_missing("invalidate_target_bb"); }
PENDING void BB_change_register_info(codegen_context*, int, int) { regman_missing("BB_change_register_info"); }
PENDING void BB_change_register_info_before_branch(codegen_context*, int, int) { regman_missing("BB_change_register_info_before_branch"); }
PENDING void BB_set_register_info(codegen_context*, int, int, int) { regman_missing("BB_set_register_info"); }
PENDING int initialize_reg_alloc(codegen_context*, work_pool*) { regman_missing("initialize_reg_alloc"); }
PENDING void prepare_reg_alloc(codegen_context*) { regman_missing("prepare_reg_alloc"); }
PENDING void finalize_reg_alloc(codegen_context*) { regman_missing("finalize_reg_alloc"); }
PENDING void BB_reg_initialize(codegen_context*, int) { regman_missing("BB_reg_initialize"); }
PENDING void BB_reg_finalize(codegen_context*, int, int, int) { regman_missing("BB_reg_finalize"); }
PENDING void choose_target_register_info(codegen_context*, int, int, int) { regman_missing("choose_target_register_info"); }
PENDING register_info* save_kill_registers(codegen_context*, u4*) { regman_missing("save_kill_registers"); }
PENDING void restore_kill_registers(codegen_context*, register_info*) { regman_missing("restore_kill_registers"); }
PENDING void push_kill_registers(codegen_context*, register_info*) { regman_missing("push_kill_registers"); }
PENDING void pop_kill_registers(codegen_context*, register_info*) { regman_missing("pop_kill_registers"); }
PENDING register_info* create_default_register_info(codegen_context*, int) { regman_missing("create_default_register_info"); }
PENDING void setup_local_map(codegen_context*, int, register_info*) { regman_missing("setup_local_map"); }
PENDING void setup_stack_map(codegen_context*, int, register_info*) { regman_missing("setup_stack_map"); }
PENDING void create_stack_map(codegen_context*, int, register_info*) { regman_missing("create_stack_map"); }
PENDING void _build_default_reg_assignment(codegen_context*, register_info*, int, int, int) { regman_missing("_build_default_reg_assignment"); }
PENDING int is_EH_Use(codegen_context*, s4) { regman_missing("is_EH_Use"); }
PENDING void _TICK(codegen_context*, quadruple**, int) { regman_missing("_TICK"); }
PENDING int canbe_cached_int_oprnd(codegen_context*, const reg_operand*, int) { regman_missing("canbe_cached_int_oprnd"); }
PENDING int int_access_within_innermost_loop(codegen_context*, int, s4) { regman_missing("int_access_within_innermost_loop"); }
PENDING int fp_access_within_innermost_loop(codegen_context*, int, s4) { regman_missing("fp_access_within_innermost_loop"); }
PENDING void _flush_int_cache_regs(codegen_context*, int, int, int) { regman_missing("_flush_int_cache_regs"); }
PENDING void _flush_fp_cache_regs(codegen_context*, int) { regman_missing("_flush_fp_cache_regs"); }
PENDING void _flush_cache(codegen_context*, int, int, int) { regman_missing("_flush_cache"); }
PENDING void flush_cache_innermost_loop(codegen_context*, int, int) { regman_missing("flush_cache_innermost_loop"); }
PENDING void _invalidate_int_cache_regs(codegen_context*, u4) { regman_missing("_invalidate_int_cache_regs"); }
PENDING void _invalidate_fp_cache_regs(codegen_context*, u4) { regman_missing("_invalidate_fp_cache_regs"); }
PENDING void _invalidate_cache_regs(codegen_context*, u4, u4) { regman_missing("_invalidate_cache_regs"); }
PENDING u4 used_int_cache_regs(codegen_context*, int) { regman_missing("used_int_cache_regs"); }
PENDING u4 used_fp_cache_regs(codegen_context*, int) { regman_missing("used_fp_cache_regs"); }
PENDING void _drop_dead_cache_regs_at_bb(codegen_context*, int) { regman_missing("_drop_dead_cache_regs_at_bb"); }
PENDING void _reg_info_drop_dead_cache_regs(codegen_context*, register_info*, int, int) { regman_missing("_reg_info_drop_dead_cache_regs"); }
PENDING void _exit_invalidate_dead_cache_regs(codegen_context*, int) { regman_missing("_exit_invalidate_dead_cache_regs"); }
PENDING void _clean_eh_int_cache_regs(codegen_context*) { regman_missing("_clean_eh_int_cache_regs"); }
PENDING void _clean_fp_cache_regs(codegen_context*) { regman_missing("_clean_fp_cache_regs"); }
PENDING void _clean_cache_regs(codegen_context*) { regman_missing("_clean_cache_regs"); }
PENDING void _reg_info_clean_int_cache_regs(codegen_context*, register_info*) { regman_missing("_reg_info_clean_int_cache_regs"); }
PENDING void _reg_info_clean_fp_cache_regs(codegen_context*, register_info*) { regman_missing("_reg_info_clean_fp_cache_regs"); }
PENDING void _reg_info_clean_cache_regs(codegen_context*, register_info*) { regman_missing("_reg_info_clean_cache_regs"); }
PENDING int _get_rd_int_oprnd(codegen_context*, const reg_operand*, int, int) { regman_missing("_get_rd_int_oprnd"); }
PENDING int _get_wt_int_oprnd(codegen_context*, const reg_operand*, int, int) { regman_missing("_get_wt_int_oprnd"); }
PENDING int _set_rd_int_oprnd(codegen_context*, const reg_operand*, u4, u4, int) { regman_missing("_set_rd_int_oprnd"); }
PENDING int _set_wt_int_oprnd(codegen_context*, const reg_operand*, u4, u4, int, int) { regman_missing("_set_wt_int_oprnd"); }
PENDING int _alloc_int_reg(codegen_context*, u4, int) { regman_missing("_alloc_int_reg"); }
PENDING void _free_int_reg(codegen_context*, int, int, int, int) { regman_missing("_free_int_reg"); }
PENDING int _assoc_int_oprnd(codegen_context*, const reg_operand*, int, int, int) { regman_missing("_assoc_int_oprnd"); }
PENDING int _spillout_int_oprnd(codegen_context*, const reg_operand*, int) { regman_missing("_spillout_int_oprnd"); }
PENDING void _flush_int_regs(codegen_context*, u4, u4, int, u4) { regman_missing("_flush_int_regs"); }
PENDING void _flush_all_int_regs(codegen_context*, int) { regman_missing("_flush_all_int_regs"); }
PENDING void _flush_all_regs(codegen_context*, int) { regman_missing("_flush_all_regs"); }
PENDING void pop_int_oprnd(codegen_context*, const reg_operand*) { regman_missing("pop_int_oprnd"); }
PENDING void pop_stack(codegen_context*, int, int) { regman_missing("pop_stack"); }
PENDING int is_cached_int_oprnd(codegen_context*, const reg_operand*) { regman_missing("is_cached_int_oprnd"); }
PENDING int query_int_oprnd(codegen_context*, const reg_operand*) { regman_missing("query_int_oprnd"); }
PENDING int is_hot_int_oprnd(codegen_context*, const reg_operand*, int) { regman_missing("is_hot_int_oprnd"); }
PENDING void pindown_int_local_oprnd(codegen_context*, const reg_operand*, int) { regman_missing("pindown_int_local_oprnd"); }
PENDING int _num_of_free_int_regs(codegen_context*, int) { regman_missing("_num_of_free_int_regs"); }
PENDING void reorder_commutative_oprnds(codegen_context*, const reg_operand**, const reg_operand**) { regman_missing("reorder_commutative_oprnds"); }
PENDING void reorder_commutative_int_oprnds(codegen_context*, const reg_operand**, const reg_operand**) { regman_missing("reorder_commutative_int_oprnds"); }
PENDING void reorder_commutative_fp_oprnds(codegen_context*, const reg_operand**, const reg_operand**) { regman_missing("reorder_commutative_fp_oprnds"); }
PENDING void ireg_read_binding(codegen_context*, int, const reg_operand*) { regman_missing("ireg_read_binding"); }
PENDING s4 _get_rd_fp_oprnd(codegen_context*, const reg_operand*, int) { regman_missing("_get_rd_fp_oprnd"); }
PENDING s4 _get_wt_fp_oprnd(codegen_context*, const reg_operand*) { regman_missing("_get_wt_fp_oprnd"); }
PENDING s4 _alloc_fp_reg(codegen_context*, u4, u4) { regman_missing("_alloc_fp_reg"); }
PENDING void _free_fp_reg(codegen_context*, s4, int) { regman_missing("_free_fp_reg"); }
PENDING void _assoc_fp_oprnd(codegen_context*, const reg_operand*, s4, int, int) { regman_missing("_assoc_fp_oprnd"); }
PENDING int _spillout_fp_oprnd(codegen_context*, const reg_operand*) { regman_missing("_spillout_fp_oprnd"); }
PENDING void _flush_fp_regs(codegen_context*, u4, u4, int, u4, int, int) { regman_missing("_flush_fp_regs"); }
PENDING void _flush_all_fp_regs(codegen_context*, int) { regman_missing("_flush_all_fp_regs"); }
PENDING void pop_fp_oprnd(codegen_context*, const reg_operand*) { regman_missing("pop_fp_oprnd"); }
PENDING void reverse_fp_stack_oprnds(codegen_context*, const reg_operand*, const reg_operand*) { regman_missing("reverse_fp_stack_oprnds"); }
PENDING u4 get_fp_live_status(codegen_context*) { regman_missing("get_fp_live_status"); }
PENDING void restore_spilled_fp_regs(codegen_context*, int, int) { regman_missing("restore_spilled_fp_regs"); }
PENDING void alloc_and_assoc_fp_stack_top_oprnd(codegen_context*, const reg_operand*) { regman_missing("alloc_and_assoc_fp_stack_top_oprnd"); }
PENDING void pop_fp_cache_regs(codegen_context*, int) { regman_missing("pop_fp_cache_regs"); }
PENDING int is_cached_fp_oprnd(codegen_context*, const reg_operand*) { regman_missing("is_cached_fp_oprnd"); }
PENDING s4 query_fp_oprnd(codegen_context*, const reg_operand*) { regman_missing("query_fp_oprnd"); }
PENDING int is_hot_fp_oprnd(codegen_context*, const reg_operand*, s4) { regman_missing("is_hot_fp_oprnd"); }
PENDING int is_initially_cached_fp_oprnd(codegen_context*, const reg_operand*) { regman_missing("is_initially_cached_fp_oprnd"); }
PENDING int _num_of_free_fp_regs(codegen_context*, int) { regman_missing("_num_of_free_fp_regs"); }
PENDING int gen_move_ireg_ireg(codegen_context*, int, int) { regman_missing("gen_move_ireg_ireg"); }
PENDING int gen_swap_ireg_ireg(codegen_context*, int, int) { regman_missing("gen_swap_ireg_ireg"); }
PENDING int gen_move_ireg_local(codegen_context*, int, s4, int, int) { regman_missing("gen_move_ireg_local"); }
PENDING int gen_move_local_ireg(codegen_context*, s4, int, int, int) { regman_missing("gen_move_local_ireg"); }
PENDING int gen_move_local_immediate(codegen_context*, s4, s4) { regman_missing("gen_move_local_immediate"); }
PENDING int gen_move_ireg_rawimmediate(codegen_context*, int, s4) { regman_missing("gen_move_ireg_rawimmediate"); }
PENDING int gen_move_ireg_memimmediate(codegen_context*, int, u4) { regman_missing("gen_move_ireg_memimmediate"); }
PENDING int gen_move_stack_ireg(codegen_context*, int, int) { regman_missing("gen_move_stack_ireg"); }
PENDING int gen_move_stack_ival(codegen_context*, int, s4) { regman_missing("gen_move_stack_ival"); }
PENDING int _gen_rewrite_stack_ireg(codegen_context*, int, int) { regman_missing("_gen_rewrite_stack_ireg"); }
PENDING int gen_move_stack_local(codegen_context*, int, const reg_operand*) { regman_missing("gen_move_stack_local"); }
PENDING int gen_push_ireg(codegen_context*, int) { regman_missing("gen_push_ireg"); }
PENDING int gen_push_immediate(codegen_context*, s4) { regman_missing("gen_push_immediate"); }
PENDING int gen_pop_ireg(codegen_context*, int) { regman_missing("gen_pop_ireg"); }
PENDING int gen_move_freg_local(codegen_context*, s4, s4, int) { regman_missing("gen_move_freg_local"); }
PENDING int gen_move_fregi_local(codegen_context*, s4, s4) { regman_missing("gen_move_fregi_local"); }
PENDING int gen_move_fregi_memimmediate(codegen_context*, s4, u4, int) { regman_missing("gen_move_fregi_memimmediate"); }
PENDING int gen_move_freg_rawimmediate(codegen_context*, s4, s4) { regman_missing("gen_move_freg_rawimmediate"); }
PENDING int gen_move_freg_idximmediate(codegen_context*, s4, u4, int) { regman_missing("gen_move_freg_idximmediate"); }
PENDING int gen_move_freg_genimmediate(codegen_context*, s4, u4, int) { regman_missing("gen_move_freg_genimmediate"); }
PENDING int gen_move_freg_stack(codegen_context*, int, s4, int) { regman_missing("gen_move_freg_stack"); }
PENDING int gen_spillin_freg_stack(codegen_context*, s4, int, int) { regman_missing("gen_spillin_freg_stack"); }
PENDING int gen_move_local_freg_p(codegen_context*, s4, s4, int, int) { regman_missing("gen_move_local_freg_p"); }
PENDING int gen_move_local_freg(codegen_context*, s4, s4, int) { regman_missing("gen_move_local_freg"); }
PENDING int gen_move_stack_freg0(codegen_context*, int, s4, int, int) { regman_missing("gen_move_stack_freg0"); }
PENDING int gen_move_stack_freg(codegen_context*, int, s4, int) { regman_missing("gen_move_stack_freg"); }
PENDING int gen_spillout_stack_freg(codegen_context*, int, const int*, const s4*, const int*) { regman_missing("gen_spillout_stack_freg"); }
PENDING int gen_swap_freg_freg(codegen_context*, s4, s4) { regman_missing("gen_swap_freg_freg"); }
PENDING int gen_move_freg_freg(codegen_context*, s4, s4) { regman_missing("gen_move_freg_freg"); }
PENDING int gen_pop_freg(codegen_context*) { regman_missing("gen_pop_freg"); }
PENDING int gen_push_freg(codegen_context*) { regman_missing("gen_push_freg"); }
PENDING int loop_localreg_alloc(method_compile_context*) { regman_missing("loop_localreg_alloc"); }
PENDING int tile_reg_alloc(method_compile_context*, var_usage_entry*) { regman_missing("tile_reg_alloc"); }
PENDING void sort_local_tbl(method_compile_context*, int, local_usage_entry*, int) { regman_missing("sort_local_tbl"); }
PENDING int coloring_driver(method_compile_context*, dataflow_pass_context*) { regman_missing("coloring_driver"); }
PENDING int count_set_bits(const u8*, int) { regman_missing("count_set_bits"); }
PENDING int set_rmmi_locals_map_with_coloring(codegen_context*, method_compile_context*, void*, s4*, void*, int) { regman_missing("set_rmmi_locals_map_with_coloring"); }
PENDING const char* Conv_bit(const u8*, int, int) { regman_missing("Conv_bit"); }

// ---- run-time support and method glue -------------------------------------
PENDING void patch_cmp_jmp_code(codegen_context*, u1*, u1*) { regman_missing("patch_cmp_jmp_code"); }
extern "C" PENDING void** _GET_DECODE_TABLE_BASE(void) { regman_missing("_GET_DECODE_TABLE_BASE"); }
extern "C" PENDING u1* _GET_FCONTROL_WORD_BASE(void) { regman_missing("_GET_FCONTROL_WORD_BASE"); }
extern "C" PENDING u1* _GET_FCONST_BASE(void) { regman_missing("_GET_FCONST_BASE"); }
// The thread-local-area mask: the run-time support sets it at start-up.
extern "C" {
PENDING u4 orva_tla_mask = 0;
}
PENDING void register_datatable(codegen_context*, int, const u4*, int, u1*) { regman_missing("register_datatable"); }
