// Two per-method sets of locals kept in the pass context: the orig-bytecode
// set (locals that stand for the method's own bytecode locals, parameters
// included), which copy propagation consults, and the short-lifetime set
// (locals the compiler introduced that live only briefly), which the
// transformation for the target architecture reads.  Recomputed at the start
// of the quadruple passes and after transformations that renumber or add
// locals; after the local table was shrunk the old sets are carried over
// through the shrink map.
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"

namespace {

u4* fresh_set(method_compile_context* m, u4 count)
{
    u4 words = (count + 31) / 32;
    auto* set = static_cast<u4*>(jit_wmem_alloc(m->pool1, words * 4));
    memset(set, 0, words * 4);
    return set;
}

void set_bit(u4* set, u4 local) { set[local >> 5] |= 1u << (local & 31); }
void clear_bit(u4* set, u4 local) { set[local >> 5] &= ~(1u << (local & 31)); }

bool shrunk(const method_compile_context* m, const dataflow_pass_context* pc)
{
    return (pc->flags & DFP_LVAR_SHRUNK) && !(compile_option_flag & OPT1_NSHRINKLVAR) && mcc_shrink_map(m) != nullptr;
}

u4 own_locals(const method_compile_context* m) { return m->mb != nullptr ? m->mb->nlocals : 0; }

// The locals that block 1's entry loads copy from the method's own locals
// (opcodes with the local-copy attribute whose source is an own local).
template <typename F> void entry_copies(method_compile_context* m, F fn)
{
    if (m->bb_count < 3)
        return;
    bbattr* b = m->bb_table[1];
    for (u4 k = 0; k < b->quad_count; k++) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q) || !(opc_info_quadruple[q->opcode] & OPA_LOCAL_COPY))
            continue;
        if ((q->result.kind & QK_KIND_MASK) != QK_VARIABLE || df_shape(q) == QC_SRC_LIST)
            continue;
        if ((q->src1.number >> 8) < own_locals(m) && q->result.number < m->local_count)
            fn(static_cast<u4>(q->result.number));
    }
}

} // namespace

void Initialize_lvar_orig_bytecode(method_compile_context* m, dataflow_pass_context* pc)
{
    u4 n = m->local_count;
    pc->orig_count = n;
    pc->orig_set = n > 0 ? fresh_set(m, n) : nullptr;
    if (n == 0)
        return;
    if (shrunk(m, pc)) {
        const s4* map = mcc_shrink_map(m);
        for (u4 i = 0; i < own_locals(m); i++)
            if (map[i] >= 0 && static_cast<u4>(map[i]) < n)
                set_bit(pc->orig_set, static_cast<u4>(map[i]));
    } else {
        u4 own = own_locals(m) < n ? own_locals(m) : n;
        for (u4 i = 0; i < own; i++)
            set_bit(pc->orig_set, i);
    }
    entry_copies(m, [&](u4 local) { set_bit(pc->orig_set, local); });
}

void Initialize_short_lifetime_lvar(method_compile_context* m, dataflow_pass_context* pc)
{
    u4 n = m->local_count;
    if (n == 0) {
        pc->short_count = 0;
        pc->short_set = nullptr;
        return;
    }
    u4* set = fresh_set(m, n);
    if (shrunk(m, pc)) {
        const s4* map = mcc_shrink_map(m);
        for (u4 i = 0; i < n; i++) {
            s4 to = map[i];
            if (to >= 0 && df_local_in_set(pc->short_count, pc->short_set, static_cast<u4>(to))
                && static_cast<u4>(to) < n)
                set_bit(set, static_cast<u4>(to));
        }
    } else {
        // Locals from the temporary base on are the compiler's own.
        for (u4 i = m->previous_local_count; i < n; i++)
            set_bit(set, i);
    }
    entry_copies(m, [&](u4 local) { clear_bit(set, local); });
    pc->short_count = n;
    pc->short_set = set;
}

void Initialize_lvar_characteristics(method_compile_context* m, dataflow_pass_context* pc)
{
    Initialize_lvar_orig_bytecode(m, pc);
    Initialize_short_lifetime_lvar(m, pc);
}
