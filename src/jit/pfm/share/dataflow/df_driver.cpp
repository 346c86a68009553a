// The two optimizer pass drivers.
//
// `bytecode_optimization` runs after the front end has cut the method into
// blocks: the inlining transformations, field privatization and the analyses
// over the bytecode-level instruction records, then it puts one empty block
// between the entry block and the method's first block (the entry pad, block
// 1 after renumbering) and rebuilds the DFS list.  It answers 1 for success.
//
// `quadruple_optimization` generates the quadruples and runs every quadruple
// pass in one fixed order: a first round, a cycle of null-check, array-check
// and commoning passes that always runs its full count (three repetitions,
// four when the method has loops), the late passes and the attribute tables
// the code generator reads.  A pass that answers 1 makes the driver store the
// pass's numbered error code, clear the quadruple-form bit and answer 1 at
// once.  Each pass tests its own option bit and environment switch; the
// gates shown here are the ones the driver tests itself.
//
// Both drivers own their pass context and its two arenas for the call.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"
#include "loop/loop.h"

namespace {

bool has_loops(const method_compile_context* m) { return m->loop_count > 0; }

bool exception_entries_or_regions(const method_compile_context* m)
{
    return (m->mb != nullptr && m->mb->exception_table_length > 0) || m->subroutine_count > 0;
}

// The inlining analysis chose call sites to expand: the classification keeps
// the copied call-site list of the root only then.
bool inlining_candidates(const method_compile_context* m)
{
    return m->inlining != nullptr && m->inlining->root_calls != nullptr;
}

bool privatization_gates(const method_compile_context* m)
{
    return !(compile_option_flag & OPT1_NPRIVATIZE) && has_loops(m) && !(m->mb->access & ACC_STATIC)
           && !(m->state_flags & MCC_RECEIVER_NOT_FIXED);
}

// Step 5 and 9: apply pending code insertions.  False when renumbering fails.
bool apply_insertions(method_compile_context* m, int* regenerate)
{
    if ((compile_option_flag & OPT1_NBBRENUMBERING) || mcc_cins_list(m) == nullptr)
        return true;
    if (bb_renumbering(m, 0) == 0)
        return false;
    *regenerate = 1;
    return true;
}

bool is_class_initializer(const methodblock* mb)
{
    return mb->name != nullptr && strcmp(mb->name, "<clinit>") == 0;
}

void run_bytecode_analyses(method_compile_context* m, dataflow_pass_context* pc, int* regenerate)
{
    dataflow_classflow(m, pc);
    if (!(compile_option2_flag & OPT2_NDFPRIVATIZE) && m->subroutine_count == 0) {
        if (m->local_count > 0) {
            m->state_flags &= ~MCC_NULLCHECK_SKIPPED;
            dataflow_nullcheck(m, pc);
        }
        dataflow_privatize(m, pc);
    }
    if (m->local_count > 0) {
        dataflow_typeflow(m, pc);
        m->state_flags &= ~MCC_NULLCHECK_SKIPPED;
        dataflow_nullcheck(m, pc);
        dataflow_arraycheck(m, pc);
    }
    if (pc->flags & DFP_FLOW_CHANGED)
        *regenerate = 1;
    if (pc->flags & DFP_NOPS_TO_REMOVE)
        remove_nop(m);
}

// The driver's private half; 0 on success, 1 on failure.  The two trailing
// arguments of the pipeline are not used.
int run_bytecode_dataflow_passes(method_compile_context* m, int, EE*)
{
    int regenerate = 0;
    u4 extra_blocks = 0;
    if (!(compile_option_flag & OPT1_NINLINING) && inlining_candidates(m) && mi2_driver(m) != 0)
        return 1;
    if (privatization_gates(m))
        calcurate_space_fpr_field_privatization(m, &extra_blocks);
    // Room for privatization's blocks and the entry pad added at the end.
    table_expansion(m, extra_blocks + 1, 0, 0, 0, 0, 0, &regenerate);
    if (privatization_gates(m) && m->invocation_count == 0 && do_field_privatization(m, &regenerate) == 0)
        return 1;
    if (!apply_insertions(m, &regenerate))
        return 1;
    m->state_flags |= MCC_STMT_CHAINS_NOT_KEPT | MCC_NULLCHECK_SKIPPED;
    if (m->local_count > 64)
        m->state_flags |= MCC_MANY_LOCALS;
    else
        m->state_flags &= ~MCC_MANY_LOCALS;

    if (!(compile_option_flag & OPT1_NDATAFLOW) && !(m->state_flags & MCC_BYTECODE_ANALYSES_OFF)
        && !is_class_initializer(m->mb) && (m->bb_count > 3 || m->total_quad_count > 50)) {
        if (regenerate && generate_dfs_list(m) == 0)
            return 1;
        u4 locals = m->local_count;
        update_maxstack_and_nlocals(m, nullptr);
        dataflow_pass_context pc;
        df_init_pass_context(m, &pc);
        pc.flags = DFP_BYTECODE_INITIAL;
        pc.local_count = locals;
        run_bytecode_analyses(m, &pc, &regenerate);
    }
    update_maxstack_and_nlocals(m, nullptr);
    if (!apply_insertions(m, &regenerate))
        return 1;
    if (has_loops(m))
        sort_and_renumber_loops(m);
    if (regenerate && generate_dfs_list(m) == 0)
        return 1;
    if (has_loops(m) && m->dfs_count != m->bb_count)
        eliminate_unreachable_bb_from_loop_table(m);
    return 0;
}

quadruple* fresh_quadruple(method_compile_context* m)
{
    quadruple* q = mcc_quad_free_list(m);
    if (q != nullptr) {
        quadruple* next;
        memcpy(&next, q, sizeof next);
        mcc_set_quad_free_list(m, next);
    }
    else
        q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    return q;
}

// Puts one empty block between block 0 and its first successor; it becomes
// block 1 when the insertion is applied.  0 on failure.
int insert_entry_pad(method_compile_context* m)
{
    int moved = 0;
    table_expansion(m, 1, 0, 0, 0, 0, 0, &moved);
    u4 n = m->bb_count;
    bbattr* entry = m->bb_table[0];
    bbattr* terminal = m->bb_table[n - 1];
    if (entry->succ_count == 0)
        return 0;
    u4 old_first = entry->succ[0];
    bbattr* pad = allocate_a_bbattr(m, n - 1, 0, 0, 1, 1);
    if (pad == nullptr)
        return 0;
    pad->loop_depth = 0;
    pad->loop_index = -1;
    pad->mb = m->mb;
    pad->local_count = m->local_count;
    pad->stack_word = m->max_stack;
    quadruple* q = fresh_quadruple(m);
    if (q == nullptr)
        return 0;
    quad_clear_fresh(q, -1);
    q->subcode = OTHER_NOP_DELETED;
    q->context = reinterpret_cast<u4>(m->mb);
    pad->catbl[0] = q;
    m->total_quad_count++;
    m->bb_table[n - 1] = pad;
    if (gen_cins_info(m, 0, static_cast<s4>(n - 1), static_cast<s4>(n - 1), CINS_AFTER) == 0)
        return 0;
    pad->succ[0] = m->bb_table[old_first]->id;
    entry->succ[0] = n - 1;
    bbattr* header = m->bb_table[old_first];
    if ((header->flags & BB_LOOP_HEADER) && (header->flags & BB_LOOP_MEMBER) && header->loop_index >= 0
        && static_cast<u4>(header->loop_index) < m->loop_count)
        relink_loop_pre_entry_links(mcc_loop(m, static_cast<u4>(header->loop_index)), header, n - 1, 0);
    relink_terminal_link(m, terminal, n);
    m->bb_count = n + 1;
    if (bb_renumbering(m, 0) == 0)
        return 0;
    return generate_dfs_list(m) != 0;
}

// Steps 19 and 20: the attribute tables of the blocks, or, for a method
// without a local-variable table, cleared attribute fields.  Returns the
// error code, 0 on success.
int attribute_tables(method_compile_context* m)
{
    m->state_flags |= MCC_LVAR_TABLES_BUILT;
    if (allocate_lvattr_tbl(m, m->bb_table[0]) == 1)
        return QOPT_ERR_LVATTR_ENTRY;
    if (!(m->state_flags & MCC_NO_LVAR_TABLE)) {
        for (u4 i = 1; i + 1 < m->bb_count; i++)
            if (allocate_lvattr_tbl(m, m->bb_table[i]) == 1)
                return QOPT_ERR_LVATTR_BLOCK;
        return 0;
    }
    for (u4 i = 0; i < m->loop_count; i++) {
        loop_table_record* loop = mcc_loop(m, i);
        loop->lvattr_table = nullptr;
        loop->lvattr_count = 0;
        loop->lvattr_table2 = nullptr;
        loop->lvattr_count2 = 0;
    }
    // The subroutine records carry no attribute table.
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bb_lvattr_list(m->bb_table[i]) = 0;
        bb_lvattr_count(m->bb_table[i]) = 0;
    }
    return 0;
}

void drop_visiting_order(dataflow_pass_context* pc)
{
    pc->order = nullptr;
    pc->order_count = 0;
}

// Step 10: the passes skipped for a restricted-optimization method.  Returns
// the error code, 0 on success.
int first_quadruple_passes(method_compile_context* m, dataflow_pass_context* pc)
{
    pc->flags |= DFP_PROPAGATE_CONST;
    if (dataflow_Q_copypropa(m, pc, 1) == 1)
        return QOPT_ERR_COPYPROPA;
    if (dataflow_Q_deadstore(m, pc) == 1)
        return QOPT_ERR_DEADSTORE;
    remove_nop(m);
    pc->flags |= DFP_LVAR_SHRUNK;
    if (do_shrinking_quadruple(m, pc) == 1)
        return QOPT_ERR_SHRINK;
    if (exception_entries_or_regions(m))
        pc->flags |= DFP_DEADSTORE_WANTED;
    Initialize_lvar_characteristics(m, pc);
    if (dataflow_Q_eliminate_explicit_nullcheck(m, pc) == 1)
        return QOPT_ERR_EXPLICIT_NULL;

    // The repeat cycle always runs its full count.
    int copypropa_repeated = 0;
    int repetitions = has_loops(m) ? 4 : 3;
    for (int r = 0; r < repetitions; r++) {
        if (pc->flags & DFP_FLOW_CHANGED) {
            pc->flags &= ~DFP_FLOW_CHANGED;
            drop_visiting_order(pc);
            regenerate_dfs_list(m);
        }
        if (dataflow_Q_nullcheck(m, pc) == 1)
            return QOPT_ERR_NULLCHECK;
        if (dataflow_Q_arraycheck(m, pc) == 1)
            return QOPT_ERR_ARRAYCHECK;
        if (dataflow_Q_commoning(m, pc) == 1)
            return QOPT_ERR_COMMONING;
        if (pc->flags & DFP_COPYPROPA_WANTED) {
            copypropa_repeated = 1;
            if (dataflow_Q_copypropa(m, pc, 0) == 1)
                return QOPT_ERR_COPYPROPA_CYCLE;
            if ((pc->flags & DFP_DEADSTORE_WANTED) && dataflow_Q_deadstore(m, pc) == 1)
                return QOPT_ERR_DEADSTORE_CYCLE;
        }
    }
    if (copypropa_repeated && dataflow_Q_copypropa(m, pc, 0) == 1)
        return QOPT_ERR_COPYPROPA_FINAL;
    if ((pc->flags & DFP_DEADSTORE_WANTED) && dataflow_Q_deadstore(m, pc) == 1)
        return QOPT_ERR_DEADSTORE_AFTER;
    pc->movecopy_word = 0;
    if (dataflow_Q_movecopy(m, pc) == 1)
        return QOPT_ERR_MOVECOPY;
    if (dataflow_Q_bwd_copypropa(m, pc) == 1)
        return QOPT_ERR_BWD_COPYPROPA;
    if (!(compile_option_flag & OPT1_NLOOPVERSIONING) && !(compile_option2_flag & OPT2_NLOPT2)
        && do_loop_optimization2(m, pc) == 0)
        return QOPT_ERR_LOOPOPT;
    if (coloring_driver(m, pc) == 1)
        return QOPT_ERR_COLORING;
    if (exception_entries_or_regions(m))
        pc->flags |= DFP_DEADSTORE_WANTED;
    Initialize_lvar_characteristics(m, pc);
    if ((pc->flags & DFP_DEADSTORE_WANTED) && dataflow_Q_deadstore(m, pc) == 1)
        return QOPT_ERR_DEADSTORE_COLOR;
    remove_nop(m);
    if (bb_goto_elimination(m) != 0)
        drop_visiting_order(pc);
    if (!(compile_option_flag & OPT1_NDATAFLOW)) {
        dataflow_Q_reachdef(m, pc);
        dataflow_Q_UD_DU(m, pc);
        dataflow_Q_syncopt(m, pc);
        if (pc->flags & DFP_FLOW_CHANGED) {
            pc->flags &= ~DFP_FLOW_CHANGED;
            drop_visiting_order(pc);
            regenerate_dfs_list(m);
        }
    }
    m->state_flags |= MCC_REACHDEF_STALE;
    return 0;
}

// Steps 1 to 28; returns the error code, 0 on success.
int run_quadruple_passes(method_compile_context* m)
{
    Initialize_const_table(m);
    if (generate_quadruple(m) == 1)
        return QOPT_ERR_GENERATE;
    m->state_flags |= MCC_REACHDEF_STALE;
    if (cha_opt(m) == 1)
        return QOPT_ERR_CHA;
    int straightened = 0;
    if (bb_straightening(m, 1, &straightened) == 1)
        return QOPT_ERR_STRAIGHTEN;
    m->optimizer_byte |= MCC_STAGE_STRAIGHTENED;
    if (straightened) {
        if (regenerate_dfs_list(m) == 0)
            return QOPT_ERR_DFS;
        if (has_loops(m) && eliminate_unreachable_bb_from_loop_table(m) == 0)
            return QOPT_ERR_UNREACHABLE_LOOPS;
    }
    dataflow_pass_context pc;
    df_init_pass_context(m, &pc);
    Initialize_lvar_characteristics(m, &pc);
    if (!(m->state_flags & MCC_RESTRICTED_OPT)) {
        int error = first_quadruple_passes(m, &pc);
        if (error != 0)
            return error;
    }
    if (TransformForArchitecture(m, &pc) == 1)
        return QOPT_ERR_ARCH;
    dataflow_Q_nullexception_propa(m, &pc);
    if (m->state_flags & MCC_REACHDEF_STALE) {
        if (!(m->state_flags & MCC_RESTRICTED_OPT))
            dataflow_Q_deadstore(m, &pc);
        remove_nop(m);
        dataflow_Q_reachdef(m, &pc);
    }
    if (generate_Q_lvar_tbl(m) == 1)
        return QOPT_ERR_LVAR_TBL;
    m->state_flags &= ~MCC_LIVENESS_UNAVAILABLE;
    if (dataflow_Q_livevar(m, &pc) == 1)
        return QOPT_ERR_LIVEVAR;
    if (add_and_allocate_color(m) == 1)
        return QOPT_ERR_COLOR;
    if (dataflow_athrow(m, &pc) == 1)
        return QOPT_ERR_ATHROW;
    int error = attribute_tables(m);
    if (error != 0)
        return error;
    if (!(compile_option_flag & OPT1_NDATAFLOW) && !(m->state_flags & MCC_RESTRICTED_OPT)) {
        m->state_flags &= ~MCC_MEANTIME_ABSENT;
        if (dataflow_Q_meantime(m, &pc) == 1)
            return QOPT_ERR_MEANTIME;
    } else {
        m->state_flags |= MCC_MEANTIME_ABSENT;
    }
    if (dataflow_Q_spoptimize(m) == 1)
        return QOPT_ERR_SPOPTIMIZE;
    if (!(m->state_flags & MCC_RESTRICTED_OPT))
        dataflow_Q_calldom(m, &pc);
    dataflow_Q_delayed_index(m);
    for (u4 i = 0; i < m->bb_count; i++)
        if (!(m->bb_table[i]->flags & BB_DEAD))
            bb_constraint_word(m->bb_table[i]) = 0;
    if (dataflow_Q_constraint_back_propa(m, &pc) == 1)
        return QOPT_ERR_CONSTRAINT;
    if (propagate_non_rare_path_with_dfs_search(m) == 1)
        return QOPT_ERR_RARE_PATH;
    return 0;
}

} // namespace

u4 df_arena_size(u4 block_count) { return block_count > DF_ARENA_LARGE_BLOCKS ? DF_ARENA_SIZE_LARGE : DF_ARENA_SIZE; }

void df_init_pass_context(method_compile_context* m, dataflow_pass_context* pc)
{
    memset(pc, 0, sizeof *pc);
    u4 size = df_arena_size(m->bb_count);
    pc->arena1_base = static_cast<u1*>(jit_wmem_alloc(m->pool1, size));
    pc->arena1_size = size;
    pc->arena1_free = size;
    pc->arena2_base = static_cast<u1*>(jit_wmem_alloc(m->pool1, size));
    pc->arena2_size = size;
    pc->arena2_left = size;
}

int bytecode_optimization(method_compile_context* m, int flag, EE* ee)
{
    if (run_bytecode_dataflow_passes(m, flag, ee) == 1)
        return 0;
    if (!(m->state_flags & MCC_BYTECODE_ANALYSES_OFF) && insert_entry_pad(m) == 0)
        return 0;
    set_compile_status_for_method_inlining(m);
    return 1;
}

int quadruple_optimization(method_compile_context* m, int* error)
{
    int code = run_quadruple_passes(m);
    if (code == 0) {
        jit_wmem_reset(m->pool2);
        return 0;
    }
    *error = code;
    m->state_flags &= ~MCC_QUAD_FORM;
    return 1;
}
