// Front-end driver: the method's bytecode becomes the block graph with one
// first-form quadruple list per block.
//
// Runs once per compile attempt, after the transfer-point set-up and before
// the quadruple-generation driver.  In order: the prescan and the inlining
// analysis, the block table, the pc map, the per-block builder, the
// subroutine structure, the catch tables, the transfer block, the idiom pass,
// loop construction and the DFS list.
//
// The root call-site record is the `misinfo` embedded in the inlining
// context.  The front end reads it as follows (the record's own layout
// holds; these are the only places that interpret it):
//   - "subroutines are expanded inline": the prescan's subroutine mark 0x1,
//     set only when the method has one jsr whose subroutine starts with an
//     astore (its two subroutine fields are then that astore's pc and the
//     return pc);
//   - "build loops directly": the irregular-shape mark 0x8 (the inliner,
//     which would otherwise build the loops after expansion, leaves such a
//     method alone);
//   - "first 16-bit flag word negative": bit 15 of the flag word, which the
//     prescan never sets, so context flag 0x400 stays clear;
//   - the live-block count is the record's block count; k1 (bounds the
//     subroutines) is its jsr count and k2 its return count (returns and
//     rets), which together bound the exit block's predecessor list;
//   - a call site's "flag 0x10 of its second flag byte" is the candidate bit
//     MCS_CANDIDATE;
//   - the per-block spare record count is counted by the builder from the
//     block's invokes (the record keeps none).
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"

namespace {

constexpr u4 MIS_FIRST_WORD_SIGN = 0x8000;  // bit 15: the record's first 16-bit word reads negative
constexpr u4 MIS_ANALYSED = 0x200;          // the inlining analysis ran on the record

bool live(const bbattr* b) { return !(b->flags & BB_DEAD); }

const quadruple* last_quadruple(const bbattr* b)
{
    return b->quad_count != 0 ? b->catbl[b->quad_count - 1] : nullptr;
}

void init_blocks(method_compile_context* m, u4 count)
{
    m->bb_count = count;
    m->bb_capacity = count;
    m->bb_table = static_cast<bbattr**>(jit_wmem_alloc(m->pool1, count * sizeof(bbattr*)));
    m->dfs_array = static_cast<u4*>(jit_wmem_alloc(m->pool1, count * 4));
    auto* blocks = static_cast<bbattr*>(jit_wmem_alloc(m->pool1, count * sizeof(bbattr)));
    memset(blocks, 0, count * sizeof(bbattr));
    for (u4 i = 0; i < count; i++) {
        bbattr* b = &blocks[i];
        b->id = i;
        b->try_region = -1;
        b->mb = m->mb;
        b->local_count = m->local_count;
        b->stack_word = m->max_stack;
        m->bb_table[i] = b;
    }
}

// Collects the blocks of subroutine `entry`: everything reachable from it
// without passing through a ret's exit edge, entry first.
void collect_subroutine_blocks(method_compile_context* m, subroutine_info* s, u4 entry, u4* bitset, u4* work)
{
    u4 n = m->bb_count;
    memset(bitset, 0, ((n + 63) / 64) * 8);
    u4 top = 0, count = 0;
    work[top++] = entry;
    mi_set_bit(bitset, entry);
    u4* list = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    while (top > 0) {
        u4 b = work[--top];
        list[count++] = b;
        bbattr* bb = m->bb_table[b];
        for (u4 i = 0; i < bb->succ_count; i++) {
            u4 t = bb->succ[i];
            if (t == 0 || t >= n - 1 || mi_bit(bitset, t))
                continue;
            mi_set_bit(bitset, t);
            work[top++] = t;
        }
    }
    s->block_count = count;
    s->blocks = list;
}

} // namespace

bool mis_subroutines_expanded(const misinfo* mis) { return (mis->flags & MIS_SUBROUTINES_EXPANDED) != 0; }
bool mis_builds_loops_directly(const misinfo* mis) { return (mis->flags & MIS_IRREGULAR) != 0; }
bool mis_first_word_negative(const misinfo* mis) { return (mis->flags & MIS_FIRST_WORD_SIGN) != 0; }
u4 mis_entry_list_bound(const misinfo* mis) { return mis->jsr_count; }
u4 mis_exit_list_bound(const misinfo* mis) { return mis->return_count; }

int subroutine_reaches_return(method_compile_context* m, u4 block, u4* bitset)
{
    mi_set_bit(bitset, block);
    bbattr* b = m->bb_table[block];
    const quadruple* last = last_quadruple(b);
    if (last != nullptr && last->opcode == OPC_OTHER && quad_kind_nibble(last) == OTHER_RET)
        return 1;
    for (u4 i = 0; i < b->succ_count; i++) {
        u4 s = b->succ[i];
        // The exit block's list names its predecessors, not successors.
        if (s + 1 >= m->bb_count || mi_bit(bitset, s))
            continue;
        if (subroutine_reaches_return(m, s, bitset))
            return 1;
    }
    return 0;
}

void redirect_jsr_of_nonreturning_subroutines(method_compile_context* m)
{
    auto* subs = static_cast<subroutine_info*>(m->subroutine_table);
    bbattr* exit = m->bb_table[m->bb_count - 1];
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        const quadruple* last = last_quadruple(b);
        if (!live(b) || last == nullptr || last->opcode != OPC_JSR || last->op >= m->subroutine_count)
            continue;
        if (!(subs[last->op].flags & SUBR_NEVER_RETURNS))
            continue;
        if (b->succ_count > 0)
            m->bb_table[b->succ[0]]->pred_count--;
        b->succ_count = 1;
        b->succ[0] = exit->id;
        exit->succ[exit->pred_count++] = i;
    }
}

void mark_nonreturning_subroutines(method_compile_context* m, u4* bitset)
{
    auto* subs = static_cast<subroutine_info*>(m->subroutine_table);
    bbattr* entry = m->bb_table[0];
    u4 first = entry->succ_count - m->subroutine_count;
    u4* work = static_cast<u4*>(jit_wmem_alloc(m->pool2, m->bb_count * 4));
    bool any = false;
    for (u4 i = 0; i < m->subroutine_count; i++) {
        subroutine_info* s = &subs[i];
        u4 block = static_cast<u4>(-static_cast<s4>(entry->succ[first + i]));
        s->flags = 0;
        s->flags2 = 0;
        memset(bitset, 0, ((m->bb_count + 63) / 64) * 8);
        if (!subroutine_reaches_return(m, block, bitset)) {
            s->flags |= SUBR_NEVER_RETURNS;
            any = true;
        }
        collect_subroutine_blocks(m, s, block, bitset, work);
    }
    if (any)
        redirect_jsr_of_nonreturning_subroutines(m);
}

int JITTraverseByteCode(method_compile_context* m, EE* ee, int flag)
{
    methodblock* mb = m->mb;
    inlining_context* ic = m->inlining;
    if (ic == nullptr)
        return 1;
    misinfo* mis = &ic->root;
    mis->mb = mb;
    if (prescan_bytecode(m, mis, ee) != 0)
        return 1;

    u4 exc_len = mb->exception_table != nullptr ? mb->exception_table_length : 0;
    const auto* exc = reinterpret_cast<const exception_entry*>(mb->exception_table);
    if (exc_len != 0) {
        for (mi_call_site* site = mis->call_sites; site != nullptr; site = site->next)
            for (u4 i = 0; i < exc_len; i++)
                if (exc[i].start_pc <= site->pc && site->pc < exc[i].end_pc) {
                    site->flags &= ~MCS_CANDIDATE;
                    break;
                }
    }
    bool inlining_on = !(compile_option_flag & OPT1_NINLINING);
    if (inlining_on && mis->call_sites != nullptr) {
        mis->flags |= MIS_ANALYSED;
        mi2_analysis_driver(m);
    }
    if (mis_first_word_negative(mis))
        m->state_flags |= MCC_PRESCAN_NEGATIVE;

    bool transfer = (m->state_flags & MCC_MMI2JIT) != 0;
    m->total_quad_count = 0;
    m->exc_count = exc_len;
    u4 live_blocks = mis->block_count;
    init_blocks(m, live_blocks + (transfer ? 3 : 2));
    u4 transfer_block = transfer ? m->bb_count - 2 : 0;
    bbattr* entry = m->bb_table[0];
    bbattr* exit = m->bb_table[m->bb_count - 1];

    u4 k1 = mis_entry_list_bound(mis), k2 = mis_exit_list_bound(mis);
    u4 entry_slots = k1 + 1 + exc_len + (transfer ? 1 : 0);
    entry->succ = static_cast<u4*>(jit_wmem_alloc(m->pool1, entry_slots * 4));
    memset(entry->succ, 0, entry_slots * 4);
    entry->succ[0] = 1;
    entry->succ_count = exc_len + 1;
    if (m->bb_count > 2)
        m->bb_table[1]->pred_count = 1;
    u4 exit_slots = k1 + k2 + (transfer ? 1 : 0);
    exit->succ = exit_slots > 0 ? static_cast<u4*>(jit_wmem_alloc(m->pool1, exit_slots * 4)) : nullptr;

    pc2bb_entry* map = generate_pc2bb_table(m, mis, 1);
    u4 subroutines = 0, exits = 0, temporaries = 0;
    cattr_gen_args args{};
    args.first_block = 1;
    args.subroutine_list = reinterpret_cast<s4*>(entry->succ + 1 + exc_len);
    args.subroutine_count = &subroutines;
    args.exit_list = exit->succ;
    args.exit_count = &exits;
    args.exit_block = m->bb_count - 1;
    args.pc_map = map;
    args.call_sites = nullptr;
    args.temporaries = &temporaries;
    if (generate_cattr_from_bytecode(m, mis, &args) != 0)
        return 1;
    m->max_stack = static_cast<u2>(m->max_stack + temporaries);
    exit->pred_count = exits;

    if (subroutines > 0) {
        m->subroutine_count = subroutines;
        m->frontend_word = subroutines;     // the table's capacity
        auto* subs = static_cast<subroutine_info*>(jit_wmem_alloc(m->pool1, subroutines * sizeof(subroutine_info)));
        memset(subs, 0, subroutines * sizeof(subroutine_info));
        m->subroutine_table = subs;
        u4 bytes = ((m->bb_count + 63) / 64) * 8;
        auto* bitset = static_cast<u4*>(jit_wmem_alloc(m->pool2, bytes));
        memset(bitset, 0, bytes);
        entry->succ_count += subroutines;
        mark_nonreturning_subroutines(m, bitset);
    } else {
        m->subroutine_count = 0;
        m->subroutine_table = nullptr;
    }

    if (exc_len != 0) {
        build_bb_exception_table(m, map);
        link_exception_handler_blocks(m);
        if (JITallocateCatchFrame(m) != 0)
            return 1;
    }
    if (transfer) {
        attach_mmi_transfer_block(m, m->bb_table[transfer_block], map);
        if (generate_dfs_list(m) != 1) {
            m->state_flags |= MCC_GIVE_UP;
            return 1;
        }
    }

    bool chosen = false;
    for (mi_call_site* site = mis->call_sites; site != nullptr; site = site->next)
        if ((site->flags & MCS_DECISION_MASK) != 0)
            chosen = true;
    if (!(compile_option_flag & OPT1_NPSEUDOOP) && !(m->state_flags & MCC_NO_IDIOMS) && m->bb_count >= 4
        && (!inlining_on || !chosen))
        check_and_replace_ideom_pattern(m);

    bool build_loops;
    if (inlining_on && !(m->state_flags & MCC_NO_IDIOMS) && chosen)
        build_loops = mis->call_sites == nullptr;
    else if (mis_builds_loops_directly(mis))
        build_loops = true;
    else
        build_loops = mis->call_sites == nullptr;
    if (!build_loops) {
        m->loop_count = 0;
        m->loop_word2 = 0;
        m->loop_table = nullptr;
    } else if (!(compile_option3_flag & OPT3_NBBDFSSORT) && m->loop_count == 0) {
        if (construct_loops(m) != 0)
            return 1;
    }
    if (generate_dfs_list(m) != 1) {
        m->state_flags |= MCC_GIVE_UP;
        return 1;
    }
    jit_wmem_reset(m->pool2);
    return 0;
}
