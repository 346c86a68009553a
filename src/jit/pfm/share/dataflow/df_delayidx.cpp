// The two late peephole passes of the quadruple driver, run after the
// attribute tables are built and just before constraint back-propagation.
//
// Call marking (`dataflow_Q_spoptimize`) gives the last call-class quadruple
// of every block the QA_LAST_CALL mark, which the code generator reads to
// know that no call follows in the block.
//
// Delayed indexing (`dataflow_Q_delayed_index`) works on quadruples whose
// use positions are fresh (it needs the reaching-definition results, so it
// does nothing while they are stale):
//  - an int operation whose result a zero-test branch (OPC_IFZ) right after
//    it tests becomes one OPC_IOP2_BRANCH quadruple (operator in `op`, the
//    branch condition in `count`, the branch target in `target`); the branch
//    leaves the block;
//  - an index addition of a constant and the array access that uses its
//    result both get QB_NO_CODE, so that the code generator may fold the
//    constant into the access's address instead of computing the index.
//
// The fusion of a subtraction whose result dies with the branch is taken only
// for the equality conditions: the generator then emits a bare compare of the
// two sources, whose signed conditions differ from "difference < 0" when the
// subtraction overflows (MIN_VALUE - 1 is positive, yet MIN_VALUE < 1).
#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"

namespace {

constexpr u1 KB_LOCAL_INT = 0x11;          // a local of access class 0x10
constexpr u1 QF_LAST_USE = 0x01;           // operand flag: the local dies here
constexpr u1 QF_LAST_USE_LOW = 0x02;       // the same for the second slot of a long
constexpr u1 QF_USE_POSITION = 0x08;       // a destination's value word holds its use position
constexpr u4 USE_NONE_1 = 0;               // the two use positions that name no quadruple
constexpr u4 USE_NONE_2 = 0xFFFB0000u;
constexpr u4 NEAR_LIMIT = 40;              // distances for a source that stays live
constexpr u4 FAR_LIMIT = 200;              // and for one that dies at the addition

bool deleted(const quadruple* q) { return (q->opcount & QC_DELETED) != 0; }
u1 kind_of(u1 kind_byte) { return kind_byte & QK_KIND_MASK; }
u1 class_of(u1 kind_byte) { return kind_byte & 0xF0; }

bool fusable_operator(u2 op)
{
    switch (op) {
    case QOP_ADD: case QOP_SUB: case QOP_AND: case QOP_OR: case QOP_XOR: case QOP_SHL: case QOP_SHR: case QOP_USHR:
        return true;
    default:
        return false;
    }
}

// The fused branch reads the flags that the operation itself leaves.  Some
// operations leave none: the emitter drops x + 0, x - 0, x | 0, x ^ 0 and
// x & -1 as changing nothing, and a shift whose count is 0 modulo 32 sets
// no flags.  Such an operation is not fused in place (fault mended: with a
// constant 0 propagated into it, the branch tested stale flags).
bool may_leave_flags(const quadruple* p)
{
    u1 k = kind_of(p->src2.kind);
    bool constant = k == QK_IMMEDIATE || k == QK_NEG_IMMEDIATE || (k == QK_CONSTANT && class_of(p->src2.kind) == 0x10);
    s4 c = k == QK_IMMEDIATE ? static_cast<s4>(p->src2.number)
           : k == QK_NEG_IMMEDIATE ? -static_cast<s4>(p->src2.number) : static_cast<s4>(p->value);
    switch (p->op) {
    case QOP_SHL: case QOP_SHR: case QOP_USHR: return !constant || (c & 31) == 0;
    case QOP_ADD: case QOP_SUB: case QOP_OR: case QOP_XOR: return constant && c == 0;
    case QOP_AND: return constant && c == -1;
    default: return false;
    }
}

// p (the quadruple before the branch q) and q fuse into one OPC_IOP2_BRANCH.
bool try_fuse(quadruple* p, const quadruple* q)
{
    if (q->opcode != OPC_IFZ || q->src1.kind != KB_LOCAL_INT)
        return false;
    if (p->opcode != OPC_IOP2 || !fusable_operator(p->op) || p->result.kind != KB_LOCAL_INT
        || p->result.number != q->src1.number || deleted(p))
        return false;
    bool in_place = p->src1.kind == KB_LOCAL_INT && p->src1.number == p->result.number && !may_leave_flags(p);
    bool dies = (q->src1.flags & QF_LAST_USE) != 0;
    bool compare_only = !in_place && dies
                        && (p->op == QOP_AND || (p->op == QOP_SUB && (q->op == QCC_EQ || q->op == QCC_NE)));
    if (!in_place && !compare_only)
        return false;
    p->opcode = OPC_IOP2_BRANCH;
    p->count = q->op;
    p->target = q->target;
    return true;
}

bool is_index_load(u1 op)
{
    return op == OPC_IALOAD || op == OPC_LALOAD || op == OPC_FALOAD || op == OPC_DALOAD || op == OPC_AALOAD;
}
bool is_index_store(u1 op)
{
    return op == OPC_IASTORE || op == OPC_LASTORE || op == OPC_FASTORE || op == OPC_DASTORE || op == OPC_AASTORE;
}

// The access u indexes with local n.
bool indexes_with(const quadruple* u, u2 n)
{
    if (is_index_load(u->opcode))
        return kind_of(u->src2.kind) == QK_VARIABLE && u->src2.number == n;
    if (is_index_store(u->opcode) && (u->opcount & QC_SRC_MASK) == QC_SRC_LIST) {
        const quad_operand_list_entry* e = quad_list_head(u);
        if (e == nullptr || (e = e->next) == nullptr)
            return false;
        return kind_of(static_cast<u1>(e->kind)) == QK_VARIABLE && e->number == n;
    }
    return false;
}

// q writes local n (a one-slot int local, or either slot of a long).
bool writes(const quadruple* q, u2 n)
{
    if (kind_of(q->result.kind) != QK_VARIABLE)
        return false;
    if (class_of(q->result.kind) == 0x10)
        return q->result.number == n;
    if (class_of(q->result.kind) == 0x30)
        return q->result.number == n || q->result.number + 1 == n;
    return false;
}

bool last_use_of(u1 kind_byte, u1 flags, u2 number, u2 n)
{
    if (kind_of(kind_byte) != QK_VARIABLE)
        return false;
    if (number == n && (flags & QF_LAST_USE))
        return true;
    return class_of(kind_byte) == 0x30 && number + 1 == n && (flags & QF_LAST_USE_LOW);
}

// q reads local n for the last time.
bool ends_local(const quadruple* q, u2 n)
{
    switch (q->opcount & QC_SRC_MASK) {
    case 2:
        if (last_use_of(q->src2.kind, q->src2.flags, q->src2.number, n))
            return true;
        [[fallthrough]];
    case 1:
        return last_use_of(q->src1.kind, q->src1.flags, q->src1.number, n);
    case QC_SRC_LIST:
        for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            if (last_use_of(static_cast<u1>(e->kind), static_cast<u1>(e->kind >> 8), e->number, n))
                return true;
        return false;
    default:
        return false;
    }
}

// The index addition q at position i of block b and its array access.
void try_mark_index(method_compile_context* m, bbattr* b, u4 i)
{
    quadruple* q = b->catbl[i];
    if (q->opcode != OPC_IOP2 || (q->op != QOP_ADD && q->op != QOP_SUB))
        return;
    u1 k3 = kind_of(q->src2.kind);
    if (k3 < QK_IMMEDIATE || k3 > QK_CONST_PTR || !(q->result.flags & QF_USE_POSITION))
        return;
    u4 use = q->result.value;
    if (use == USE_NONE_1 || use == USE_NONE_2 || quad_ref_block(use) != b->id)
        return;
    u4 j = quad_ref_index(use);
    if (j <= i || j >= b->quad_count)
        return;
    quadruple* u = b->catbl[j];
    if (deleted(u) || !indexes_with(u, q->result.number) || kind_of(q->src1.kind) != QK_VARIABLE)
        return;
    if (j > i + 1) {
        u2 n = q->src1.number;
        bool dies = (q->src1.flags & QF_LAST_USE) != 0;
        if (j - i > (dies ? FAR_LIMIT : NEAR_LIMIT))
            return;
        for (u4 k = i; k < j; k++) {
            const quadruple* r = b->catbl[k];
            if (deleted(r))
                continue;
            if (writes(r, n) || (!dies && ends_local(r, n)))
                return;
        }
    }
    q->flags_b |= QB_NO_CODE;
    u->flags_b |= QB_NO_CODE;
}

} // namespace

int dataflow_Q_spoptimize(method_compile_context* m)
{
    if (m->bb_count < 3)
        return 0;
    for (u4 id = m->bb_count - 2; id >= 1; id--) {
        bbattr* b = m->bb_table[id];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 k = b->quad_count; k-- > 0;) {
            quadruple* q = b->catbl[k];
            if (deleted(q) || !(opc_info_quadruple[q->opcode] & OPA_CALL) || q->opcode == OPC_CLINIT)
                continue;
            q->flags_a |= QA_LAST_CALL;
            break;
        }
    }
    return 0;
}

int dataflow_Q_delayed_index(method_compile_context* m)
{
    if ((compile_option3_flag & OPT3_NQDELAYEDINDEX) || (m->state_flags & MCC_REACHDEF_STALE) || m->bb_count < 3)
        return 0;
    for (u4 id = m->bb_count - 2; id >= 1; id--) {
        bbattr* b = m->bb_table[id];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 i = b->quad_count; i-- > 0;) {
            quadruple* q = b->catbl[i];
            if (deleted(q))
                continue;
            if (i > 0 && i + 1 == b->quad_count && try_fuse(b->catbl[i - 1], q)) {
                b->quad_count--;
                m->total_quad_count--;
                continue;
            }
            try_mark_index(m, b, i);
        }
    }
    return 0;
}
