// Local-variable table shrinking.
//
// After the early quadruple passes a method's local numbering has gaps
// (locals no quadruple names any more).  Shrinking renumbers the locals that
// remain into a dense range after the parameters (which keep their numbers)
// and keeps a map from old to new numbers, the context's transfer map, which
// the register manager composes with its own slot colouring and reads when an
// interpreter activation is handed over to the compiled code.  It runs twice:
//  - `do_shrinking_quadruple`, a step of the quadruple driver: keeps the
//    locals that some quadruple operand names;
//  - `do_shrinking_and_sorting_lvar_tbl`, from the usage tables that
//    `generate_Q_lvar_tbl` has just counted: keeps the locals the tables
//    record and numbers them by ascending weight (a long or double pair, or
//    a run of overlapping ones, moves as one), permuting the method's table
//    and rebuilding the block tables.
//
// A local that some quadruple defines but none reads has no weight; it is
// kept all the same (as a light one), since its definition still names it:
// dropping it would leave the definition writing a local beyond the frame.
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "codegen/regman/reg_records.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

constexpr u4 DROPPED = 0xFFFFFFFFu;

bool skipped_block(const bbattr* b) { return b->quad_count == 0 || (b->flags & BB_DEAD); }

void clear_map(method_compile_context* m)
{
    mcc_set_transfer_map(m, nullptr);
    mcc_transfer_map_count(m) = 0;
}

u4 parameter_count(const method_compile_context* m, u4 locals)
{
    u4 p = m->mb != nullptr ? m->mb->args_size : 0;
    return p < locals ? p : locals;
}

// ---- use set --------------------------------------------------------------------

struct use_set {
    u8* words;
    u4 n;
    void mark(u4 i)
    {
        if (i < n)
            df_vset(words, i);
    }
    bool has(u4 i) const { return df_vtest(words, i); }
};

void mark_operand(use_set& s, u1 kind_byte, u2 number)
{
    if ((kind_byte & QK_KIND_MASK) != QK_VARIABLE)
        return;
    s.mark(number);
    u1 t = kind_byte >> QT_SHIFT;
    if (t == QT_LONG || t == QT_DOUBLE)
        s.mark(number + 1u);
}

void mark_quadruple(use_set& s, const quadruple* q)
{
    mark_operand(s, q->result.kind, q->result.number);
    switch (q->opcount & QC_SRC_MASK) {
    case 2: mark_operand(s, q->src2.kind, q->src2.number); [[fallthrough]];
    case 1: mark_operand(s, q->src1.kind, q->src1.number); break;
    case QC_SRC_LIST:
        for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            mark_operand(s, static_cast<u1>(e->kind), e->number);
        break;
    default: break;
    }
}

// ---- rewriting -------------------------------------------------------------------

void rewrite_number(u1 kind_byte, u2* number, const u4* map, u4 n)
{
    if ((kind_byte & QK_KIND_MASK) == QK_VARIABLE && *number < n && map[*number] != DROPPED)
        *number = static_cast<u2>(map[*number]);
}

bool maps_away(u1 kind_byte, u2 number, const u4* map, u4 n)
{
    return (kind_byte & QK_KIND_MASK) == QK_VARIABLE && number < n && map[number] == DROPPED;
}

// ---- sorting ----------------------------------------------------------------------

struct element {
    u4 local;      // first slot
    u4 width;      // 1, 2 for a long or double pair, more for a run of them
    u4 average;    // weight, or the run's weights summed and divided by its width
};

void sort_elements(element* a, s4 lo, s4 hi)
{
    while (lo < hi) {
        u4 pivot = a[lo + (hi - lo) / 2].average;
        s4 i = lo, j = hi;
        while (i <= j) {
            while (a[i].average < pivot)
                i++;
            while (a[j].average > pivot)
                j--;
            if (i <= j) {
                element t = a[i];
                a[i] = a[j];
                a[j] = t;
                i++;
                j--;
            }
        }
        // Recurse into the smaller side, loop on the larger.
        if (j - lo < hi - i) {
            sort_elements(a, lo, j);
            lo = i;
        } else {
            sort_elements(a, i, hi);
            hi = j;
        }
    }
}

// The slots that must stay adjacent from slot i on.  A long or double in n
// holds n + 1 too; one slot may be the second word of one such value and the
// first of another (javac reuses slots across scopes, colouring merges
// slots), so overlapping pairs chain into a run that moves as one unit.
// Splitting the run would give a value's two words numbers that are no longer
// neighbours, and its second word would read another local.
u4 run_width(const var_usage_entry* t, u4 i, u4 n)
{
    u4 end = i;
    while (end + 1 < n && (t[end].flags & (VU_LONG_HIGH | VU_DOUBLE_HIGH)))
        end++;
    return end - i + 1;
}

bool recorded(const var_usage_entry& e) { return e.use_count > 0 || (e.flags & (VU_USED | VU_DEFINED)); }

// The entry table permuted in place: entry p + k takes the k-th kept local.
bool permute_entry_table(method_compile_context* m, var_usage_entry* t, const u4* map, u4 n, u4 p, u4 kept)
{
    auto* old = static_cast<var_usage_entry*>(jit_wmem_alloc(m->pool2, n * sizeof(var_usage_entry)));
    if (old == nullptr)
        return false;
    memcpy(old, t, n * sizeof(var_usage_entry));
    memset(t + p, 0, (n - p) * sizeof(var_usage_entry));
    for (u4 i = p; i < n; i++)
        if (map[i] != DROPPED && map[i] < p + kept)
            t[map[i]] = old[i];
    return true;
}

} // namespace

// The map has one entry per local of the numbering in force (m->local_count).
void rewrite_quadruple_for_shrinking(method_compile_context* m, const u4* map)
{
    u4 n = m->local_count;
    for (u4 id = 1; id + 1 < m->bb_count; id++) {
        bbattr* b = m->bb_table[id];
        if (skipped_block(b))
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (q->opcount & QC_DELETED)
                continue;
            u4 form = q->opcount & QC_SRC_MASK;
            if (q->opcode == OPC_REGFIX && form == 1 && maps_away(q->src1.kind, q->src1.number, map, n)) {
                q->opcount |= QC_DELETED;
                continue;
            }
            rewrite_number(q->result.kind, &q->result.number, map, n);
            if (form == 1 || form == 2)
                rewrite_number(q->src1.kind, &q->src1.number, map, n);
            if (form == 2)
                rewrite_number(q->src2.kind, &q->src2.number, map, n);
            if (form == QC_SRC_LIST)
                for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
                    rewrite_number(static_cast<u1>(e->kind), &e->number, map, n);
        }
    }
}

int do_shrinking_quadruple(method_compile_context* m, dataflow_pass_context* pc)
{
    u4 n = m->local_count;
    if ((compile_option_flag & OPT1_NSHRINKLVAR) || n == 0) {
        clear_map(m);
        return 0;
    }
    use_set s = {static_cast<u8*>(jit_wmem_alloc(m->pool1, df_words(static_cast<s4>(n)) * 8)), n};
    u4* map = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    if (s.words == nullptr || map == nullptr)
        return 1;
    memset(s.words, 0, df_words(static_cast<s4>(n)) * 8);
    for (u4 id = 1; id + 1 < m->bb_count; id++) {
        const bbattr* b = m->bb_table[id];
        if (skipped_block(b))
            continue;
        for (u4 k = 0; k < b->quad_count; k++)
            if (!(b->catbl[k]->opcount & QC_DELETED))
                mark_quadruple(s, b->catbl[k]);
    }
    u4 p = parameter_count(m, n);
    u4 next = p;
    for (u4 i = 0; i < n; i++)
        map[i] = i < p ? i : s.has(i) ? next++ : DROPPED;
    rewrite_quadruple_for_shrinking(m, map);
    m->local_count = static_cast<u2>(next);
    mcc_set_transfer_map(m, reinterpret_cast<s4*>(map));
    mcc_transfer_map_count(m) = n;
    return 0;
}

int do_shrinking_and_sorting_lvar_tbl(method_compile_context* m)
{
    u4 n = m->local_count;
    if ((compile_option_flag & OPT1_NSHRINKLVAR) || n == 0) {
        clear_map(m);
        return 0;
    }
    auto* table = static_cast<var_usage_entry*>(m->bb_table[0]->var_table);
    if (table == nullptr)
        return 0;
    u4 p = parameter_count(m, n);
    auto* list = static_cast<element*>(jit_wmem_alloc(m->pool2, (n - p + 1) * sizeof(element)));
    u4* map = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    if (list == nullptr || map == nullptr)
        return 1;
    u4 count = 0;
    for (u4 i = p; i < n;) {
        u4 width = run_width(table, i, n);
        bool kept = false;
        u4 sum = 0;
        for (u4 w = 0; w < width; w++) {
            kept |= recorded(table[i + w]);
            sum += table[i + w].use_count;
        }
        if (kept)
            list[count++] = {i, width, sum / width};
        i += width;
    }
    if (count == 0)
        return 0;
    sort_elements(list, 0, static_cast<s4>(count) - 1);
    for (u4 i = 0; i < n; i++)
        map[i] = i < p ? i : DROPPED;
    u4 next = p;
    for (u4 k = 0; k < count; k++)
        for (u4 w = 0; w < list[k].width; w++)
            map[list[k].local + w] = next++;
    u4 kept = next - p;
    rewrite_quadruple_for_shrinking(m, map);
    m->local_count = static_cast<u2>(next);

    // Compose with the map of the earlier step; without one this map is it.
    s4* old = mcc_transfer_map(m);
    if (old != nullptr) {
        for (u4 i = 0; i < mcc_transfer_map_count(m); i++)
            if (old[i] >= static_cast<s4>(p) && old[i] != -1 && static_cast<u4>(old[i]) < n)
                old[i] = static_cast<s4>(map[old[i]]);
    } else {
        mcc_set_transfer_map(m, reinterpret_cast<s4*>(map));
        mcc_transfer_map_count(m) = n;
    }

    if (!permute_entry_table(m, table, map, n, p, kept))
        return 1;
    work_pool* pool = jit_wmem_init(0);
    if (pool == nullptr)
        return 1;
    u4 bytes = next * sizeof(var_usage_entry);
    for (u4 id = 1; id + 1 < m->bb_count; id++) {
        bbattr* b = m->bb_table[id];
        auto* old_table = static_cast<var_usage_entry*>(b->var_table);
        if (old_table == nullptr)
            continue;
        auto* fresh = static_cast<var_usage_entry*>(jit_wmem_alloc(pool, bytes));
        if (fresh == nullptr)
            return 1;
        memset(fresh, 0, bytes);
        for (u4 i = 0; i < n; i++)
            if (map[i] != DROPPED)
                fresh[map[i]] = old_table[i];
        b->var_table = fresh;
    }
    if (m->bb_table_pool != nullptr)
        jit_wmem_free(static_cast<work_pool*>(m->bb_table_pool));
    m->bb_table_pool = pool;
    return 0;
}

void dump_shrink_table(method_compile_context*, u4) {}
