// Variable usage tables and the local-register allocation driver.
//
// Runs inside the quadruple optimizations once the quadruples are in their
// final form.  Counts, for every variable of the method-wide numbering, how
// often and how it is used and defined, per block and for the whole method,
// weighting each block by its loop marks, and collects the constants the
// quadruples use; then runs the table shrinking, the loop-local register
// allocation and the per-tile register allocation in that order.
//
// A long or double variable n marks its high-word bit on entry n and its
// low-word bit on entry n+1 (the low word takes the higher number); both
// entries receive the weight.
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 WEIGHT_MASK = BB_KIND_LOOP | BB_LOOP_MARK | BB_INNERMOST_LOOP;   // 0x8201
constexpr u4 NOT_IN_LOOP_MASK = BB_LOOP_EXCLUDED | BB_KIND_LOOP;   // 0x40000001

struct usage {
    method_compile_context* m;
    var_usage_entry* mt;
    var_usage_entry* bt;
    const_candidate* mcand;
    const_candidate* bcand;
    u4 mcount, bcount;
    u4 weight;
    u4 block;
    u4 vars;
    u4 block_flags;
};

// Type bits of a variable of data type t: one entry, or the high word on n
// and the low word on n + 1.
void type_bits(u1 t, u4* first, u4* second)
{
    *second = 0;
    switch (t) {
    case QT_INT: *first = VU_INT; break;
    case QT_REF: *first = VU_REF; break;
    case QT_LONG: *first = VU_LONG_HIGH; *second = VU_LONG_LOW; break;
    case QT_DOUBLE: *first = VU_DOUBLE_HIGH; *second = VU_DOUBLE_LOW; break;
    case QT_FLOAT: *first = VU_FLOAT; break;
    default: *first = VU_ADDR; break;
    }
}

void use_entry(usage& u, u4 n, u4 bits, u4 weight)
{
    if (n >= u.vars)
        return;
    var_usage_entry& b = u.bt[n];
    var_usage_entry& m = u.mt[n];
    b.use_count += weight;
    m.use_count += weight;
    b.flags |= bits | VU_USED | ((b.flags & (VU_USE_FIRST | VU_DEF_FIRST)) ? 0 : VU_USE_FIRST);
    m.flags |= bits | VU_USED;
}

void def_entry(usage& u, u4 n, u4 bits)
{
    if (n >= u.vars)
        return;
    var_usage_entry& b = u.bt[n];
    var_usage_entry& m = u.mt[n];
    u4 outside = (u.block_flags & NOT_IN_LOOP_MASK) != BB_KIND_LOOP ? VU_OUTSIDE_LOOP_DEF : 0;
    b.flags |= bits | VU_DEFINED | outside | ((b.flags & (VU_USE_FIRST | VU_DEF_FIRST)) ? 0 : VU_DEF_FIRST);
    m.flags |= bits | VU_DEFINED | outside;
}

void source(usage& u, u1 kind_byte, u2 number, u4 value, u4 weight)
{
    u1 kind = kind_byte & QK_KIND_MASK, type = kind_byte >> QT_SHIFT;
    if (kind == QK_VARIABLE) {
        u4 first, second;
        type_bits(type, &first, &second);
        use_entry(u, number, first, weight);
        if (second != 0)
            use_entry(u, number + 1u, second, weight);
    } else if (kind == QK_IMMEDIATE || kind == QK_NEG_IMMEDIATE || kind == QK_CONSTANT || kind == QK_CONST_PTR) {
        u4 first, second;
        type_bits(type, &first, &second);
        u4 key1 = static_cast<u4>(kind) << 16 | first;
        u4 key2 = kind == QK_IMMEDIATE || kind == QK_NEG_IMMEDIATE ? number : value;
        u.bcount = put_const_tbl(u.m, u.bcount, u.bcand, key1, key2, weight, u.block);
        u.mcount = put_const_tbl(u.m, u.mcount, u.mcand, key1, key2, weight, u.block);
    }
}

bool object_or_array_use(u1 op)
{
    return (op >= OPC_IGETFIELD && op <= OPC_APUTFIELD) || op == OPC_IALOAD || op == OPC_LALOAD
           || op == OPC_FALOAD || op == OPC_DALOAD || op == OPC_AALOAD;
}

void count_quadruple(usage& u, const quadruple* q)
{
    u4 n = q->opcount & QC_SRC_MASK;
    u4 w = u.weight;
    if (n == QC_SRC_LIST) {
        for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            source(u, static_cast<u1>(e->kind), e->number, e->aux, w);
    } else {
        if (n >= 1) {
            bool base = object_or_array_use(q->opcode) && (q->src1.kind >> QT_SHIFT) == QT_REF;
            source(u, q->src1.kind, q->src1.number, q->value, base ? 3 * w : w);
        }
        if (n >= 2)
            source(u, q->src2.kind, q->src2.number, q->value, w);
    }
    if ((q->result.kind & QK_KIND_MASK) == QK_VARIABLE) {
        u4 first, second;
        type_bits(q->result.kind >> QT_SHIFT, &first, &second);
        def_entry(u, q->result.number, first);
        if (second != 0)
            def_entry(u, q->result.number + 1u, second);
    }
}

} // namespace

// The "usage count" of the method: the variable operands of its quadruples.
static u4 count_variable_operands(const method_compile_context* m)
{
    u4 n = 0;
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        const bbattr* b = m->bb_table[i];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            const quadruple* q = b->catbl[k];
            if (q->opcount & QC_DELETED)
                continue;
            if ((q->result.kind & QK_KIND_MASK) == QK_VARIABLE)
                n++;
            u4 src = q->opcount & QC_SRC_MASK;
            if (src == QC_SRC_LIST) {
                for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
                    if ((e->kind & QK_KIND_MASK) == QK_VARIABLE)
                        n++;
            } else {
                if (src >= 1 && (q->src1.kind & QK_KIND_MASK) == QK_VARIABLE)
                    n++;
                if (src >= 2 && (q->src2.kind & QK_KIND_MASK) == QK_VARIABLE)
                    n++;
            }
        }
    }
    return n;
}

int generate_Q_lvar_tbl(method_compile_context* m)
{
    bbattr* first = m->bb_table[0];
    u4 vars = m->local_count;
    if (vars == 0) {
        first->var_table = nullptr;
        m->state_flags |= MCC_NO_USAGE_TABLE;
        return 0;
    }
    u4 uses = count_variable_operands(m);
    // Block tables live in a pool of their own so that a repeated run drops
    // the previous ones at once.
    if (m->bb_table_pool != nullptr) {
        jit_wmem_free(static_cast<work_pool*>(m->bb_table_pool));
        m->bb_table_pool = nullptr;
    }
    work_pool* pool = jit_wmem_init(0);
    if (pool == nullptr)
        return 1;
    m->bb_table_pool = pool;
    if (uses == 0) {
        first->var_table = nullptr;
        m->state_flags |= MCC_NO_USAGE_TABLE;
        if (tile_reg_alloc(m, nullptr) == 1)
            return 1;
        if (m->bb_count > 1)
            m->bb_table[1]->tile_number = 0;
        return 0;
    }
    u4 bytes = vars * sizeof(var_usage_entry);
    auto* mt = static_cast<var_usage_entry*>(jit_wmem_alloc(m->pool1, bytes));
    if (mt == nullptr)
        return 1;
    memset(mt, 0, bytes);
    first->var_table = mt;
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        auto* t = static_cast<var_usage_entry*>(jit_wmem_alloc(pool, bytes));
        if (t == nullptr)
            return 1;
        memset(t, 0, bytes);
        m->bb_table[i]->var_table = t;
    }
    u4 cbytes = (m->bb_count - 1) * CONST_TABLE_BYTES;
    auto* cands = static_cast<u1*>(jit_wmem_alloc(m->pool2, cbytes));
    if (cands == nullptr)
        return 1;
    memset(cands, 0, cbytes);
    for (u4 i = 0; i + 1 < m->bb_count; i++) {
        m->bb_table[i]->cand_table = cands + i * CONST_TABLE_BYTES;
        m->bb_table[i]->cand_count = 0;
    }
    usage u{};
    u.m = m;
    u.mt = mt;
    u.mcand = static_cast<const_candidate*>(first->cand_table);
    u.vars = vars;
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        u.bt = static_cast<var_usage_entry*>(b->var_table);
        u.bcand = static_cast<const_candidate*>(b->cand_table);
        u.bcount = 0;
        u.block = i;
        u.block_flags = b->flags;
        u.weight = (b->flags & WEIGHT_MASK) != 0 ? (b->flags & WEIGHT_MASK) : 1;
        for (u4 k = 0; k < b->quad_count; k++)
            if (!(b->catbl[k]->opcount & QC_DELETED))
                count_quadruple(u, b->catbl[k]);
        b->cand_count = static_cast<u2>(u.bcount);
        first->cand_count = static_cast<u2>(u.mcount);
    }
    if (do_shrinking_and_sorting_lvar_tbl(m) != 0)
        return 1;
    if (loop_localreg_alloc(m) == 1)
        return 1;
    if (tile_reg_alloc(m, mt) == 1)
        return 1;
    if (m->bb_count > 1)
        m->bb_table[1]->tile_number = 0;
    return 0;
}
