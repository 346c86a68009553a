// Local-variable attribute table: marking the parameter locals and
// splitting the locals that hold values of both register classes.
//
// The method table hangs on the entry block, one table per live block on the
// others (the operand-stack simulation fills them).  `method_regalloc` gives
// a local used in both the integer and the floating class a second number
// for its floating uses (both words of a double whose second word is also an
// int get two consecutive new numbers), grows every table to the new local
// count and rewrites the local numbers of the quadruples.
#include <string.h>

#include "driver/driver.h"
#include "frontend/qgen.h"
#include "lib/descriptor.h"

namespace {

bool table_block(const bbattr* b) { return b->quad_count != 0 && !(b->flags & BB_DEAD); }

} // namespace

void mark_parameter_locals(method_compile_context* m, lvattr_entry* table)
{
    const methodblock* mb = m->mb;
    if (mb->signature == nullptr || table == nullptr)
        return;
    u4 i = (mb->access & ACC_STATIC) ? 0 : 1;
    u4 n = m->local_count;
    auto set = [&](u4 k, bool on) {
        if (k < n) {
            if (on)
                table[k].attr |= LVA_PARAMETER;
            else
                table[k].attr &= ~LVA_PARAMETER;
        }
    };
    // A malformed descriptor marks the parameters before its broken one.
    desc_walk w = desc_begin(mb->signature);
    for (desc_item t = desc_next(&w); t.kind > DK_MALFORMED; t = desc_next(&w)) {
        // A boolean parameter loses the mark; every other word carries it.
        for (u4 k = 0; k < t.words; k++)
            set(i + k, t.kind != DK_BOOLEAN);
        i += t.words;
    }
}

void rewrite_split_locals(method_compile_context* m, const u2* use_map, const u2* split_map)
{
    if (use_map == nullptr && split_map == nullptr)
        return;
    u4 n = m->locals_before_split != 0 ? m->locals_before_split : m->local_count;
    auto map = [&](const u2* table, u2 local) -> u2 { return table != nullptr && local < n ? table[local] : local; };
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (!table_block(b))
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            u4 nib = quad_kind_nibble(q);
            switch (q->opcode) {
            case OPC_FLOAD: case OPC_FSTORE: case OPC_DLOAD: case OPC_DSTORE:
                q->op = map(split_map, q->op);
                break;
            case OPC_XSTORE:
                if (nib == 6 || nib == 7)
                    q->op = map(split_map, q->op);
                else if (nib == 2)
                    q->op = map(use_map, q->op);
                break;
            case OPC_OTHER:
                if (nib == OTHER_RET)
                    q->op = map(use_map, q->op);
                break;
            case OPC_ALOAD: case OPC_ASTORE:
                q->op = map(use_map, q->op);
                break;
            case OPC_SYNCENTER: case OPC_SYNCEXIT:
                if (nib == 1)
                    q->target = map(use_map, static_cast<u2>(q->target));
                break;
            default:
                break;
            }
        }
    }
}

int method_regalloc(method_compile_context* m)
{
    u4 n = m->local_count;
    if (n == 0)
        return 0;
    bbattr* entry = m->bb_table[0];
    auto* T = static_cast<lvattr_entry*>(entry->var_table);
    if (T == nullptr)
        return 0;
    u2* split = nullptr;
    u4 k = n;
    bool double_pending = false;
    for (u4 j = 0; j < n; j++) {
        u4 attr = T[j].attr;
        if (!(attr & LVA_FLOAT_CLASS)) {
            if (split != nullptr)
                split[j] = static_cast<u2>(j);
            continue;
        }
        if (split == nullptr) {
            split = static_cast<u2*>(jit_wmem_alloc(m->pool1, n * sizeof(u2)));
            if (split == nullptr)
                return 1;
            for (u4 i = 0; i < j; i++)
                split[i] = static_cast<u2>(i);
        }
        bool next_int = j + 1 < n && (T[j + 1].attr & LVA_INT_CLASS);
        if (!double_pending && !(attr & LVA_INT_CLASS) && (!(attr & LVA_DOUBLE_FIRST) || !next_int)) {
            split[j] = static_cast<u2>(j);
            double_pending = false;
        } else {
            split[j] = static_cast<u2>(k++);
            double_pending = (attr & LVA_DOUBLE_FIRST) != 0;
        }
    }
    m->split_map = split;
    auto* use = static_cast<u2*>(jit_wmem_alloc(m->pool1, n * sizeof(u2)));
    if (use == nullptr)
        return 1;
    for (u4 i = 0; i < n; i++)
        use[i] = static_cast<u2>(i);
    u4 added = k - n;
    m->split_word = 0;
    m->local_count = static_cast<u2>(n + added);
    m->locals_before_split = n;
    if (added == 0) {
        for (u4 i = 0; i + 1 < m->bb_count; i++) {
            bbattr* b = m->bb_table[i];
            if (i != 0 && !table_block(b))
                continue;
            auto* t = static_cast<lvattr_entry*>(b->var_table);
            if (t == nullptr)
                continue;
            for (u4 j = 0; j < n; j++)
                if (T[j].attr & LVA_FLOAT_CLASS)
                    t[j].count = t[j].count2;
        }
        rewrite_split_locals(m, use, split);
        return 0;
    }
    work_pool* pool = jit_wmem_init(0);
    if (pool == nullptr)
        return 1;
    u4 total = n + added;
    for (u4 i = 0; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (i != 0 && !table_block(b))
            continue;
        auto* old = static_cast<lvattr_entry*>(b->var_table);
        if (old == nullptr)
            continue;
        auto* t = static_cast<lvattr_entry*>(jit_wmem_alloc(i == 0 ? m->pool1 : pool, total * sizeof(lvattr_entry)));
        if (t == nullptr) {
            jit_wmem_free(pool);
            return 1;
        }
        memcpy(t, old, n * sizeof(lvattr_entry));
        memset(t + n, 0, added * sizeof(lvattr_entry));
        for (u4 j = 0; j < n; j++) {
            if (!(T[j].attr & LVA_FLOAT_CLASS))
                continue;
            u4 s = split[j];
            t[s].first = old[j].first;
            t[s].count = old[j].count2;
            if (s != j) {
                t[s].attr = old[j].attr & ~0x6fu;
                t[j].attr &= ~LVA_FLOAT_CLASS;
            }
        }
        b->var_table = t;
    }
    if (m->bb_table_pool != nullptr)
        jit_wmem_free(static_cast<work_pool*>(m->bb_table_pool));
    m->bb_table_pool = pool;
    rewrite_split_locals(m, use, split);
    return 0;
}
