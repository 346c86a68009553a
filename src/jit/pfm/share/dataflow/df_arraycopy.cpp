// Inlined array copies seen by the use-def chain pass: an array-copy
// quadruple (its operand list: source array, source position, destination
// array, destination position, length) learns from the chains that its two
// regions cannot overlap, and which of its int arguments are constants, so
// that the generated copy can drop the matching run-time tests.
//
// No overlap is proved when source and destination are fresh allocations
// made by two different quadruples (one value, reaching through copies, is
// never two fresh arrays), or when the three int arguments are constants
// s, d and n with the regions [s, s+n) and [d, d+n) apart.
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u2 AC_SRCPOS_CONSTANT = 0x20, AC_DSTPOS_CONSTANT = 0x40, AC_LENGTH_CONSTANT = 0x80;

quadruple* defining_quad(method_compile_context* m, quad_ref r)
{
    u4 block = quad_ref_block(r), index = quad_ref_index(r);
    if (r == 0 || block == 0 || block >= m->bb_count)
        return nullptr;
    const bbattr* b = m->bb_table[block];
    if ((b->flags & BB_DEAD) || index >= b->quad_count || df_deleted(b->catbl[index]))
        return nullptr;
    return b->catbl[index];
}

// The fresh allocation a list entry's value comes from (through copies with
// one definition each), or 0.
quad_ref fresh_array(method_compile_context* m, quad_operand_list_entry* e)
{
    const df_operand* o = df_opnd(e);
    if (!df_is_local(o) || !(o->kind & DFO_SINGLE_REF))
        return 0;
    quad_ref r = o->chain;
    for (int i = 0; i < 64 && r != 0; i++) {
        const quadruple* q = defining_quad(m, r);
        if (q == nullptr)
            return 0;
        if (q->opcode == OPC_NEWARRAY || q->opcode == OPC_ANEWARRAY)
            return quad_unresolved(q) ? 0 : r;
        if (!(opc_info_quadruple[q->opcode] & OPA_COPY) || df_shape(q) != 1
            || quad_operand_kind(q->src1) != QK_VARIABLE
            || !(df_opnd(const_cast<quad_operand*>(&q->src1))->kind & DFO_SINGLE_REF))
            return 0;
        r = df_opnd(const_cast<quad_operand*>(&q->src1))->chain;
    }
    return 0;
}

// The constant a list entry holds (small constants only).
bool small_constant(const quad_operand_list_entry* e, s4* value)
{
    u1 kind = e->kind & QK_KIND_MASK;
    if (kind == QK_IMMEDIATE) {
        *value = e->number;
        return true;
    }
    if (kind == QK_NEG_IMMEDIATE) {
        *value = -static_cast<s4>(e->number);
        return true;
    }
    return false;
}

bool entries(quadruple* q, quad_operand_list_entry** e)
{
    quad_operand_list_entry* x = df_shape(q) == QC_SRC_LIST ? quad_list_head(q) : nullptr;
    for (int i = 0; i < 5; i++) {
        if (x == nullptr)
            return false;
        e[i] = x;
        x = x->next;
    }
    return true;
}

} // namespace

void classify_arraycopy_overlap(method_compile_context* m, bbattr*, quadruple** slot)
{
    quadruple* q = *slot;
    quad_operand_list_entry* e[5];
    if (q->op != 0 || !entries(q, e))
        return;
    quad_ref src = fresh_array(m, e[0]), dst = fresh_array(m, e[2]);
    if (src != 0 && dst != 0 && src != dst) {
        q->op = 1;
        return;
    }
    s4 s, d, n;
    if (small_constant(e[1], &s) && small_constant(e[3], &d) && small_constant(e[4], &n)
        && !(d - n < s && s < d + n))
        q->op = 1;
}

void flag_arraycopy_constants(method_compile_context*, bbattr*, quadruple** slot)
{
    quadruple* q = *slot;
    quad_operand_list_entry* e[5];
    if (!entries(q, e))
        return;
    const u2 flags[3] = {AC_SRCPOS_CONSTANT, AC_DSTPOS_CONSTANT, AC_LENGTH_CONSTANT};
    const int at[3] = {1, 3, 4};
    for (int i = 0; i < 3; i++)
        if ((e[at[i]]->kind & QK_KIND_MASK) == QK_IMMEDIATE)
            q->subcode |= flags[i];
}
