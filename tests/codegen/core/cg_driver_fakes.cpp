// Fakes for the code-generation driver tests: processor facts, work and code
// memory, a register manager that keeps nothing in registers, method glue
// that emits nothing, and generators for a handful of opcodes whose code is
// easy to run:
//   OPC_ICONST  mov eax, value (5 bytes)
//   OPC_ILOAD   `count` one-byte nops (padding of an exact size)
//   OPC_IOP2    add eax, value (imm8 form)
//   OPC_IFCMP   cmp eax, <second source> (the branch comes from the dispatcher)
//   OPC_IRETURN ret
// Every other generator stays the core's weak stand-in (soft failure).
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "cg_driver_fakes.h"

s4 orva_processor_type = 0;
s4 orva_processor_mmx = 0;
s4 orva_os_type = 12;
u4 orva_tla_mask = 0xFFFF0000u;

fake_state fakes;

// ---- work memory and code memory ------------------------------------------
work_pool* jit_wmem_init(u4)
{
    if (fakes.fail_wmem_init > 0 && --fakes.fail_wmem_init == 0)
        return nullptr;
    return static_cast<work_pool*>(calloc(1, sizeof(work_pool)));
}
void* jit_wmem_alloc(work_pool*, u4 size) { return calloc(1, size ? size : 1); }
void jit_wmem_free(work_pool* p) { free(p); }

static u1* code_area;
static u4 code_used;

void jit_code_mem_alloc(void** out, method_compile_context*, u4 size)
{
    fakes.code_allocs++;
    if (code_area == nullptr) {
        code_area = static_cast<u1*>(mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE | PROT_EXEC,
                                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    }
    code_used = (code_used + 15) & ~15u;
    *out = code_area + code_used;
    memset(code_area + code_used, 0xF4, size + 64);   // hlt: a stray jump faults
    code_used += size + 64;
    fakes.last_alloc_size = size;
}
void jit_code_mem_partial_free(void*, void*) {}

int JITsetCatchFrame(method_compile_context*, const u4*)
{
    fakes.catch_frames++;
    return 0;
}

extern "C" void _orva_ExceptionHandler(void) {}

// The glue's stack-depth records (the real ones need a thread record).
sp_offset_info* update_sp_offset_table(codegen_context*, s2) { return nullptr; }

// ---- register manager: nothing cached ---------------------------------------
int initialize_reg_alloc(codegen_context*, work_pool*) { return 0; }
void prepare_reg_alloc(codegen_context*) {}
void finalize_reg_alloc(codegen_context*) {}
void free_saved_register_info(codegen_context*) {}
void BB_reg_initialize(codegen_context*, int) {}
void BB_reg_finalize(codegen_context*, int, int, int) {}
void BB_set_register_info(codegen_context*, int, int, int) {}
void BB_change_register_info(codegen_context* cg, int from, int to)
{
    // A test may ask for reconciliation code on one edge: one nop per byte.
    if (from == fakes.reconcile_from && to == fakes.reconcile_to)
        for (int i = 0; i < fakes.reconcile_bytes; i++)
            _gen_nop(cg, 1);
}
void BB_change_register_info_before_branch(codegen_context*, int, int) {}
static register_info fake_ri;
register_info* save_register_info(codegen_context*) { return &fake_ri; }
void restore_register_info(codegen_context*, register_info*) {}
void free_register_info(codegen_context*, register_info*) {}
int invalidate_target_bb(codegen_context*, int) { return -1; }
u4 used_int_cache_regs(codegen_context*, int) { return 0; }
u4 used_fp_cache_regs(codegen_context*, int) { return 0; }
void _invalidate_int_cache_regs(codegen_context*, u4) {}
void _invalidate_fp_cache_regs(codegen_context*, u4) {}
void _exit_invalidate_dead_cache_regs(codegen_context*, int) {}
u4 _load_lazy_registers(codegen_context*, u4*, u4*) { return 0; }
void flush_cache_innermost_loop(codegen_context*, int, int) {}
void _TICK(codegen_context*, quadruple**, int) {}
int _num_of_free_int_regs(codegen_context*, int) { return 3; }
int is_cached_int_oprnd(codegen_context*, const reg_operand*) { return 0; }
int is_cached_fp_oprnd(codegen_context*, const reg_operand*) { return 0; }
int query_int_oprnd(codegen_context*, const reg_operand*) { return -1; }

// ---- method glue and tails: nothing ----------------------------------------
void adjust_method_entry_point(codegen_context*, methodblock*, u4*) {}
void gen_method_prolog(codegen_context*, u4*) {}
u4 gen_fp_decide_precision(codegen_context*) { return 0; }
u4 gen_fp_set_mode(codegen_context*, u4) { return 0; }
void init_cha_patch(codegen_context*) {}
void init_slow_sync(codegen_context*) {}
void init_invokevirtualobject(method_compile_context*) {}
void init_invoke_back_patch(method_compile_context*) {}
void init_class_cache(method_compile_context*) {}
void init_resolve_backpatch_anchor(method_compile_context*) {}
void init_allocation_slow_path_anchor(method_compile_context*) {}
void init_invalid_fop_exception(method_compile_context*) {}
void init_gen_datatable(method_compile_context*) {}
void init_test_and_throw_exception(codegen_context*) {}
int init_invokeinterface_before_1st_pass(codegen_context*, void*, void*) { return fakes.iface_fails; }
void init_invokeinterface_before_2nd_pass(codegen_context*, void*) {}
void gen_call_allocation_slow_path(codegen_context*) {}
void gen_call_rtlib_to_throw_exception(codegen_context*, int, int) {}
void gen_invoke_initial_target(method_compile_context*, codegen_context*) {}
void gen_call_rtlib_in_class_cache_miss(codegen_context*) {}
void gen_call_runtime_resolver(codegen_context*) {}
void gen_invalid_fop_recovery(codegen_context*) {}
void gen_datatable(codegen_context*) {}
void gen_slow_sync_target(codegen_context*) {}
void gen_cha_patch(codegen_context*, u1*) {}
void gen_guess_and_load_mb(codegen_context*) {}
void register_chapatch_info_to_patched_bb(method_compile_context*) {}
void register_cha_patch_list(codegen_context*, bbattr**, u4) {}
void set_rmmi_info(codegen_context*) {}

// ---- generators ---------------------------------------------------------------
int gen_move_II(codegen_context* cg, quadruple** slot, cg_operands*)
{
    quadruple* q = *slot;
    if (q->opcode == OPC_ILOAD) {
        cg_close_window(cg);   // raw bytes: outside a scheduling window
        for (int i = 0; i < q->count; i++)
            _gen_nop(cg, 1);
        cg_open_window(cg);
        return 0;
    }
    gen_move_gr_i4_5bytes(cg, GR_EAX, (s4)q->value);
    return 0;
}

// The conversions record the operands they were handed.
int gen_I2F(codegen_context*, quadruple**, cg_operands* o)
{
    fakes.conv_generator = "gen_I2F";
    fakes.conv_ops = *o;
    return 0;
}
int gen_L2F(codegen_context*, quadruple**, cg_operands* o)
{
    fakes.conv_generator = "gen_L2F";
    fakes.conv_ops = *o;
    return 0;
}

int gen_op2_III(codegen_context* cg, quadruple** slot, cg_operands*)
{
    jit_assert(cg->pass != fakes.broken_invariant_pass);
    gen_arithmetic_gr_i4(cg, ALU_ADD, GR_EAX, (s4)(*slot)->value);
    return 0;
}

int gen_cmp_II(codegen_context* cg, quadruple**, cg_operands* o)
{
    fakes.last_cmp_a = o->r[2];
    fakes.last_cmp_b = o->r[4];
    gen_cmp_gr_i4(cg, GR_EAX, (s4)o->r[4].value);
    return 0;
}

int gen_method_ireturn(codegen_context* cg, quadruple**, cg_operands*)
{
    cg_close_window(cg);
    _gen_ret(cg);
    return 0;
}

// ---- frame services of the method glue ----------------------------------------
s4 getFrameSizeWithoutLocals(codegen_context*) { return 0; }
void squeeze_local_variable_index(codegen_context* cg) { cg->frame_locals = cg->mb->nlocals; }
void create_sp_offset_info(codegen_context*, method_compile_context*, u4) {}
void fix_sp_table_after_cs(codegen_context*, sp_offset_info*, u1*) {}
u1* fix_cp2imf_after_cs(codegen_context* cg, cp_node*, u1*) { return cg->mci->code_start; }
cp_node* register_inlined_method_frame(codegen_context*, u4, u1*, cp_node**) { return nullptr; }

// Integer registers: the lowest free manager index in the mask.
int _alloc_int_reg(codegen_context*, u4 mask, int avoid)
{
    for (int r = 0; r < 7; r++)
        if ((mask & ~(u4)avoid) & (1u << r))
            return r;
    return -1;
}
void _free_int_reg(codegen_context*, int, int, int, int) {}
int _assoc_int_oprnd(codegen_context*, const reg_operand*, int, int, int) { return 0; }

// Register preferences belong to the inlining subsystem: the choice is kept.
int optim_set(codegen_context*, int reg, const void*) { return reg; }
