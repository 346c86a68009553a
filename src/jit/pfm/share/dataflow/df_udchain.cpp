// The use-def chain pass: one walk over the quadruples that leans on the
// chains of reaching definitions.  It removes every quadruple that no side
// effect and no possible exception depends on (mark and sweep along the
// use-def chains), removes class checks the chains prove unnecessary (casts
// and array-store checks of values known to be assignable), turns calls of
// System.arraycopy into inlined array copies and classifies them, folds a single-use temporary into the quadruple that
// consumes it, fuses an array element's load, add and store into one
// read-modify-write quadruple, and removes counted loops whose whole work is
// dead (then it starts over).
//
// Requires fresh chains (state bit MCC_REACHDEF_STALE clear) and a method
// without exception handlers and subroutines; keeps the chains exact.
//
// What is a root of the marking: a quadruple that may raise, writes memory,
// calls out, ends the block or copies an argument, a pin-down, and every
// quadruple whose destination is not a local: values in the x87 accumulator
// or in argument slots have no chains, so their producers must stay; and the
// quadruples that mark a place for the code generator (df_always_kept).
//
// Mended: a class name is compared whole, never as a prefix, so an array of
// class "FooBar" never passes a value of class "Foo" without its store
// check; the read-modify-write fusion requires the operation to read the
// loaded value as its first operand and to write it back to the same local;
// a dead dereference whose null-pointer exception an unflagged check was to
// hand to it goes only with that check flagged to stay, and stays when no
// such check or proof is found.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "driver/vmlink.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 SIDE_EFFECT_MASK = 0x80078;        // keeps a quadruple whatever its result
constexpr u4 LOOP_ESCAPE_MASK = 0x80058;        // keeps a loop from being removed
constexpr u4 FOLD_READS = OPA_READS_MEMORY | OPA_REGISTER_ONLY;
constexpr u1 MARKED = 1;
constexpr int COPY_FOLLOW_LIMIT = 64;           // copy chains longer than this are not followed
constexpr u4 NAME_BUFFER = 128;

struct ud_pass {
    method_compile_context* m;
    dataflow_pass_context* pc;
    u1** slice;             // per block: its marks, or null when the block is passed over
    u8* loop_sets;
    quad_ref* stack;
    u4* order;
    u4 order_count;
};

bool chains_fresh(const method_compile_context* m) { return !(m->state_flags & MCC_REACHDEF_STALE); }

} // namespace

quadruple* quad_of(const method_compile_context* m, quad_ref r)
{
    u4 block = quad_ref_block(r), index = quad_ref_index(r);
    if (r == 0 || block == 0 || block >= m->bb_count)
        return nullptr;
    const bbattr* b = m->bb_table[block];
    if ((b->flags & BB_DEAD) || index >= b->quad_count)
        return nullptr;
    quadruple* q = b->catbl[index];
    return df_deleted(q) ? nullptr : q;
}

// The one definition of a use, or 0 when it has none or several.
quad_ref single_def(const df_operand* o)
{
    return (o->kind & DFO_SINGLE_REF) ? static_cast<quad_ref>(o->chain) : 0;
}

namespace {

bool at_entry(quad_ref r) { return r != 0 && quad_ref_block(r) == 0; }

bool same_value(const quad_operand& a, const quad_operand& b) { return a.kind == b.kind && a.number == b.number; }

// From a definition, back through reference copies to where the value was
// made; 0 when a link has more than one definition.  A definition at method
// entry is its own origin.
quad_ref origin_of(const method_compile_context* m, quad_ref r)
{
    for (int i = 0; i < COPY_FOLLOW_LIMIT; i++) {
        if (r == 0 || at_entry(r))
            return r;
        const quadruple* q = quad_of(m, r);
        if (q == nullptr)
            return 0;
        if (!(opc_info_quadruple[q->opcode] & OPA_COPY) || df_shape(q) != 1)
            return r;
        const df_operand* s = df_opnd(const_cast<quad_operand*>(&q->src1));
        if (!df_is_local(s) || df_type(s) != df_type(df_opnd(const_cast<quad_operand*>(&q->result))))
            return 0;
        r = single_def(s);
    }
    return 0;
}

} // namespace

// The class named by a resolved quadruple's constant-pool entry.
classblock* quad_classblock(const quadruple* q)
{
    if (quad_unresolved(q))
        return nullptr;
    if (q->aux != 0)
        return reinterpret_cast<classblock*>(q->aux);
    const auto* mb = reinterpret_cast<const methodblock*>(q->context);
    if (mb == nullptr || mb->clazz == nullptr || mb->clazz->constantpool == nullptr || q->op == 0)
        return nullptr;
    return reinterpret_cast<classblock*>(mb->clazz->constantpool[q->op]);
}

const fieldblock* quad_field(const quadruple* q, bool is_static)
{
    if (quad_unresolved(q))
        return nullptr;
    if (q->aux != 0)
        return reinterpret_cast<const fieldblock*>(q->aux);
    const auto* mb = reinterpret_cast<const methodblock*>(q->context);
    u4 index = (is_static ? q->op : q->target) & 0xFFFF;
    if (mb == nullptr || mb->clazz == nullptr || mb->clazz->constantpool == nullptr || index == 0)
        return nullptr;
    return reinterpret_cast<const fieldblock*>(mb->clazz->constantpool[index]);
}

namespace {

bool names_equal(const char* a, const char* b) { return a != nullptr && b != nullptr && strcmp(a, b) == 0; }

// The VM's subclass test; a missing service or thread answers no.
bool vm_subclass(classblock* cb, classblock* super)
{
    if (cb == nullptr || super == nullptr || vm.is_subclass_of == nullptr || vm.EE == nullptr)
        return false;
    EE* ee = vm.EE();
    return ee != nullptr && vm.is_subclass_of(cb, super, ee) != 0;
}

bool is_null_constant(const quad_operand& o)
{
    return quad_operand_kind(o) == QK_IMMEDIATE && quad_operand_type(o) == QT_REF && o.number == 0;
}

// ---- marking ---------------------------------------------------------------------------

u1* mark_of(ud_pass& p, quad_ref r)
{
    u4 block = quad_ref_block(r), index = quad_ref_index(r);
    if (block == 0 || block >= p.m->bb_count || p.slice[block] == nullptr)
        return nullptr;
    if (index >= p.m->bb_table[block]->quad_count)
        return nullptr;
    return &p.slice[block][index];
}

// Marks the quadruple and, through the use-def chains, everything it reads.
void mark_from(ud_pass& p, u4 block, u4 index)
{
    u4 depth = 0;
    p.slice[block][index] = MARKED;
    p.stack[depth++] = make_quad_ref(block, index);
    while (depth > 0) {
        quad_ref r = p.stack[--depth];
        quadruple* q = p.m->bb_table[quad_ref_block(r)]->catbl[quad_ref_index(r)];
        df_for_each_source(q, [&](df_operand* o) {
            df_for_each_ref(o, [&](quad_ref d) {
                u1* mark = mark_of(p, d);
                if (mark == nullptr || *mark == MARKED)
                    return;
                quadruple* def = quad_of(p.m, d);
                if (def == nullptr)
                    return;
                *mark = MARKED;
                p.stack[depth++] = d;
            });
        });
    }
}

// ---- null-check duty -------------------------------------------------------------------
//
// A dereference that raises no null-pointer exception of its own may owe
// that to an unflagged null check before it: such a check is removed late
// and hands its exception to the dereferences of its local that follow.  A
// dereference that goes must leave that check flagged, so that it stays; when
// no proof and no such check is found in its block it may not go at all.

constexpr u1 KIND_REF_LOCAL = QK_VARIABLE | QT_REF << QT_SHIFT;

// The object local of a dereference (its first source or list entry), or -1.
s4 dereferenced_local(const quadruple* q)
{
    if (q->opcode == OPC_NULLCHECK || !(opc_info_quadruple[q->opcode] & OPA_MAY_RAISE))
        return -1;
    if (df_shape(q) == QC_SRC_LIST) {
        const quad_operand_list_entry* e = quad_list_head(q);
        return e != nullptr && static_cast<u1>(e->kind & 0xFF) == KIND_REF_LOCAL ? e->number : -1;
    }
    return q->src1.kind == KIND_REF_LOCAL ? q->src1.number : -1;
}

bool defines_local(const quadruple* q, s4 x)
{
    if (quad_operand_kind(q->result) != QK_VARIABLE)
        return false;
    s4 n = q->result.number;
    return n == x || (df_two_slot_type(quad_operand_type(q->result)) && n + 1 == x);
}

bool makes_object(const quadruple* q)
{
    return q->opcode == OPC_NEW || q->opcode == OPC_NEWARRAY || q->opcode == OPC_ANEWARRAY;
}

enum duty { DUTY_NONE, DUTY_CHECK, DUTY_UNKNOWN };

// Who raises the null-pointer exception of the dereference at `index`
// (exception class "cannot raise"): nobody needed (DUTY_NONE), the unflagged
// check at *check (DUTY_CHECK), or unknown.  With `marks`, a kept dereference
// of the local between them has taken the duty over.
duty null_duty(const bbattr* b, u4 index, const u1* marks, u4* check)
{
    s4 x = dereferenced_local(b->catbl[index]);
    if (x < 0)
        return DUTY_NONE;
    for (u4 k = index; k-- > 0;) {
        const quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        if (q->opcode == OPC_NULLCHECK && q->src1.kind == KIND_REF_LOCAL && q->src1.number == x) {
            if (q->flags_a & QA_NULLCHECK_VARIANT)
                return DUTY_NONE;
            *check = k;
            return DUTY_CHECK;
        }
        if (dereferenced_local(q) == x
            && (df_exception_class(q) != DF_CANNOT_RAISE || (marks != nullptr && marks[k] == MARKED)))
            return DUTY_NONE;
        if (defines_local(q, x))
            return makes_object(q) ? DUTY_NONE : DUTY_UNKNOWN;
    }
    return DUTY_UNKNOWN;
}

bool is_root(const bbattr* b, u4 index)
{
    const quadruple* q = b->catbl[index];
    u4 check;
    return df_exception_class(q) != DF_CANNOT_RAISE || (opc_info_quadruple[q->opcode] & SIDE_EFFECT_MASK)
           || df_always_kept(q->opcode) || quad_operand_kind(q->result) != QK_VARIABLE
           || null_duty(b, index, nullptr, &check) == DUTY_UNKNOWN;
}

// ---- class checks ----------------------------------------------------------------------

// The type name of the value an origin quadruple makes, with its class when
// known; null when unknown.  Object arrays get "[L" name ";" in `buffer`.
const char* origin_type(method_compile_context* m, const quadruple* o, classblock** cls, char* buffer)
{
    *cls = nullptr;
    switch (o->opcode) {
    case OPC_NEW: {
        classblock* cb = quad_classblock(o);
        *cls = cb;
        return cb != nullptr ? cb->name : nullptr;
    }
    case OPC_LDC:
        return quad_unresolved(o) ? nullptr : "java/lang/String";
    case OPC_ANEWARRAY: {
        classblock* cb = quad_classblock(o);
        if (cb == nullptr || cb->name == nullptr)
            return nullptr;
        size_t need = strlen(cb->name) + 4;
        char* text = buffer;
        if (need > NAME_BUFFER)
            text = static_cast<char*>(jit_wmem_alloc(m->pool1, static_cast<u4>(need)));
        snprintf(text, need, "[L%s;", cb->name);
        return text;
    }
    default:
        return nullptr;
    }
}

// A cast whose operand is known to be of the target class goes.
bool remove_cast(ud_pass& p, u4 block, u4 index)
{
    quadruple* q = p.m->bb_table[block]->catbl[index];
    if (is_null_constant(q->src1)) {
        ChangeNOP(p.m, static_cast<s4>(block), static_cast<s4>(index));
        return true;
    }
    if (quad_unresolved(q) || quad_operand_kind(q->src1) != QK_VARIABLE)
        return false;
    quad_ref def = single_def(df_opnd(&q->src1));
    if (def == 0 || at_entry(def))
        return false;
    classblock* target = quad_classblock(q);
    if (target == nullptr || target->name == nullptr)
        return false;
    bool known = names_equal(target->name, "java/lang/Object");
    if (!known) {
        const quadruple* origin = quad_of(p.m, origin_of(p.m, def));
        if (origin != nullptr && (origin->opcode == OPC_NEW || origin->opcode == OPC_LDC)) {
            classblock* cls;
            char buffer[NAME_BUFFER];
            const char* name = origin_type(p.m, origin, &cls, buffer);
            known = names_equal(name, target->name) || vm_subclass(cls, target);
        }
    }
    if (known)
        ChangeNOP(p.m, static_cast<s4>(block), static_cast<s4>(index));
    return known;
}

// The element class C of an object-array allocation (opcode ANEWARRAY).
classblock* allocated_element_class(const method_compile_context* m, quad_ref r)
{
    const quadruple* a = quad_of(m, origin_of(m, r));
    if (a == nullptr || a->opcode != OPC_ANEWARRAY)
        return nullptr;
    return quad_classblock(a);
}

// x (one definition) is a fresh C[]: is v, whose origin is known, a C?
bool value_fits_fresh_array(ud_pass& p, classblock* c, quad_ref v_origin_ref)
{
    if (names_equal(c->name, "java/lang/Object"))
        return true;
    const quadruple* v = quad_of(p.m, v_origin_ref);
    if (v == nullptr)
        return false;
    if (v->opcode == OPC_AGETFIELD || v->opcode == OPC_AGETSTATIC) {
        const fieldblock* f = quad_field(v, v->opcode == OPC_AGETSTATIC);
        return f != nullptr && names_equal(f->signature, c->name);
    }
    classblock* cls;
    char buffer[NAME_BUFFER];
    const char* name = origin_type(p.m, v, &cls, buffer);
    return names_equal(name, c->name) || vm_subclass(cls, c);
}

// The operand that holds the array of a store check: from the array operand
// of the element-class load back through copies while each link has one
// definition.  Stops at an operand with several definitions, or with its
// one definition in *def (not a copy).
const df_operand* array_holder(const method_compile_context* m, const df_operand* o, quad_ref* def)
{
    for (int i = 0; i < COPY_FOLLOW_LIMIT; i++) {
        *def = single_def(o);
        const quadruple* q = quad_of(m, *def);
        if (q == nullptr || !(opc_info_quadruple[q->opcode] & OPA_COPY) || df_shape(q) != 1
            || quad_operand_kind(q->src1) != QK_VARIABLE || quad_operand_type(q->src1) != QT_REF)
            return o;
        o = df_opnd(const_cast<quad_operand*>(&q->src1));
    }
    *def = 0;
    return nullptr;
}

// x has two definitions, both fresh C[] arrays, and v was read from an array
// held in a field declared "[LC;" (the whole name: "[LFoo;" is no "[LFooBar;").
bool element_of_field_fits(ud_pass& p, const df_operand* x, quad_ref v_origin)
{
    if (x->kind & DFO_SINGLE_REF)
        return false;
    const auto* list = reinterpret_cast<const varref_list*>(x->chain);
    if (list == nullptr || list->next == nullptr || list->next->next != nullptr)
        return false;
    classblock* c1 = allocated_element_class(p.m, list->ref);
    classblock* c2 = allocated_element_class(p.m, list->next->ref);
    if (c1 == nullptr || c2 == nullptr || !names_equal(c1->name, c2->name))
        return false;
    quadruple* load = quad_of(p.m, v_origin);
    if (load == nullptr || load->opcode != OPC_AALOAD || quad_operand_kind(load->src1) != QK_VARIABLE)
        return false;
    quad_ref array_def = single_def(df_opnd(&load->src1));
    if (array_def == 0 || at_entry(array_def))
        return false;
    const quadruple* field = quad_of(p.m, origin_of(p.m, array_def));
    if (field == nullptr || field->opcode != OPC_AGETFIELD)
        return false;
    const fieldblock* f = quad_field(field, false);
    if (f == nullptr || f->signature == nullptr)
        return false;
    const char* sig = f->signature;
    size_t n = strlen(sig), cn = strlen(c1->name);
    return n == cn + 3 && sig[0] == '[' && sig[1] == 'L' && sig[n - 1] == ';' && strncmp(sig + 2, c1->name, cn) == 0;
}

// v was read from the very array the check stores into.
bool read_from_same_array(ud_pass& p, const quadruple* aref, quad_ref v_def)
{
    const quadruple* v = quad_of(p.m, v_def);
    if (v != nullptr && v->opcode == OPC_XALOAD && df_shape(v) >= 1 && quad_operand_kind(v->src1) == QK_VARIABLE)
        v = quad_of(p.m, single_def(df_opnd(const_cast<quad_operand*>(&v->src1))));
    if (v == nullptr || (v->opcode != OPC_AALOAD && v->opcode != OPC_EADDR)
        || quad_operand_kind(v->src1) != QK_VARIABLE || v->src1.number != aref->src1.number)
        return false;
    const df_operand* vx = df_opnd(const_cast<quad_operand*>(&v->src1));
    const df_operand* x = df_opnd(const_cast<quad_operand*>(&aref->src1));
    return SAME_CHAIN(vx->chain, x->chain, vx->kind & DFO_SINGLE_REF, x->kind & DFO_SINGLE_REF) != 0;
}

// An array-store check whose value is known to fit the array goes.
bool remove_store_check(ud_pass& p, u4 block, u4 index)
{
    quadruple* q = p.m->bb_table[block]->catbl[index];
    if (quad_operand_kind(q->src1) != QK_VARIABLE)
        return false;
    bool known = is_null_constant(q->src2);
    const quadruple* aref = quad_of(p.m, single_def(df_opnd(&q->src1)));
    if (!known && aref != nullptr && aref->opcode == OPC_PALOAD && quad_operand_kind(aref->src1) == QK_VARIABLE
        && quad_operand_kind(q->src2) == QK_VARIABLE) {
        quad_ref v_def = single_def(df_opnd(&q->src2));
        if (v_def != 0 && !at_entry(v_def)) {
            quad_ref v_origin = origin_of(p.m, v_def);
            const quadruple* vo = quad_of(p.m, v_origin);
            quad_ref x_def = 0;
            const df_operand* x = array_holder(p.m, df_opnd(const_cast<quad_operand*>(&aref->src1)), &x_def);
            if (vo != nullptr && !quad_unresolved(vo) && x != nullptr) {
                classblock* c = x_def != 0 ? allocated_element_class(p.m, x_def) : nullptr;
                if (c != nullptr && c->name != nullptr)
                    known = value_fits_fresh_array(p, c, v_origin);
                else if (x_def == 0)
                    known = element_of_field_fits(p, x, v_origin);
            }
            if (!known)
                known = read_from_same_array(p, aref, v_def);
        }
    }
    if (known)
        ChangeNOP(p.m, static_cast<s4>(block), static_cast<s4>(index));
    return known;
}

// ---- rewrites of the mark walk -------------------------------------------------------------

// Returns true when the quadruple was deleted.
bool rewrite(ud_pass& p, u4 block, u4 index)
{
    quadruple* q = p.m->bb_table[block]->catbl[index];
    switch (q->opcode) {
    case OPC_CHECKCAST:
        return remove_cast(p, block, index);
    case OPC_CLASSTYPECHECK:
        return remove_store_check(p, block, index);
    case OPC_VCALL:
        // A call of System.arraycopy becomes an array copy that is then
        // marked like any other.
        if (!(compile_option2_flag & OPT2_NINLINE_ARRAYCOPY))
            inline_system_arraycopy(p.m, p.m->bb_table[block], &p.m->bb_table[block]->catbl[index]);
        return false;
    case OPC_ARRAYCOPY:
        if (q->op == 0)
            classify_arraycopy_overlap(p.m, p.m->bb_table[block], &p.m->bb_table[block]->catbl[index]);
        flag_arraycopy_constants(p.m, p.m->bb_table[block], &p.m->bb_table[block]->catbl[index]);
        return false;
    default:
        return false;
    }
}

void mark_walk(ud_pass& p)
{
    for (s4 i = static_cast<s4>(p.order_count) - 1; i >= 0; i--) {
        u4 block = p.order[i];
        if (block >= p.m->bb_count || p.slice[block] == nullptr)
            continue;
        bbattr* b = p.m->bb_table[block];
        for (s4 k = static_cast<s4>(b->quad_count) - 1; k >= 0; k--) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            if (rewrite(p, block, static_cast<u4>(k)) || df_deleted(q))
                continue;
            if (p.slice[block][k] != MARKED && is_root(b, static_cast<u4>(k)))
                mark_from(p, block, static_cast<u4>(k));
        }
    }
}

// ---- single-use folding --------------------------------------------------------------------

// In the reference chain of o: `from` becomes `to` wherever it stands, or
// with `drop` its first entry leaves the chain.
void chain_replace(df_operand* o, quad_ref from, quad_ref to, bool drop)
{
    if (o->kind & DFO_SINGLE_REF) {
        if (o->chain == from)
            o->chain = drop ? 0 : to;
        return;
    }
    auto** link = reinterpret_cast<varref_list**>(&o->chain);
    for (varref_list* l = *link; l != nullptr; link = &l->next, l = l->next) {
        if (l->ref != from)
            continue;
        if (drop) {
            *link = l->next;
            return;
        }
        l->ref = to;
    }
}

// Re-points the use-def lists of the uses in `uses` from definition `from`
// to definition `to`.
void repoint_uses(method_compile_context* m, const df_operand* uses, quad_ref from, quad_ref to)
{
    df_for_each_ref(uses, [&](quad_ref u) {
        quadruple* use = quad_of(m, u);
        if (use != nullptr)
            df_for_each_source(use, [&](df_operand* o) { chain_replace(o, from, to, false); });
    });
}

// The other direction: the def-use lists of the definitions reaching the
// use `o` name use `to` where they named `from`, or drop `from`.
void retarget_uses(method_compile_context* m, const df_operand* o, quad_ref from, quad_ref to, bool drop = false)
{
    df_for_each_ref(o, [&](quad_ref d) {
        quadruple* def = quad_of(m, d);
        if (def != nullptr)
            chain_replace(df_opnd(&def->result), from, to, drop);
    });
}

// N (a copy into a local) is folded into Q: Q writes N's destination.
bool fold_copy(method_compile_context* m, u4 block, u4 qi, u4 ni)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = b->catbl[qi];
    quadruple* n = b->catbl[ni];
    if (!(opc_info_quadruple[n->opcode] & OPA_COPY) || df_shape(n) != 1
        || quad_operand_kind(n->result) != QK_VARIABLE || quad_operand_type(n->src1) != quad_operand_type(n->result)
        || quad_operand_type(q->result) != quad_operand_type(n->result) || !same_value(n->src1, q->result))
        return false;
    quad_ref qref = make_quad_ref(block, qi), nref = make_quad_ref(block, ni);
    repoint_uses(m, df_opnd(&n->result), nref, qref);
    q->result = n->result;
    // N leaves the chains with nothing to unlink.
    df_clear_chain(df_opnd(&n->result));
    df_clear_chain(df_opnd(&n->src1));
    ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(ni));
    return true;
}

// The element type code of an int-array load that the read-modify-write
// form takes (byte 8, char 5, short 9, int 10), or 0.
u4 element_type_code(const quadruple* q)
{
    if (q->opcode != OPC_IALOAD)
        return 0;
    switch (quad_kind_nibble(q)) {
    case 1: return 10;
    case 3: return 8;
    case 4: return 9;
    case 5: return 5;
    default: return 0;
    }
}

// Q: t = a[i]; N: t = t op b; S: a[i] = t  ->  Q: a[i] op= b.  The
// operation must read the loaded value as its first operand and write it
// back to the same local: t = b - t or u = t + b are something else.
bool fuse_read_modify_write(method_compile_context* m, u4 block, u4 qi, u4 ni)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = b->catbl[qi];
    quadruple* n = b->catbl[ni];
    u4 type = element_type_code(q);
    if (type == 0 || n->opcode != OPC_IOP2 || df_shape(n) != 2)
        return false;
    if (n->op != QOP_ADD && n->op != QOP_SUB && n->op != QOP_AND && n->op != QOP_OR && n->op != QOP_XOR)
        return false;
    if (!same_value(n->src1, q->result) || !same_value(n->result, n->src1))
        return false;
    if (single_def(df_opnd(&n->src1)) != make_quad_ref(block, qi))
        return false;
    const df_operand* nd = df_opnd(&n->result);
    if (!(nd->kind & DFO_SINGLE_REF) || nd->chain == 0 || quad_ref_block(nd->chain) != block)
        return false;
    quadruple** last = &b->catbl[b->quad_count - 1];
    quadruple** sslot = SkipNopForward(&b->catbl[ni + 1], last);
    if (sslot == nullptr || static_cast<u4>(sslot - b->catbl) != quad_ref_index(nd->chain))
        return false;
    quadruple* s = *sslot;
    u4 si = static_cast<u4>(sslot - b->catbl);
    if (s->opcode != OPC_IASTORE || df_shape(s) != 3 || quad_kind_nibble(s) != quad_kind_nibble(q))
        return false;
    quad_operand_list_entry* array = quad_list_head(s);
    quad_operand_list_entry* idx = array != nullptr ? array->next : nullptr;
    quad_operand_list_entry* value = idx != nullptr ? idx->next : nullptr;
    if (value == nullptr || value->next != nullptr)
        return false;
    if ((array->kind & 0xFF) != q->src1.kind || array->number != q->src1.number || (idx->kind & 0xFF) != q->src2.kind
        || idx->number != q->src2.number || (value->kind & 0xFF) != n->result.kind || value->number != n->result.number)
        return false;
    // Same array and index values: the same definitions reach both.
    const df_operand* qa = df_opnd(&q->src1);
    const df_operand* qx = df_opnd(&q->src2);
    if (quad_operand_kind(q->src1) != QK_VARIABLE
        || !SAME_CHAIN(qa->chain, df_opnd(array)->chain, qa->kind & DFO_SINGLE_REF, df_opnd(array)->kind & DFO_SINGLE_REF))
        return false;
    if (quad_operand_kind(q->src2) == QK_VARIABLE
        && !SAME_CHAIN(qx->chain, df_opnd(idx)->chain, qx->kind & DFO_SINGLE_REF, df_opnd(idx)->kind & DFO_SINGLE_REF))
        return false;
    // One value word: the index must not need it, and the load and the
    // store must not both hold a constant in theirs.
    u1 ik = quad_operand_kind(q->src2);
    if (ik != QK_VARIABLE && ik != QK_IMMEDIATE && ik != QK_NEG_IMMEDIATE)
        return false;
    if ((q->flags_a & QA_CONSTANT) && (s->flags_a & QA_CONSTANT))
        return false;
    u1 vk = quad_operand_kind(n->src2);
    if (vk != QK_VARIABLE && vk != QK_IMMEDIATE && vk != QK_NEG_IMMEDIATE && vk != QK_CONSTANT)
        return false;
    // The store's list becomes the fused quadruple's: array, index, value.
    const u2 op = n->op;
    const u4 constant = n->value;
    quad_ref qref = make_quad_ref(block, qi), nref = make_quad_ref(block, ni), sref = make_quad_ref(block, si);
    quad_operand_list_entry* v = value;
    v->kind = static_cast<u2>(n->src2.kind | (v->kind & 0xFF00 & ~(DFO_SINGLE_REF | DFO_CONSUMED)));
    v->number = n->src2.number;
    df_opnd(v)->chain = df_opnd(&n->src2)->chain;
    if (df_opnd(&n->src2)->kind & DFO_SINGLE_REF)
        v->kind |= DFO_SINGLE_REF;
    else
        v->kind &= static_cast<u2>(~DFO_SINGLE_REF);
    // The value's definitions now feed Q; the array and index definitions
    // lose the load's and the store's uses to Q.
    retarget_uses(m, df_opnd(&n->src2), nref, qref);
    df_opnd(&n->src2)->chain = 0;
    df_opnd(&n->src2)->kind &= static_cast<u2>(~DFO_SINGLE_REF);
    df_clear_chain(df_opnd(&n->src1));
    df_clear_chain(df_opnd(&n->result));
    ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(ni));
    // Q's own array and index uses go; the store's list (now Q's) carries them.
    df_clear_chain(df_opnd(&q->result));
    df_for_each_source(q, [&](df_operand* o) { retarget_uses(m, o, qref, 0, true); });
    for (quad_operand_list_entry* e = array; e != v; e = e->next)
        retarget_uses(m, df_opnd(e), sref, qref);
    if (vk == QK_CONSTANT) {
        q->value = constant;
        q->flags_a |= QA_CONSTANT;
    }
    quad_set_list_head(s, nullptr);
    s->opcount = static_cast<u2>(s->opcount & ~QC_SRC_MASK);
    ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(si));
    q->opcode = OPC_MEMOP2_X;
    q->op = op;
    quad_set_kind_nibble(q, type);
    quad_operand_clear(q->result);
    quad_operand_clear(q->src2);
    quad_set_list_head(q, array);
    q->opcount = static_cast<u2>((q->opcount & ~QC_SRC_MASK) | QC_SRC_LIST);
    df_set_exception_class(q, df_exception_class(q) & df_exception_class(s));
    return true;
}

// The consumed mark on Q's destination and on the operand of N that reads it.
void mark_consumed(quadruple* q, df_operand* reader)
{
    df_opnd(&q->result)->kind |= DFO_CONSUMED;
    reader->kind |= DFO_CONSUMED;
}

bool reads_q(const df_operand* o, const quadruple* q, quad_ref qref)
{
    return df_is_local(o) && o->number == q->result.number && df_type(o) == quad_operand_type(q->result)
           && single_def(o) == qref;
}

bool commutative(u2 op)
{
    return op == QOP_ADD || op == QOP_MUL || op == QOP_AND || op == QOP_OR || op == QOP_XOR || op == QOP_MAX
           || op == QOP_MIN;
}

void fold_operands(method_compile_context* m, u4 block, u4 qi, u4 ni)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = b->catbl[qi];
    quadruple* n = b->catbl[ni];
    u4 attr = opc_info_quadruple[n->opcode];
    if ((attr & FOLD_READS) != FOLD_READS)
        return;
    if ((attr & OPA_SIMPLE_ASSIGN) && quad_operand_kind(q->src1) != QK_CONSTANT
        && quad_operand_kind(q->src1) != QK_CONST_PTR)
        return;
    quad_ref qref = make_quad_ref(block, qi);
    switch (df_shape(n)) {
    case 3:
        for (quad_operand_list_entry* e = quad_list_head(n); e != nullptr; e = e->next)
            if (reads_q(df_opnd(e), q, qref)) {
                mark_consumed(q, df_opnd(e));
                break;
            }
        return;
    case 2: {
        bool int_op = n->opcode == OPC_IOP2 || n->opcode == OPC_LOP2;
        if (int_op && reads_q(df_opnd(&n->src2), q, qref) && commutative(n->op)) {
            quad_operand t = n->src1;
            n->src1 = n->src2;
            n->src2 = t;
        }
        if (reads_q(df_opnd(&n->src1), q, qref)) {
            bool dest_is_src1 = same_value(n->result, n->src1);
            if (int_op || n->opcode == OPC_FOP2 || n->opcode == OPC_DOP2) {
                if (dest_is_src1)
                    return;
                bool one_slot = !opc_table_type[quad_operand_type(q->result) & 7].two_word;
                if (one_slot && quad_operand_kind(n->result) == QK_VARIABLE && !same_value(n->src2, n->result)) {
                    // Q writes N's destination; N becomes x = x op b.
                    quad_operand x = n->result;
                    u2 marks = df_opnd(&q->result)->kind & 0xFF00;
                    q->result.kind = x.kind;
                    q->result.number = x.number;
                    df_opnd(&q->result)->kind = static_cast<u2>((df_opnd(&q->result)->kind & 0xFF) | marks);
                    n->src1.kind = x.kind;
                    n->src1.number = x.number;
                    return;
                }
                mark_consumed(q, df_opnd(&n->src1));
                return;
            }
            if (!dest_is_src1)
                mark_consumed(q, df_opnd(&n->src1));
            return;
        }
        if (reads_q(df_opnd(&n->src2), q, qref) && !same_value(n->result, n->src2))
            mark_consumed(q, df_opnd(&n->src2));
        return;
    }
    case 1:
        if (reads_q(df_opnd(&n->src1), q, qref)
            && (n->opcode == OPC_F2D || n->opcode == OPC_D2F || !same_value(n->result, n->src1)))
            mark_consumed(q, df_opnd(&n->src1));
        return;
    default:
        return;
    }
}

void fold_single_use(method_compile_context* m, u4 block, u4 qi)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = b->catbl[qi];
    const df_operand* d = df_opnd(&q->result);
    if (!df_is_local(d) || !(d->kind & DFO_SINGLE_REF) || d->chain == 0 || quad_ref_block(d->chain) != block)
        return;
    if (qi + 1 >= b->quad_count)
        return;
    quadruple** nslot = SkipNopForward(&b->catbl[qi + 1], &b->catbl[b->quad_count - 1]);
    if (nslot == nullptr || static_cast<u4>(nslot - b->catbl) != quad_ref_index(d->chain))
        return;
    u4 ni = static_cast<u4>(nslot - b->catbl);
    if (fold_copy(m, block, qi, ni))
        return;
    if (orva_processor_type == 5 && fuse_read_modify_write(m, block, qi, ni))
        return;
    fold_operands(m, block, qi, ni);
}

// ---- sweep ------------------------------------------------------------------------------------

u4 block_level(const bbattr* b) { return b->loop_depth & 63; }

void loop_facts(ud_pass& p, u4 block, quadruple* q)
{
    const bbattr* b = p.m->bb_table[block];
    if (!(b->flags & BB_KIND_LOOP) || b->loop_index < 0 || static_cast<u4>(b->loop_index) >= p.m->loop_count)
        return;
    u8& set = p.loop_sets[b->loop_index];
    u4 level = block_level(b);
    if (!(set & ABIT_llshr[level]))
        return;
    if (df_exception_class(q) != DF_CANNOT_RAISE || (opc_info_quadruple[q->opcode] & LOOP_ESCAPE_MASK)) {
        set &= ~ABIT_llshr[level];
        return;
    }
    df_operand* d = df_opnd(&q->result);
    if (!df_is_local(d))
        return;
    bool escapes = false;
    df_for_each_ref(d, [&](quad_ref u) {
        u4 ub = quad_ref_block(u);
        if (ub == 0 || ub >= p.m->bb_count) {
            escapes = true;
            return;
        }
        const bbattr* use = p.m->bb_table[ub];
        if (use->flags & BB_DEAD)
            return;
        if (!(use->flags & BB_KIND_LOOP) || use->loop_index != b->loop_index || block_level(use) > level)
            escapes = true;
    });
    if (escapes)
        set &= ~ABIT_llshr[level];
}

void sweep(ud_pass& p)
{
    for (s4 block = static_cast<s4>(p.m->bb_count) - 1; block >= 0; block--) {
        if (p.slice[block] == nullptr)
            continue;
        bbattr* b = p.m->bb_table[block];
        for (s4 k = static_cast<s4>(b->quad_count) - 1; k >= 0; k--) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            if (p.slice[block][k] != MARKED) {
                u4 check;
                if (null_duty(b, static_cast<u4>(k), p.slice[block], &check) == DUTY_CHECK)
                    b->catbl[check]->flags_a |= QA_NULLCHECK_VARIANT;
                ChangeNOP(p.m, block, k);
                continue;
            }
            loop_facts(p, static_cast<u4>(block), q);
            fold_single_use(p.m, static_cast<u4>(block), static_cast<u4>(k));
        }
    }
}

// Removes one loop whose work is dead; true when it did.
bool remove_dead_loop(ud_pass& p)
{
    for (s4 i = static_cast<s4>(p.m->loop_count) - 1; i >= 0; i--) {
        auto* loop = mcc_loop(p.m, static_cast<u4>(i));
        if (loop == nullptr || !(p.loop_sets[i] & ABIT_llshr[0]))
            continue;
        if ((loop->flags & LOOP_HAS_MARKED) && !(loop->flags & LOOP_VERSIONED))
            continue;
        if (!CheckDeleteLoopQuad(p.m, static_cast<u4>(i), 0))
            continue;
        if (loop->flags & (LOOP_HAS_MARKED | LOOP_ABOVE_LIMIT))
            move_mmi_tp_to_succeeding_bb(p.m, loop, p.m->frontend_words);
        if (!remove_counted_loop(p.m, static_cast<u4>(i), 0))
            continue;
        p.pc->flags |= DFP_FLOW_CHANGED;
        return true;
    }
    return false;
}

} // namespace

int dataflow_Q_UD_DU(method_compile_context* m, dataflow_pass_context* pc)
{
    if ((compile_option2_flag & OPT2_NQUD_DU) || df_exception_entries(m) > 0 || m->subroutine_count > 0
        || !chains_fresh(m))
        return 0;
    ud_pass p{};
    p.m = m;
    p.pc = pc;
    p.slice = static_cast<u1**>(jit_wmem_alloc(m->pool1, (m->bb_count + 1) * sizeof(u1*)));
    u4 total = 0;
    for (u4 i = 0; i < m->bb_count; i++)
        total += m->bb_table[i]->quad_count;
    auto* marks = static_cast<u1*>(jit_wmem_alloc(m->pool1, total + 1));
    p.stack = static_cast<quad_ref*>(jit_wmem_alloc(m->pool1, (total + 1) * sizeof(quad_ref)));
    p.loop_sets = static_cast<u8*>(jit_wmem_alloc(m->pool1, (m->loop_count + 1) * sizeof(u8)));
    if (p.slice == nullptr || marks == nullptr || p.stack == nullptr || p.loop_sets == nullptr)
        return 1;
    // Slices from the last block to the first.
    u4 offset = total;
    for (s4 i = static_cast<s4>(m->bb_count) - 1; i >= 0; i--) {
        bbattr* b = m->bb_table[i];
        if (b->quad_count == 0 || (b->flags & BB_DEAD)) {
            p.slice[i] = nullptr;
            continue;
        }
        offset -= b->quad_count;
        p.slice[i] = marks + offset;
    }
    CreateDFSforDFQuadruple(m, pc, &p.order_count, &p.order);
    for (;;) {
        memset(marks, 0, total);
        mark_walk(p);
        for (u4 i = 0; i < m->loop_count; i++) {
            const auto* loop = mcc_loop(m, i);
            p.loop_sets[i] = loop == nullptr || (loop->flags & LOOP_INVALID) ? 0 : ~static_cast<u8>(0);
        }
        sweep(p);
        if (!remove_dead_loop(p))
            break;
        // The removed blocks own no slice any more.
        for (u4 i = 0; i < m->bb_count; i++)
            if (m->bb_table[i]->flags & BB_DEAD)
                p.slice[i] = nullptr;
    }
    return 0;
}
