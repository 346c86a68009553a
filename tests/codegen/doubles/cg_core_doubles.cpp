// Weak doubles of the services that the code-generation core calls but that
// other subsystems own (the quadruple generators, the method glue, the
// register manager, the run-time routine table and a few driver records), for
// the unit-test binaries that link the core without those subsystems'
// objects.  A binary that links the owner gets the owner's strong
// definition; one that does not reaches the double, which ends the running
// code generation softly (the driver answers 1, nothing is committed).
#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "frontend/qgen.h"

#define PENDING __attribute__((weak))

// ---- quadruple code generators ---------------------------------------------
PENDING int gen_move_II(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_move_II"); }
PENDING int gen_op2_III(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_op2_III"); }
PENDING int gen_op1_II(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_op1_II"); }
PENDING int gen_iaload(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_iaload"); }
PENDING int gen_iastore(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_iastore"); }
PENDING int gen_cmp_II(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_cmp_II"); }
PENDING int gen_test_II(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_test_II"); }
PENDING int gen_move_LL(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_move_LL"); }
PENDING int gen_op2_LLL(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_op2_LLL"); }
PENDING int gen_op15_LLI(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_op15_LLI"); }
PENDING int gen_op1_LL(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_op1_LL"); }
PENDING int gen_laload(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_laload"); }
PENDING int gen_lastore(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_lastore"); }
PENDING int gen_cmp_ILL(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_cmp_ILL"); }
PENDING int gen_move_FF(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_move_FF"); }
PENDING int gen_op2_FFF(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_op2_FFF"); }
PENDING int gen_op1_FF(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_op1_FF"); }
PENDING int gen_faload(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_faload"); }
PENDING int gen_fastore(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_fastore"); }
PENDING int gen_fcmpu_IFF(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_fcmpu_IFF"); }
PENDING int gen_method_ireturn(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_method_ireturn"); }
PENDING int gen_method_lreturn(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_method_lreturn"); }
PENDING int gen_method_freturn(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_method_freturn"); }
PENDING int gen_method_return(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_method_return"); }
PENDING int gen_tableswitch(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_tableswitch"); }
PENDING int gen_lookupswitch(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_lookupswitch"); }
PENDING int gen_resolve_new(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_new"); }
PENDING int gen_new(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_new"); }
PENDING int gen_resolve_checkcast(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_checkcast"); }
PENDING int gen_and_register_class_cache(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_and_register_class_cache"); }
PENDING int gen_resolve_instanceof(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_instanceof"); }
PENDING int gen_monitor(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_monitor"); }
PENDING int gen_normal_invoke(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_normal_invoke"); }
PENDING int gen_optimized_invoke(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_optimized_invoke"); }
PENDING int set_return_register(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("set_return_register"); }
PENDING int gen_resolve_igetfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_igetfield"); }
PENDING int gen_igetfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_igetfield"); }
PENDING int gen_resolve_lgetfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_lgetfield"); }
PENDING int gen_lgetfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_lgetfield"); }
PENDING int gen_resolve_fgetfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_fgetfield"); }
PENDING int gen_fgetfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_fgetfield"); }
PENDING int gen_resolve_iputfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_iputfield"); }
PENDING int gen_iputfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_iputfield"); }
PENDING int gen_resolve_lputfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_lputfield"); }
PENDING int gen_lputfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_lputfield"); }
PENDING int gen_resolve_fputfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_fputfield"); }
PENDING int gen_fputfield(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_fputfield"); }
PENDING int gen_resolve_igetstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_igetstatic"); }
PENDING int gen_igetstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_igetstatic"); }
PENDING int gen_resolve_lgetstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_lgetstatic"); }
PENDING int gen_lgetstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_lgetstatic"); }
PENDING int gen_resolve_fgetstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_fgetstatic"); }
PENDING int gen_fgetstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_fgetstatic"); }
PENDING int gen_resolve_iputstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_iputstatic"); }
PENDING int gen_iputstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_iputstatic"); }
PENDING int gen_resolve_lputstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_lputstatic"); }
PENDING int gen_lputstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_lputstatic"); }
PENDING int gen_resolve_fputstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_fputstatic"); }
PENDING int gen_fputstatic(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_fputstatic"); }
PENDING int gen_newarray(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_newarray"); }
PENDING int gen_anewarray(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_anewarray"); }
PENDING int gen_argset_multianewarray(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_argset_multianewarray"); }
PENDING int gen_multianewarray(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_multianewarray"); }
PENDING int gen_arraylength(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_arraylength"); }
PENDING int gen_I2L(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_I2L"); }
PENDING int gen_L2I(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_L2I"); }
PENDING int gen_I2F(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_I2F"); }
PENDING int gen_L2F(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_L2F"); }
PENDING int gen_F2I(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_F2I"); }
PENDING int gen_F2L(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_F2L"); }
PENDING int gen_resolve_ldc(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_resolve_ldc"); }
PENDING int gen_ldc(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_ldc"); }
PENDING int gen_athrow(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_athrow"); }
PENDING int gen_jsr(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_jsr"); }
PENDING int gen_eaddr(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_eaddr"); }
PENDING int gen_ldctable(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_ldctable"); }
PENDING int gen_memset(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_memset"); }
PENDING int gen_argcopy(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_argcopy"); }
PENDING int gen_localcopy(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_localcopy"); }
PENDING int gen_classfieldload(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_classfieldload"); }
PENDING int gen_explicit_nullpointer_check(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_explicit_nullpointer_check"); }
PENDING int gen_sizecheck(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_sizecheck"); }
PENDING int gen_sizecheck_range(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_sizecheck_range"); }
PENDING int gen_classtypecheck(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_classtypecheck"); }
PENDING int gen_fcmpu_CFF(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_fcmpu_CFF"); }
PENDING int gen_cmp_CLL(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_cmp_CLL"); }
PENDING int gen_inlined_System_arraycopy(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_inlined_System_arraycopy"); }
PENDING int gen_pindown(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_pindown"); }
PENDING int gen_load_methodblock(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_load_methodblock"); }
PENDING int gen_load_methodtable(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_load_methodtable"); }
PENDING int gen_methodblockcheck(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_methodblockcheck"); }
PENDING int gen_mtaddresscheck(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_mtaddresscheck"); }
PENDING int gen_syncenter(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_syncenter"); }
PENDING int gen_syncexit(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_syncexit"); }
PENDING int gen_execute_static_initializer(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_execute_static_initializer"); }
PENDING int gen_cmove_IIIII(codegen_context*, quadruple**, cg_operands*) { cg_service_missing("gen_cmove_IIIII"); }

// ---- register manager (declared in reg_manager.h) ---------------------------
PENDING int _search_freg(codegen_context*, const reg_operand*, int) { cg_service_missing("_search_freg"); }
PENDING int _search_invalid_freg(codegen_context*, const reg_operand*, int) { cg_service_missing("_search_invalid_freg"); }
PENDING s4 _freg_num(codegen_context*, int) { cg_service_missing("_freg_num"); }
PENDING void _swap_assoc_fregs(codegen_context*, int, int, int) { cg_service_missing("_swap_assoc_fregs"); }
PENDING void spillout_hw_fp_stack_bottom(codegen_context*, int) { cg_service_missing("spillout_hw_fp_stack_bottom"); }
PENDING u4 _load_lazy_registers(codegen_context*, u4*, u4*) { cg_service_missing("_load_lazy_registers"); }
PENDING register_info* save_register_info(codegen_context*) { cg_service_missing("save_register_info"); }
PENDING void restore_register_info(codegen_context*, register_info*) { cg_service_missing("restore_register_info"); }
PENDING void free_register_info(codegen_context*, register_info*) { cg_service_missing("free_register_info"); }
PENDING void free_saved_register_info(codegen_context*) { cg_service_missing("free_saved_register_info"); }
PENDING void clear_current_register_info(codegen_context*) { cg_service_missing("clear_current_register_info"); }
PENDING int invalidate_target_bb(codegen_context*, int) { cg_service_missing("invalidate_target_bb"); }
PENDING void BB_change_register_info(codegen_context*, int, int) { cg_service_missing("BB_change_register_info"); }
PENDING void BB_change_register_info_before_branch(codegen_context*, int, int) { cg_service_missing("BB_change_register_info_before_branch"); }
PENDING void BB_set_register_info(codegen_context*, int, int, int) { cg_service_missing("BB_set_register_info"); }
PENDING int initialize_reg_alloc(codegen_context*, work_pool*) { cg_service_missing("initialize_reg_alloc"); }
PENDING void prepare_reg_alloc(codegen_context*) { cg_service_missing("prepare_reg_alloc"); }
PENDING void finalize_reg_alloc(codegen_context*) { cg_service_missing("finalize_reg_alloc"); }
PENDING void BB_reg_initialize(codegen_context*, int) { cg_service_missing("BB_reg_initialize"); }
PENDING void BB_reg_finalize(codegen_context*, int, int, int) { cg_service_missing("BB_reg_finalize"); }
PENDING register_info* create_default_register_info(codegen_context*, int) { cg_service_missing("create_default_register_info"); }
PENDING int is_EH_Use(codegen_context*, s4) { cg_service_missing("is_EH_Use"); }
PENDING void _TICK(codegen_context*, quadruple**, int) { cg_service_missing("_TICK"); }
PENDING int canbe_cached_int_oprnd(codegen_context*, const reg_operand*, int) { cg_service_missing("canbe_cached_int_oprnd"); }
PENDING void flush_cache_innermost_loop(codegen_context*, int, int) { cg_service_missing("flush_cache_innermost_loop"); }
PENDING void _invalidate_int_cache_regs(codegen_context*, u4) { cg_service_missing("_invalidate_int_cache_regs"); }
PENDING void _invalidate_fp_cache_regs(codegen_context*, u4) { cg_service_missing("_invalidate_fp_cache_regs"); }
PENDING u4 used_int_cache_regs(codegen_context*, int) { cg_service_missing("used_int_cache_regs"); }
PENDING u4 used_fp_cache_regs(codegen_context*, int) { cg_service_missing("used_fp_cache_regs"); }
PENDING void _exit_invalidate_dead_cache_regs(codegen_context*, int) { cg_service_missing("_exit_invalidate_dead_cache_regs"); }
PENDING int _get_rd_int_oprnd(codegen_context*, const reg_operand*, int, int) { cg_service_missing("_get_rd_int_oprnd"); }
PENDING int _get_wt_int_oprnd(codegen_context*, const reg_operand*, int, int) { cg_service_missing("_get_wt_int_oprnd"); }
PENDING int _set_rd_int_oprnd(codegen_context*, const reg_operand*, u4, u4, int) { cg_service_missing("_set_rd_int_oprnd"); }
PENDING int _set_wt_int_oprnd(codegen_context*, const reg_operand*, u4, u4, int, int) { cg_service_missing("_set_wt_int_oprnd"); }
PENDING int _assoc_int_oprnd(codegen_context*, const reg_operand*, int, int, int) { cg_service_missing("_assoc_int_oprnd"); }
PENDING int _spillout_int_oprnd(codegen_context*, const reg_operand*, int) { cg_service_missing("_spillout_int_oprnd"); }
PENDING int is_cached_int_oprnd(codegen_context*, const reg_operand*) { cg_service_missing("is_cached_int_oprnd"); }
PENDING int query_int_oprnd(codegen_context*, const reg_operand*) { cg_service_missing("query_int_oprnd"); }
PENDING s4 _get_rd_fp_oprnd(codegen_context*, const reg_operand*, int) { cg_service_missing("_get_rd_fp_oprnd"); }
PENDING s4 _get_wt_fp_oprnd(codegen_context*, const reg_operand*) { cg_service_missing("_get_wt_fp_oprnd"); }
PENDING s4 _alloc_fp_reg(codegen_context*, u4, u4) { cg_service_missing("_alloc_fp_reg"); }
PENDING void _free_fp_reg(codegen_context*, s4, int) { cg_service_missing("_free_fp_reg"); }
PENDING void _assoc_fp_oprnd(codegen_context*, const reg_operand*, s4, int, int) { cg_service_missing("_assoc_fp_oprnd"); }
PENDING int _spillout_fp_oprnd(codegen_context*, const reg_operand*) { cg_service_missing("_spillout_fp_oprnd"); }
PENDING int is_cached_fp_oprnd(codegen_context*, const reg_operand*) { cg_service_missing("is_cached_fp_oprnd"); }
PENDING s4 query_fp_oprnd(codegen_context*, const reg_operand*) { cg_service_missing("query_fp_oprnd"); }
PENDING int is_initially_cached_fp_oprnd(codegen_context*, const reg_operand*) { cg_service_missing("is_initially_cached_fp_oprnd"); }
PENDING int gen_pop_freg(codegen_context*) { cg_service_missing("gen_pop_freg"); }
PENDING s4 C_Style_local(codegen_context*, s4, int) { cg_service_missing("C_Style_local"); }
PENDING int optim_set(codegen_context*, int, const void*) { cg_service_missing("optim_set"); }

// ---- method glue and out-of-line tails -----------------------------------------
PENDING void adjust_method_entry_point(codegen_context*, methodblock*, u4*) { cg_service_missing("adjust_method_entry_point"); }
PENDING void gen_method_prolog(codegen_context*, u4*) { cg_service_missing("gen_method_prolog"); }
PENDING u4 gen_fp_decide_precision(codegen_context*) { cg_service_missing("gen_fp_decide_precision"); }
PENDING u4 gen_fp_set_mode(codegen_context*, u4) { cg_service_missing("gen_fp_set_mode"); }
PENDING void init_cha_patch(codegen_context*) { cg_service_missing("init_cha_patch"); }
PENDING void init_slow_sync(codegen_context*) { cg_service_missing("init_slow_sync"); }
PENDING void init_invokevirtualobject(method_compile_context*) { cg_service_missing("init_invokevirtualobject"); }
PENDING void init_invoke_back_patch(method_compile_context*) { cg_service_missing("init_invoke_back_patch"); }
PENDING void init_class_cache(method_compile_context*) { cg_service_missing("init_class_cache"); }
PENDING void init_resolve_backpatch_anchor(method_compile_context*) { cg_service_missing("init_resolve_backpatch_anchor"); }
PENDING void init_allocation_slow_path_anchor(method_compile_context*) { cg_service_missing("init_allocation_slow_path_anchor"); }
PENDING void init_invalid_fop_exception(method_compile_context*) { cg_service_missing("init_invalid_fop_exception"); }
PENDING void init_gen_datatable(method_compile_context*) { cg_service_missing("init_gen_datatable"); }
PENDING int init_invokeinterface_before_1st_pass(codegen_context*, void*, void*) { cg_service_missing("init_invokeinterface_before_1st_pass"); }
PENDING void init_invokeinterface_before_2nd_pass(codegen_context*, void*) { cg_service_missing("init_invokeinterface_before_2nd_pass"); }
PENDING void gen_call_allocation_slow_path(codegen_context*) { cg_service_missing("gen_call_allocation_slow_path"); }
PENDING void gen_call_rtlib_to_throw_exception(codegen_context*, int, int) { cg_service_missing("gen_call_rtlib_to_throw_exception"); }
PENDING void gen_invoke_initial_target(method_compile_context*, codegen_context*) { cg_service_missing("gen_invoke_initial_target"); }
PENDING void gen_call_rtlib_in_class_cache_miss(codegen_context*) { cg_service_missing("gen_call_rtlib_in_class_cache_miss"); }
PENDING void gen_call_runtime_resolver(codegen_context*) { cg_service_missing("gen_call_runtime_resolver"); }
PENDING void gen_invalid_fop_recovery(codegen_context*) { cg_service_missing("gen_invalid_fop_recovery"); }
PENDING void gen_datatable(codegen_context*) { cg_service_missing("gen_datatable"); }
PENDING void gen_slow_sync_target(codegen_context*) { cg_service_missing("gen_slow_sync_target"); }
PENDING void gen_cha_patch(codegen_context*, u1*) { cg_service_missing("gen_cha_patch"); }
PENDING void gen_guess_and_load_mb(codegen_context*) { cg_service_missing("gen_guess_and_load_mb"); }
// Runs before the driver's recovery point is set, so it cannot fail softly;
// until class-hierarchy patch sites exist there is nothing to register.
PENDING void register_chapatch_info_to_patched_bb(method_compile_context*) {}
PENDING void register_cha_patch_list(codegen_context*, bbattr**, u4) { cg_service_missing("register_cha_patch_list"); }
PENDING void squeeze_local_variable_index(codegen_context*) { cg_service_missing("squeeze_local_variable_index"); }
PENDING void create_sp_offset_info(codegen_context*, method_compile_context*, u4) { cg_service_missing("create_sp_offset_info"); }
PENDING void set_rmmi_info(codegen_context*) { cg_service_missing("set_rmmi_info"); }
PENDING u4 getNativeMethodGlueSize(methodblock*) { cg_service_missing("getNativeMethodGlueSize"); }
PENDING void gen_glue4interpreter(codegen_context*, u4) { cg_service_missing("gen_glue4interpreter"); }
PENDING void gen_method_pre_header(codegen_context*, method_compile_context*) { cg_service_missing("gen_method_pre_header"); }
PENDING void _gen_test_and_throw_exception(codegen_context*, int, int, int, int, int, int, u4, methodblock*, int) { cg_service_missing("_gen_test_and_throw_exception"); }
PENDING void gen_JNInativemethod_glue(codegen_context*, u4) { cg_service_missing("gen_JNInativemethod_glue"); }
PENDING void gen_change_execmode(codegen_context*, int) { cg_service_missing("gen_change_execmode"); }
PENDING void gen_copy_data_for_alias_local(codegen_context*) { cg_service_missing("gen_copy_data_for_alias_local"); }
PENDING void gen_copy_data_for_alias_local_nshrinklvar(codegen_context*) { cg_service_missing("gen_copy_data_for_alias_local_nshrinklvar"); }
PENDING s4 getFrameSizeWithoutLocals(codegen_context*) { cg_service_missing("getFrameSizeWithoutLocals"); }
PENDING u4 get_imm_long_op(codegen_context*, reg_operand*) { cg_service_missing("get_imm_long_op"); }
PENDING void gen_op_memop_i4(codegen_context*, int, memop*, s4) { cg_service_missing("gen_op_memop_i4"); }
PENDING void gen_op_memop_gr4(codegen_context*, int, memop*, u4) { cg_service_missing("gen_op_memop_gr4"); }
PENDING void gen_op_memop8_i8(codegen_context*, int, memop*, s4, s4) { cg_service_missing("gen_op_memop8_i8"); }
PENDING void gen_op_memop8_gr(codegen_context*, int, memop*, u4, u4) { cg_service_missing("gen_op_memop8_gr"); }
PENDING void spilloutin_fr_w_check(codegen_context*, int, int) { cg_service_missing("spilloutin_fr_w_check"); }

// Address-pattern handlers of the memory-operand tables.
#define HANDLER(name)                                                                              \
    PENDING int name(codegen_context*, memop*, reg_operand*, reg_operand*, quadruple**, int, int, int, int) \
    {                                                                                              \
        cg_service_missing(#name);                                                                 \
    }
HANDLER(getregs_sizeload)
HANDLER(getregs_xaload)
HANDLER(getregs_xgetfield)
HANDLER(getregs_xgetstatic)
HANDLER(getregs_ldc)
#undef HANDLER

// The run-time routine compiled code jumps to on an exception (run-time
// support); unreachable until compiled code exists.
extern "C" PENDING void _orva_ExceptionHandler(void) { cg_service_missing("_orva_ExceptionHandler"); }

// ---- driver records and services (present in the library) -------------------
PENDING u4 opc_info_quadruple[OPC_COUNT];
PENDING u4 compile_option_flag;
PENDING u4 compile_option2_flag;
PENDING work_pool* jit_wmem_init(u4) { return nullptr; }
PENDING void* jit_wmem_alloc(work_pool*, u4) { return nullptr; }
PENDING void jit_wmem_free(work_pool*) {}
PENDING void jit_code_mem_alloc(void** out, method_compile_context*, u4) { *out = nullptr; }
PENDING void jit_data_mem_alloc(void** out, method_compile_context*, u4) { *out = nullptr; }
PENDING void jit_code_mem_partial_free(void*, void*) {}
PENDING void create_cp2imf_info(codegen_context*, method_compile_context*, u4) {}
PENDING void create_exc_cp2imf_info(codegen_context*, method_compile_context*, u4) {}
PENDING int JITsetCatchFrame(method_compile_context*, const u4*) { return 0; }
PENDING u4 compile_option3_flag;
PENDING s4 orva_processor_type;
PENDING s4 orva_processor_mmx;
PENDING u1* fix_cp2imf_after_cs(codegen_context*, cp_node*, u1*) { cg_service_missing("fix_cp2imf_after_cs"); }
PENDING cp_node* register_inlined_method_frame(codegen_context*, u4, u1*, cp_node**)
{
    cg_service_missing("register_inlined_method_frame");
}

// ---- front end and optimizer services (register candidates, colouring) ------
PENDING u4 put_const_tbl(method_compile_context*, u4, const_candidate*, u4, u4, u4, u4) { cg_service_missing("put_const_tbl"); }
PENDING void remove_nop(method_compile_context*) { cg_service_missing("remove_nop"); }
PENDING int dataflow_Q_livevar(method_compile_context*, dataflow_pass_context*) { cg_service_missing("dataflow_Q_livevar"); }
