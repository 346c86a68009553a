// One code-generation pass: emits the whole method once, in a fixed order.
//
//   entry pre-header | prologue | main body (depth-first order without its
//   first and last entries) | each exception handler's block list | the
//   out-of-line tails | [jmp _orva_ExceptionHandler] | nop padding to 4 |
//   0xCCCCCCCC | method block
//
// The driver runs it as pass 1 (measure: every emitter adds its length to
// code_size, nothing advances) and as pass 2 (write).  Both passes make the
// same calls in the same order, so sizes and positions recorded in pass 1
// hold in pass 2.  The register manager's per-pass state lives in a 360-byte
// pool that dies with the pass.
#include <stdio.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"

// Scheduling window: closed around every exact code position.
void cg_close_window(codegen_context* cg)
{
    if ((cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN) {
        cg->flags &= ~CG_SCHED_WINDOW_OPEN;
        cg->code = cs_bb_finalize(cg);
    }
}

void cg_open_window(codegen_context* cg)
{
    if ((cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == 0) {
        cg->flags |= CG_SCHED_WINDOW_OPEN;
        cs_bb_initialize(cg, cg->code);
    }
}

static void reset_block_states(codegen_context* cg, method_compile_context* m)
{
    bb_link* links = static_cast<bb_link*>(cg->link_table);
    for (u4 b = 0; b + 1 < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        bb->flags &= ~BB_GENERATED;
        bb->entry_state &= ~0xFFu;
        if (links != nullptr) {
            links[b].saved = nullptr;
            links[b].waiting = 0;
            links[b].bp2 = nullptr;
            links[b].pending = 0;
        }
    }
    for (u4 b = 1; b + 1 < m->bb_count; b++)
        if (m->bb_table[b]->flags & BB_DEAD)
            m->bb_table[b]->tile_number = 0;
}

static void gen_tails(codegen_context* cg, method_compile_context* m)
{
    // The out-of-line code is written at exact positions, some of it (the
    // monitor slow paths) by the raw emitters: a window the last block left
    // open (a returning block leaves it open) is closed first, or that code
    // would go into the scheduler's scratch slot.
    cg_close_window(cg);
    gen_bb_linkage(cg, 1);
    gen_call_allocation_slow_path(cg);
    gen_call_rtlib_to_throw_exception(cg, 0, 0);
    gen_invoke_initial_target(m, cg);
    gen_call_rtlib_in_class_cache_miss(cg);
    gen_call_rtlib_to_throw_exception(cg, 0, 0);
    gen_call_runtime_resolver(cg);
    gen_invalid_fop_recovery(cg);
    gen_datatable(cg);
    gen_slow_sync_target(cg);
    gen_call_rtlib_to_throw_exception(cg, 0, 0);
    gen_cha_patch(cg, cg->pass == CG_PASS_WRITE ? cg->mci->code_start : nullptr);
}

s4 gen_method_code_pass(codegen_context* cg, method_compile_context* m, u2 pass, u1** entry_out, u4* entry_pad)
{
    work_pool* pool = jit_wmem_init(360);
    if (pool == nullptr) {
        fprintf(stderr, "JIT GENCODE: Out of Memory (2)\n");
        return -1;
    }
    cg->pass = pass;
    cg->cur_bb = 0;
    adjust_method_entry_point(cg, cg->mb, entry_pad);
    if (pass == CG_PASS_WRITE && entry_out != nullptr)
        *entry_out = cg->code;
    initialize_reg_alloc(cg, pool);
    reset_block_states(cg, m);

    init_cha_patch(cg);
    init_slow_sync(cg);
    init_invokevirtualobject(m);
    init_invoke_back_patch(m);
    init_class_cache(m);
    init_resolve_backpatch_anchor(m);
    init_allocation_slow_path_anchor(m);
    init_invalid_fop_exception(m);
    init_gen_datatable(m);
    init_test_and_throw_exception(cg);
    init_use_regs(cg);
    u4 prec = gen_fp_decide_precision(cg);

    setup_BB0_reginfo(cg);
    cg->cur_bb = 0;
    prepare_reg_alloc(cg);
    gen_method_prolog(cg, entry_pad);
    bbattr* bb0 = m->bb_table[0];
    BB_reg_finalize(cg, 0, bb0->succ_count != 0 ? (int)bb_succ_block(bb0->succ[0]) : 1, 1);
    gen_fp_set_mode(cg, prec);

    int failed = 0;
    if (m->dfs_count >= 2) {
        bbattr* first = m->bb_table[m->dfs_array[1]];
        first->entry_state = (first->entry_state & ~0xFFu) | 1;
        first->entry_stack_offset = (u2)cg->mci->sp_offset;
        if (m->dfs_count > 2 && gen_code_for_bb_list(cg, m->dfs_array + 1, (s4)m->dfs_count - 2) == 1)
            failed = 1;
    }
    if (!failed) {
        gen_fp_set_mode(cg, 1024);
        auto* handlers = static_cast<handler_block_lists*>(m->handler_lists);
        for (u4 h = 0; handlers != nullptr && h < handlers->count && !failed; h++)
            if (gen_code_for_bb_list(cg, handlers->list[h].blocks, (s4)handlers->list[h].block_count) == 1)
                failed = 1;
    }
    if (failed) {
        free_saved_register_info(cg);
        jit_wmem_free(pool);
        return -1;
    }

    cg->cur_bb = 0;
    gen_tails(cg, m);

    if (cg->mb->exception_table_length != 0) {
        cg_close_window(cg);
        if (cg->mci->handler_entry_slot != nullptr)
            *cg->mci->handler_entry_slot = (u4)(uintptr_t)cg->code;
        cg->mci->handler_entry = cg->code;
        _gen_jmpcc(cg, COND_ALWAYS, (u4)(uintptr_t)&_orva_ExceptionHandler, 2);
        cg_open_window(cg);
    }
    cg_close_window(cg);
    _make_code_align(cg, 0, 4);
    _gen_addr(cg, 0xCCCCCCCCu);
    _gen_addr(cg, (u4)(uintptr_t)cg->mb);
    cg_open_window(cg);

    free_saved_register_info(cg);
    finalize_reg_alloc(cg);
    jit_wmem_free(pool);
    return (s4)cg->code_size;
}
