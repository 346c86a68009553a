// Register preference propagation and the block-to-DFS map.
//
// While the code generator gives registers block by block, each generator
// passes its choice through `optim_set`, which hands the register back
// unchanged and records it as the preferred register of the same value's
// operands in blocks that come later in DFS order, so the register manager
// can keep the value in one register across block boundaries.  The links are
// the operands' def-use and use-def chains (one inline quadruple reference, or
// a list); they are unusable while reaching definitions are stale, and then
// nothing is propagated.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "codegen/codegen.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/mi_prescan.h"

namespace {

// The chain and preference fields that a quadruple operand and an operand
// list entry share: kind byte, flag byte, number, preferred-register byte,
// and the chain in the value word at offset 8.
struct operand_view {
    u1 kind;
    u1 flags;
    u2 number;
    u1 preferred;
    u1 second;
    u2 pad;
    u4 chain;
};
static_assert(sizeof(operand_view) == 12);
static_assert(offsetof(operand_view, chain) == offsetof(quad_operand, value));
static_assert(offsetof(operand_view, preferred) == offsetof(quad_operand, reg));
static_assert(offsetof(quad_operand_list_entry, aux) == offsetof(quad_operand, value));

constexpr u1 OF_SINGLE_REF = 0x08;      // the chain is one inline reference
constexpr u1 OF_PREFERRED  = 0x10;      // a preferred register is set
constexpr u1 TYPE_NO_PREFERENCE = 0x30; // long operands take no preference
constexpr u4 LINK_NONE = 0xFFFB0000u;   // an operand without links
constexpr u4 LINK_MARKER_MASK = 0xFFF80000u;

// Pseudo-definition markers 0xFFFF0000 .. 0xFFFC0000 carry no block.
bool marker(u4 link) { return (link & LINK_MARKER_MASK) == LINK_MARKER_MASK && (link & 0xFFFF) == 0; }

operand_view* view(quad_operand* o) { return reinterpret_cast<operand_view*>(o); }
operand_view* view(quad_operand_list_entry* e) { return reinterpret_cast<operand_view*>(e); }

quadruple* linked_quadruple(method_compile_context* m, u4 link)
{
    u4 block = quad_ref_block(link), index = quad_ref_index(link);
    if (block >= m->bb_count)
        return nullptr;
    bbattr* b = m->bb_table[block];
    return index < b->quad_count ? b->catbl[index] : nullptr;
}

// The operand of q that names the same value as o.
operand_view* find_matching_operand(quadruple* q, const operand_view* o)
{
    auto same = [&](const operand_view* x) { return x->kind == o->kind && x->number == o->number; };
    switch (q->opcount & QC_SRC_MASK) {
    case 1:
        return same(view(&q->src1)) ? view(&q->src1) : nullptr;
    case 2:
        if (same(view(&q->src1)))
            return view(&q->src1);
        return same(view(&q->src2)) ? view(&q->src2) : nullptr;
    case 3:
        for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            if (same(view(e)))
                return view(e);
        return nullptr;
    default:
        return nullptr;
    }
}

template <typename F> void for_each_link(const operand_view* o, F fn)
{
    if (o->flags & OF_SINGLE_REF) {
        if (o->chain != LINK_NONE)
            fn(o->chain);
        return;
    }
    for (const varref_list* l = reinterpret_cast<const varref_list*>(o->chain); l != nullptr; l = l->next)
        fn(l->ref);
}

// Gives the linked quadruples in later blocks (DFS order) the preference.
void set_preference_on_links(method_compile_context* m, const operand_view* o, u1 mask, s4 current)
{
    if (o->flags & OF_SINGLE_REF)
        return;
    const s4* map = mcc_bb_to_dfs_map(m);
    for_each_link(o, [&](u4 link) {
        if (marker(link) || link == LINK_NONE)
            return;
        u4 block = quad_ref_block(link);
        if (block >= m->bb_count || map[block] <= current)
            return;
        quadruple* q = linked_quadruple(m, link);
        if (q == nullptr || (q->result.kind & 0xF0) == TYPE_NO_PREFERENCE)
            return;
        q->result.reg = mask;
        q->result.flags |= OF_PREFERRED;
    });
}

void propagate_register_preference(method_compile_context* m, operand_view* o, u1 mask, s4 current)
{
    for_each_link(o, [&](u4 link) {
        if (marker(link) || link == LINK_NONE)
            return;
        quadruple* q = linked_quadruple(m, link);
        if (q == nullptr)
            return;
        operand_view* match = find_matching_operand(q, o);
        if (match != nullptr)
            set_preference_on_links(m, match, mask, current);
    });
}

} // namespace

// Registers 0..6 map to preference bits 0x01..0x40 through the index table.
const u1 register_preference_mask[9] = {0, 1, 2, 4, 8, 128, 16, 32, 64};
const u1 register_preference_index[7] = {1, 2, 3, 4, 6, 7, 8};

int setup_bb_to_dfs_map(method_compile_context* m)
{
    u4 n = m->bb_count > 0 ? m->bb_count : 1;
    auto* map = static_cast<s4*>(jit_wmem_alloc(m->pool1, n * sizeof(s4)));
    if (map == nullptr) {
        fprintf(stderr, "not enough memory for making bb_to_dfs_map\n");
        return 1;
    }
    // Blocks outside the DFS list read as position -1: they never come later.
    memset(map, 0xFF, n * sizeof(s4));
    for (u4 i = 0; i < m->dfs_count; i++)
        if (m->dfs_array[i] < n)
            map[m->dfs_array[i]] = static_cast<s4>(i);
    mcc_set_bb_to_dfs_map(m, map);
    return 0;
}

int optim_set(codegen_context* cg, int reg, const void* ops)
{
    method_compile_context* m = cg != nullptr ? cg->m : nullptr;
    if (m == nullptr || (m->state_flags & MCC_REACHDEF_STALE) || ops == nullptr || reg < 0 || reg > 6
        || mcc_bb_to_dfs_map(m) == nullptr)
        return reg;
    auto* o = reinterpret_cast<operand_view*>(static_cast<const u4*>(ops)[2]);
    if (o == nullptr)
        return reg;
    u1 mask = register_preference_mask[register_preference_index[reg]];
    s4 current = cg->cur_bb >= 0 && static_cast<u4>(cg->cur_bb) < m->bb_count ? mcc_bb_to_dfs_map(m)[cg->cur_bb] : 0;
    propagate_register_preference(m, o, mask, current);
    return reg;
}
