// The compile pipeline.
//
// `JITGenNativeCode` runs one compile attempt of one bytecode method through
// its phases in a fixed order: context set-up, the attempt's option
// adjustments, the front end, the bytecode optimizations, quadruple
// generation with the stack pre-allocation, the quadruple optimizations, the
// block-order preparation and code generation.  Every phase answers its
// failure by its result (the bytecode optimizations answer nonzero for
// success); the first failure frees the scratch pool and the workspace and
// ends the attempt with 1.  Work-memory exhaustion inside a phase leaves by
// longjmp to the driver instead, which cleans up the thread's pools.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "inline/inline.h"

extern const char* cg_missing_service;     // codegen: the generator or service that stopped it

namespace {

// Offsets of the facts carried into a loop record (the loop optimizer's) or a
// 24-byte tile record (the register manager's) before code generation.  Both
// owners keep their records' first three bytes and 16-bit value here.
constexpr u4 CARRY_FIRST_BYTE = 0;      // tile: bit 0x01 = the block makes calls
constexpr u4 CARRY_FLAG_BYTE = 1;       // bit 0x80 = a block lies in a try range
constexpr u4 CARRY_NEXT_BYTE = 2;       // bit 0x08 = flags2 0x20 seen; bit 0x02 = flags 0x1000 seen
constexpr u4 CARRY_VALUE = 4;           // raised to the block's 16-bit value
constexpr u4 TILE_RECORD_SIZE = 24;

constexpr u4 OPT1_ALL_OFF = 0x75FFFFFEu;    // every word-1 optimization off
constexpr u4 OPT2_ALL_OFF = 0xFFEFFFFEu;    // all of word 2 but UNWIND_STACK and NCHA

EE* current_ee() { return vm.EE != nullptr ? vm.EE() : nullptr; }
const char* class_name_of(const methodblock* mb) { return mb->clazz != nullptr ? mb->clazz->name : "?"; }

void all_optimizations_off()
{
    compile_option_flag |= OPT1_ALL_OFF;
    compile_option2_flag |= OPT2_ALL_OFF;
    compile_option3_flag = 0xFFFFFFFFu;
}

bool live_block(const bbattr* b) { return !(b->flags & BB_DEAD); }

const quadruple* last_quadruple(const bbattr* b)
{
    for (u4 i = b->quad_count; i-- > 0;)
        if (!(b->catbl[i]->opcount & QC_DELETED))
            return b->catbl[i];
    return nullptr;
}

void debug_selector(method_compile_context* m)
{
    methodblock* mb = m->mb;
    if (skipsubopt <= SKIPSUB_OFF || !matching_skipcbname_skipmbname(class_name_of(mb), mb->name))
        return;
    m->selector |= static_cast<u4>(skipsubopt);
    if (skipsubopt == SKIPSUB_NBCOPT) {
        printf("Stopped Optimizing [%s][%s]\n", class_name_of(mb), mb->name);
        all_optimizations_off();
    }
    if (skipsubopt >= SKIPSUB_FIRST_BIT_ROW) {
        int bit = skipsubopt - SKIPSUB_FIRST_BIT_ROW;
        u4* words[3] = {&compile_option_flag, &compile_option2_flag, &compile_option3_flag};
        *words[bit / 32] |= 1u << (bit % 32);
    }
    if (skipsubopt > SKIPSUB_NBCOPT)
        printf("Stopped %s for [%s][%s]\n", skipsubopt_array[skipsubopt], class_name_of(mb), mb->name);
}

void carry_block_facts(method_compile_context* m, bbattr* b)
{
    u1* record = nullptr;
    bool tile = false;
    if ((b->flags & BB_KIND_MASK) == BB_KIND_LOOP) {
        if (m->loop_table != nullptr && b->loop_index >= 0)
            record = static_cast<u1*>(m->loop_table[b->loop_index]);
    } else if (b->tile_number != 0 && m->tile_table != nullptr) {
        record = m->tile_table + (b->tile_number - 1) * TILE_RECORD_SIZE;
        tile = true;
    }
    if (record == nullptr)
        return;
    if (b->flags & BB_IN_TRY)
        record[CARRY_FLAG_BYTE] |= 0x80;
    if (b->flags2 & BB2_HOLDS_CALL) {
        record[CARRY_NEXT_BYTE] |= 0x08;
        m->state_flags |= MCC_TILE_CARRY;
    }
    if (b->flags & BB_HOLDS_CALL_KIND)
        record[CARRY_NEXT_BYTE] |= 0x02;
    if (tile && b->invocation_count != 0)
        record[CARRY_FIRST_BYTE] |= 0x01;
    u2 value;
    memcpy(&value, record + CARRY_VALUE, 2);
    if (b->carry_value > value)
        memcpy(record + CARRY_VALUE, &b->carry_value, 2);
}

void clear_visited(method_compile_context* m)
{
    for (u4 i = 1; i + 1 < m->bb_count; i++)
        if (live_block(m->bb_table[i]))
            m->bb_table[i]->flags &= ~BB_VISITED;
}

// The pipeline's failure exit; `phase` names the phase that failed when no
// deeper reason was recorded.
int fail(method_compile_context* m, const char* phase)
{
    jit_note_giveup(phase);
    if (m->pool2 != nullptr) {
        jit_wmem_free(m->pool2);
        m->pool2 = nullptr;
    }
    jit_fast_compile_free_workspace(m);
    return 1;
}

} // namespace

int init_method_compile_context(method_compile_context** holder, methodblock* mb, method_compile_context* outer,
                                EE* ee)
{
    work_pool* pool1 = jit_wmem_init(0);
    if (pool1 == nullptr)
        return 1;
    method_compile_context* m = *holder;
    bool in_pool = m == nullptr;
    if (in_pool) {
        // Contexts of unfolded bodies live in their pool; the root lives in
        // the driver's frame.
        m = static_cast<method_compile_context*>(jit_wmem_alloc(pool1, sizeof(method_compile_context)));
        memset(m, 0, sizeof *m);
        *holder = m;
    }
    m->root = outer != nullptr ? outer->root : m;
    m->pool1 = pool1;
    m->pool2 = jit_wmem_init(0);
    if (m->pool2 == nullptr) {
        jit_wmem_free(pool1);
        m->pool1 = nullptr;
        if (in_pool)
            *holder = nullptr;
        return 1;
    }
    m->mb = mb;
    m->max_stack = mb->maxstack;
    m->local_count = mb->nlocals;
    m->total_quad_count = 0;
    m->switch_target_total = 0;
    m->bb_count = 0;
    m->bb_capacity = 0;
    m->bb_table = nullptr;
    m->dfs_count = 0;
    m->dfs_array = nullptr;
    m->catch_frame_table = nullptr;
    m->inliner_word2 = 0;
    m->lopt = nullptr;
    m->optimizer_byte = 0;
    memset(m->five_words, 0, sizeof m->five_words);
    memset(m->three_words, 0, sizeof m->three_words);
    m->state_flags |= MCC_CREATED;
    m->inlining = allocate_miainfo(m, ee);
    m->pool3 = jit_wmem_init(0);
    return 0;
}

int mark_normal_return_paths(method_compile_context* m, int block, int top)
{
    if (block < 0 || static_cast<u4>(block) >= m->bb_count)
        return 0;
    bbattr* b = m->bb_table[block];
    if (b->flags & BB_VISITED)
        return (b->flags2 & BB2_RETURNS) ? 1 : 0;
    const quadruple* last = last_quadruple(b);
    u4 kind = last != nullptr ? (last->subcode & QS_KIND_MASK) : 0;
    if (last != nullptr && ((last->opcode >= OPC_IRETURN && last->opcode <= OPC_ARETURN)
                            || (last->opcode == OPC_OTHER && kind == OTHER_RETURN_VOID))) {
        b->flags |= BB_VISITED;
        b->flags2 |= BB2_RETURNS;
        return 1;
    }
    b->flags |= BB_VISITED;
    if (!top && b->pred_count != 1)
        return 0;
    if (last != nullptr && (last->opcode == OPC_ATHROW || last->opcode == OPC_JSR
                            || (last->opcode == OPC_OTHER && kind == OTHER_RET)))
        return 0;
    if (b->flags2 & BB2_ENDS_IN_BRANCH) {
        int r = last != nullptr ? mark_normal_return_paths(m, static_cast<int>(last->target), 0) : 0;
        if (r)
            b->flags2 |= BB2_RETURNS;
        return r;
    }
    for (u4 s = 0; s < b->succ_count; s++)
        if (!mark_normal_return_paths(m, static_cast<int>(b->succ[s]), 0))
            return 0;
    b->flags2 |= BB2_RETURNS;
    return 1;
}

void free_method_stack_regalloc(method_compile_context* m)
{
    free_BB_stack_regalloc(m);
}

void jit_separate_rare_paths(method_compile_context* m)
{
    u4 n = m->dfs_count;
    if (n < 2 || m->dfs_array == nullptr)
        return;
    auto* order = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    u4 k = 0;
    for (int rare = 0; rare < 2; rare++) {
        for (u4 i = 0; i + 1 < n; i++) {
            u4 b = m->dfs_array[i];
            bool is_rare = b < m->bb_count && (m->bb_table[b]->flags2 & BB2_RARE);
            if (is_rare == (rare == 1))
                order[k++] = b;
        }
    }
    order[k] = m->dfs_array[n - 1];
    m->dfs_array = order;
}

namespace {

// The option words for this attempt (the driver restores them afterwards).
void attempt_options(method_compile_context* m, int level)
{
    if (compile_option_flag & OPT1_NBCOPT)
        all_optimizations_off();
    else
        m->state_flags &= ~MCC_NO_IDIOMS;
    if (level < 2)
        compile_option_flag |= OPT1_NINLINING;
    if (level == 0)
        all_optimizations_off();
    else
        m->state_flags &= ~MCC_NO_USAGE_TABLE;
    debug_selector(m);
}

// Without an operand stack, the quadruples' four depth half-words say "empty".
void mark_no_stack_depths(method_compile_context* m)
{
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (!live_block(b))
            continue;
        for (u4 q = 0; q < b->quad_count; q++) {
            b->catbl[q]->result.value = 0xFFFFFFFFu;
            b->catbl[q]->src1.value = 0xFFFFFFFFu;
        }
    }
}

// Entry heights of the blocks from their first quadruple, and the largest
// heights the stack pre-allocation left.
void record_block_heights(method_compile_context* m)
{
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (!live_block(b) || b->quad_count == 0)
            continue;
        if (m->max_stack != 0) {
            b->entry_int_height = static_cast<u2>((b->catbl[0]->result.value & 0xFFFF) + 1);
            b->entry_float_height = static_cast<u2>((b->catbl[0]->src1.value & 0xFFFF) + 1);
        }
        if (b->max_int_height > static_cast<int16_t>(m->max_int_height))
            m->max_int_height = static_cast<u2>(b->max_int_height);
        if (b->max_float_height > static_cast<int16_t>(m->max_float_height))
            m->max_float_height = static_cast<u2>(b->max_float_height);
    }
}

// Return paths, and the facts each block carries into its loop or tile record.
void prepare_block_records(method_compile_context* m)
{
    clear_visited(m);
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (!live_block(b))
            continue;
        mark_normal_return_paths(m, static_cast<int>(i), 0);
        carry_block_facts(m, b);
    }
    clear_visited(m);
}

} // namespace

int JITGenNativeCode(methodblock* mb, method_compile_context** holder, int level, u4 extra)
{
    if (mb->access & ACC_COMPILED)
        return 0;
    EE* ee = current_ee();
    if (init_method_compile_context(holder, mb, nullptr, ee) != 0)
        return 1;
    method_compile_context* m = *holder;
    m->use_count++;
    if (!(mb->access & ACC_NATIVE))
        prolog_rejit_info(m->root, extra);
    attempt_options(m, level);
    m->state_flags &= ~MCC_QUAD_FORM;
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    if (static_cast<int16_t>(m->state_flags & 0xFFFF) < 0)
        initialize_lvar_access_for_mmi2jit(m);

    if (JITTraverseByteCode(m, ee, 0) != 0)
        return fail(m, "front end");
    if (bytecode_optimization(m, 0, ee) == 0)
        return fail(m, "bytecode optimization");
    jit_wmem_reset(m->pool2);
    if (m->max_stack == 0)
        mark_no_stack_depths(m);
    if (BB_stack_regalloc(m) == 1)
        return fail(m, "stack pass");
    jit_wmem_reset(m->pool2);
    record_block_heights(m);
    int error = 10;
    if (quadruple_optimization(m, &error) == 1)
        return fail(m, "quadruple optimization");
    prepare_block_records(m);
    if (!(compile_option2_flag & OPT2_NSEPARATE_RARE_PATH) && (m->state_flags & MCC_RARE_PATH_ORDER))
        jit_separate_rare_paths(m);
    if (setup_bb_to_dfs_map(m) == 1)
        return fail(m, "block-to-DFS map");
    cg_missing_service = nullptr;
    if (JITGenNativeCode_state(m) == 1) {
        UnRegistCodeInfo(m);
        return fail(m, cg_missing_service != nullptr ? cg_missing_service : "code generation");
    }
    if (!(mb->access & ACC_NATIVE))
        epilog_rejit_info(m->root);
    jit_wmem_free(m->pool2);
    m->pool2 = nullptr;
    free_method_stack_regalloc(m);
    return 0;
}
