// Array, field, class-initialisation, allocation and guard lowering in the
// stack pass: the implicit run-time work of these quadruples becomes explicit
// quadruples in front of (or after) them.
//
// Array accesses (element loads and stores, OPC_EADDR): the array's null
// check, then the bounds check through the array length in the temporary
// T = P+1, unless the sub-code word's bits 7 and 8 say they are not needed;
// a reference store always gets the store check (length, element class of
// the array, type check of the value).  Stack positions of the array A and
// the index J, from the top P before the access:
//   loads, float and double stores, OPC_EADDR   A = P-1, J = P
//   int and reference stores                    A = P-2, J = P-1
//   long store                                  A = P-3, J = P-2
//
// Objects: null checks in front of field accesses, monitors, arraylength and
// athrow (the object is the top integer-class word, below the value of an
// int or reference store, two below the value of a long store); class
// initialisation in front of static accesses, string constants and `new` of
// classes not initialised at compile time (after the allocation for arrays);
// zeroing stores after the allocation of a small object or array; the
// method-table loads of the inlining guards; and the expansion of a
// multi-slot pop into single pops.
//
// Decisions that depend on a class being initialised are taken again in the
// transform phase; a class initialised by another thread in between only
// makes the block use fewer of its reserved quadruples.
#include <stdio.h>

#include "driver/driver.h"
#include "frontend/stackpass.h"

namespace {

bool may_be_null(const quadruple* q) { return (q->subcode & QS_NO_NULLCHECK) == 0; }
bool needs_bounds_check(const quadruple* q) { return (q->subcode & QS_NO_BOUNDCHECK) == 0; }
bool unresolved(const quadruple* q) { return (q->subcode & QS_UNRESOLVED) != 0; }

// Sub-codes of OPC_IFNULL made by the inlining guards.
constexpr u4 GUARD_METHODBLOCK = 1;     // compares the receiver's method block
constexpr u4 GUARD_METHODTABLE = 2;     // compares the receiver's method table

// Positions of the array and the index of an access, relative to P.
void array_operands(u1 opcode, int* a, int* j)
{
    switch (opcode) {
    case OPC_IASTORE:
    case OPC_AASTORE:
        *a = -2, *j = -1;
        break;
    case OPC_LASTORE:
        *a = -3, *j = -2;
        break;
    default:
        *a = -1, *j = 0;
        break;
    }
}

// Entry `index` of the constant pool of the block's method when it holds a
// resolved entry of the given tag, else none.
u4 resolved_entry(const bbattr* b, u4 index, u1 tag)
{
    if (b->mb == nullptr || b->mb->clazz == nullptr || index == 0)
        return 0;
    const classblock* cb = b->mb->clazz;
    if (cb->constantpool == nullptr || index >= cb->constantpool_count)
        return 0;
    const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
    return tags[index] == (CONSTANT_RESOLVED | tag) ? cb->constantpool[index] : 0;
}

// Class block of new, anewarray and multianewarray: the aux pointer, or the
// resolved class entry of the operator word's index.
classblock* allocation_class(const bbattr* b, const quadruple* q)
{
    if (unresolved(q))
        return nullptr;
    if (q->aux != 0)
        return reinterpret_cast<classblock*>(q->aux);
    return reinterpret_cast<classblock*>(resolved_entry(b, q->op, CONSTANT_Class));
}

// The class a quadruple must initialise before it runs, or none.
classblock* class_needing_init(const bbattr* b, const quadruple* q)
{
    classblock* cb = nullptr;
    switch (q->opcode) {
    case OPC_LDC:
        if (!unresolved(q))
            cb = orva_class(orva_classJavaLangString);
        break;
    case OPC_NEW:
    case OPC_ANEWARRAY:
    case OPC_MULTIANEWARRAY:
        cb = allocation_class(b, q);
        break;
    default:
        cb = sp_static_field_class(b, q);
        break;
    }
    return cb != nullptr && !sp_class_initialised(cb) ? cb : nullptr;
}

// Number of zeroing stores after an initialised `new`: the field count of a
// small primitive instance, else 0.
u4 zeroing_field_count(stack_pass_state* s, const quadruple* q)
{
    classblock* cb = allocation_class(s->block, q);
    if (cb == nullptr || !sp_class_initialised(cb))
        return 0;
    u4 n = 0;
    return is_small_primitive_instance(s->m, cb, &n) ? n : 0;
}

// Constant length of a `newarray` made right after its constant (1..3), else 0.
u4 small_array_length(stack_pass_state* s)
{
    if (s->read == s->old_catbl)
        return 0;
    const quadruple* prev = s->read[-1];
    if (prev->opcode != OPC_ICONST)
        return 0;
    u4 length = prev->value;
    return is_small_count(s->m, &length) ? length : 0;
}

// Position of the object a null check tests, relative to P.
int object_position(u1 opcode)
{
    switch (opcode) {
    case OPC_IPUTFIELD:
    case OPC_APUTFIELD:
        return -1;
    case OPC_LPUTFIELD:
        return -2;
    default:
        return 0;
    }
}

bool null_checked_object(u1 opcode)
{
    return opcode == OPC_MONITOR || (opcode >= OPC_IGETFIELD && opcode <= OPC_APUTFIELD)
           || opcode == OPC_ARRAYLENGTH || opcode == OPC_ATHROW;
}

// One operand of a quadruple the pass makes: a kind byte and a stack-relative
// number (the conversion to the final form adds the locals' base to the
// numbers of variables).  The kind matters: the copied quadruple's kinds were
// cleared, and an operand of kind 0 is no operand to any later stage, which
// neither shifts its number nor sees it as read or written.
struct opnd {
    u1 kind;
    u4 number;
};
constexpr opnd NONE{0, QUAD_NO_NUMBER};
opnd ref(s4 n) { return {KB_REF, static_cast<u4>(n) & 0xFFFF}; }
opnd word(s4 n) { return {KB_INT, static_cast<u4>(n) & 0xFFFF}; }
opnd vmptr(s4 n) { return {KB_VMPTR, static_cast<u4>(n) & 0xFFFF}; }

void put(quad_operand& o, opnd v)
{
    if (v.kind == 0)
        return;
    o.kind = v.kind;
    o.number = static_cast<u2>(v.number);
}

// A copy of q with a new opcode and the given operands (NONE leaves one as
// the copy has it).
quadruple* derived(stack_pass_state* s, const quadruple* q, u1 opcode, opnd result, opnd src1, opnd src2)
{
    quadruple* c = sp_clone(s, q);
    c->opcode = opcode;
    put(c->result, result);
    put(c->src1, src1);
    put(c->src2, src2);
    return c;
}

int transform_multi_pop(stack_pass_state* s, quadruple* q)
{
    if (q->op == 0) {
        sp_make_placeholder(q);
        return sp_store(s, q);
    }
    const s4 P = static_cast<int16_t>(s->P), Pa = static_cast<int16_t>(s->Pa);
    const s4 F = static_cast<int16_t>(s->F), Fa = static_cast<int16_t>(s->Fa);
    for (s4 k = 0; k < F - Fa; k++) {
        quadruple* pop = derived(s, q, OPC_POP, NONE, NONE, NONE);
        quad_set_ftops(pop, static_cast<u2>(F - k), static_cast<u2>(F - k - 1));
        if (sp_store(s, pop) != 0)
            return 1;
    }
    s4 p = P;
    bool receiver_checked = (q->subcode & QS_KIND_MASK) != 0;
    s4 pops = receiver_checked ? P - Pa - 1 : P - Pa;
    for (s4 i = 0; i < pops; i++, p--) {
        quadruple* pop = derived(s, q, OPC_POP, NONE, NONE, NONE);
        quad_set_itops(pop, static_cast<u2>(p), static_cast<u2>(p - 1));
        if (sp_store(s, pop) != 0)
            return 1;
    }
    if (!receiver_checked)
        return 0;
    // The mark itself stands for the deepest word, the receiver.
    quad_set_itops(q, static_cast<u2>(p), static_cast<u2>(p - 1));
    return sp_store(s, q);
}

} // namespace

classblock* sp_static_field_class(const bbattr* b, const quadruple* q)
{
    if (unresolved(q) || q->opcode < OPC_IGETSTATIC || q->opcode > OPC_APUTSTATIC)
        return nullptr;
    const fieldblock* fb = q->op != 0 ? reinterpret_cast<const fieldblock*>(resolved_entry(b, q->op, CONSTANT_Fieldref))
                                      : reinterpret_cast<const fieldblock*>(q->aux);
    return fb != nullptr ? fb->clazz : nullptr;
}

u4 sp_count_array(stack_pass_state* s, quadruple* q)
{
    bool null = may_be_null(q), bounds = needs_bounds_check(q);
    if (q->opcode == OPC_AASTORE)
        return null && bounds ? 5 : null || bounds ? 4 : 3;
    return (null ? 1 : 0) + (bounds ? 2 : 0);
}

int sp_transform_array(stack_pass_state* s, quadruple* q)
{
    const s4 P = static_cast<int16_t>(s->P);
    int a, j;
    array_operands(q->opcode, &a, &j);
    const s4 A = P + a, J = P + j, T = P + 1;
    bool null = may_be_null(q), bounds = needs_bounds_check(q), store_check = q->opcode == OPC_AASTORE;
    if (bounds || store_check)
        sp_raise_int_height(s, P + 2);
    if (null && sp_store(s, derived(s, q, OPC_NULLCHECK, NONE, ref(A), NONE)) != 0)
        return 1;
    if (bounds || store_check) {
        if (sp_store(s, derived(s, q, OPC_ARRAYLENGTH_MARK, word(T), ref(A), NONE)) != 0)
            return 1;
    }
    if (bounds) {
        u1 check = q->opcode == OPC_EADDR && (q->target & 0xFFFF) != 0 ? OPC_SIZECHECK_RANGE : OPC_SIZECHECK;
        if (sp_store(s, derived(s, q, check, NONE, word(J), word(T))) != 0)
            return 1;
    }
    if (store_check) {
        // The element class lies after the last element: T, the length,
        // indexes it and then holds it.
        if (sp_store(s, derived(s, q, OPC_PALOAD, word(T), ref(A), word(T))) != 0)
            return 1;
        if (sp_store(s, derived(s, q, OPC_CLASSTYPECHECK, NONE, word(T), ref(P))) != 0)
            return 1;
    }
    return sp_store(s, q);
}

u4 sp_count_object(stack_pass_state* s, quadruple* q)
{
    const bbattr* b = s->block;
    u1 op = q->opcode;
    if (null_checked_object(op))
        return may_be_null(q) ? 1 : 0;
    switch (op) {
    case OPC_LDC:
    case OPC_ANEWARRAY:
    case OPC_MULTIANEWARRAY:
        return class_needing_init(b, q) != nullptr ? 1 : 0;
    case OPC_NEW:
        if (unresolved(q))
            return 0;
        if (class_needing_init(b, q) != nullptr)
            return 1;
        return zeroing_field_count(s, q);
    case OPC_NEWARRAY:
        return small_array_length(s);
    case OPC_IFNULL:
        switch (q->subcode & QS_KIND_MASK) {
        case GUARD_METHODTABLE: return 2;
        case GUARD_METHODBLOCK: return 3;
        default: return 0;
        }
    case OPC_NULLCHECK_MARK:
        return q->op > 0 ? q->op - 1u : 0;
    default:
        if (op >= OPC_IGETSTATIC && op <= OPC_APUTSTATIC)
            return class_needing_init(b, q) != nullptr ? 1 : 0;
        return 0;
    }
}

int sp_transform_object(stack_pass_state* s, quadruple* q)
{
    const bbattr* b = s->block;
    const s4 P = static_cast<int16_t>(s->P);
    u1 op = q->opcode;
    if (null_checked_object(op)) {
        if (may_be_null(q)) {
            quadruple* check = derived(s, q, OPC_NULLCHECK, NONE, ref(P + object_position(op)), NONE);
            if (op == OPC_ATHROW)
                check->flags_a |= QA_NULLCHECK_VARIANT;
            if (sp_store(s, check) != 0)
                return 1;
        }
        return sp_store(s, q);
    }
    switch (op) {
    case OPC_ANEWARRAY:
    case OPC_MULTIANEWARRAY: {
        classblock* cb = class_needing_init(b, q);
        if (cb == nullptr)
            return sp_store(s, q);
        // The allocation first; the initialisation after it generates no code.
        if (sp_store(s, sp_clone(s, q)) != 0)
            return 1;
        q->opcode = OPC_CLINIT;
        q->flags_a |= QA_CLINIT_EMPTY;
        q->value = reinterpret_cast<u4>(cb);
        return sp_store(s, q);
    }
    case OPC_NEW: {
        if (unresolved(q))
            return sp_store(s, q);
        if (classblock* cb = class_needing_init(b, q)) {
            quadruple* init = derived(s, q, OPC_CLINIT, NONE, NONE, NONE);
            init->value = reinterpret_cast<u4>(cb);
            if (sp_store(s, init) != 0)
                return 1;
            return sp_store(s, q);
        }
        u4 n = zeroing_field_count(s, q);
        // Without room (the class was initialised after the count phase)
        // the allocation zeroes the object itself.
        if (n != 0 && s->write + 1 + n <= s->write_limit) {
            q->flags_b |= QB_ZERO_INIT;
            if (sp_store(s, q) != 0)
                return 1;
            s->write = gen_instance_field_init_quads(s->m, s->write - 1, q, s->Pa, allocation_class(b, q)) + 1;
            return 0;
        }
        return sp_store(s, q);
    }
    case OPC_NEWARRAY: {
        u4 length = small_array_length(s);
        if (length != 0 && s->write + 1 + length <= s->write_limit) {
            q->flags_b |= QB_ZERO_INIT;
            if (sp_store(s, q) != 0)
                return 1;
            s->write = gen_array_zero_init_quads(s->m, 0, s->write - 1, q, s->Pa, length) + 1;
            return 0;
        }
        return sp_store(s, q);
    }
    case OPC_IFNULL: {
        u4 guard = q->subcode & QS_KIND_MASK;
        if (guard != GUARD_METHODTABLE && guard != GUARD_METHODBLOCK)
            return sp_store(s, q);
        if (sp_store(s, derived(s, q, OPC_NULLCHECK, NONE, ref(P), NONE)) != 0)
            return 1;
        if (sp_store(s, derived(s, q, OPC_LOAD_METHODTABLE, vmptr(P + 1), ref(P), NONE)) != 0)
            return 1;
        if (guard == GUARD_METHODTABLE) {
            q->opcode = OPC_MTADDRESSCHECK;
            put(q->src1, vmptr(P + 1));
            sp_raise_int_height(s, P + 2);
            return sp_store(s, q);
        }
        // The second source is the callee's method-table slot, an immediate.
        const opnd slot{KB_INT_IMM, q->src2.value & 0xFFFF};
        if (sp_store(s, derived(s, q, OPC_LOAD_METHODBLOCK, vmptr(P + 2), vmptr(P + 1), slot)) != 0)
            return 1;
        q->opcode = OPC_METHODBLOCKCHECK;
        put(q->src1, vmptr(P + 2));
        sp_raise_int_height(s, P + 3);
        return sp_store(s, q);
    }
    case OPC_NULLCHECK_MARK:
        return transform_multi_pop(s, q);
    default: {
        // Static accesses and string constants.
        if (classblock* cb = class_needing_init(b, q)) {
            quadruple* init = derived(s, q, OPC_CLINIT, NONE, NONE, NONE);
            init->value = reinterpret_cast<u4>(cb);
            if (sp_store(s, init) != 0)
                return 1;
        }
        return sp_store(s, q);
    }
    }
}
