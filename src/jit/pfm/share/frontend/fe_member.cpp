// Translation of the member-access, object-creation and type-check bytecodes
// (and their quick forms) into front-end quadruples, with the compile-time
// resolution that decides what the stack pass and the code generators may
// take from the constant pool.
//
//   getfield/putfield (quick: 206-209, 227, 228)  OPC_xGETFIELD / OPC_xPUTFIELD
//   getstatic/putstatic (quick: 210-213)          OPC_xGETSTATIC / OPC_xPUTSTATIC,
//                                                 or OPC_ICONST for a folded constant
//   new (221), anewarray (222), multianewarray (223)
//   checkcast (224), instanceof (225)
//   invokeignored_quick (220), nonnull_quick (229) opcode 108: pop n words,
//                                                 the deepest (the receiver)
//                                                 tested for null with sub-code 1
//
// A reference is taken as resolved only when the pool's type byte says so and
// the entry suits the instruction (a static field for the static forms, a
// final field written only from its own class, a class that `new` may
// instantiate).  Otherwise the quadruple is marked unresolved (sub-code word
// bit 15, compile-context state 0x800) and keeps the constant-pool index;
// the generated code resolves it at run time.  Each type byte is read once.
//
// The quick forms carry the constant-pool index (the interpreter's lossless
// quickening): byte 2 for getfield_quick, putfield_quick and their
// two-word variants, bytes 1-2 for every other form.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "frontend/sp_external.h"
#include "frontend/stackpass.h"

namespace {

// Bytecodes handled here.
constexpr u1 BC_GETSTATIC = 178, BC_PUTSTATIC = 179, BC_GETFIELD = 180, BC_PUTFIELD = 181;
constexpr u1 BC_NEW = 187, BC_ANEWARRAY = 189, BC_CHECKCAST = 192, BC_INSTANCEOF = 193, BC_MULTIANEWARRAY = 197;
constexpr u1 BC_GETFIELD_QUICK = 206, BC_PUTFIELD_QUICK = 207, BC_GETFIELD2_QUICK = 208, BC_PUTFIELD2_QUICK = 209;
constexpr u1 BC_GETSTATIC_QUICK = 210, BC_PUTSTATIC_QUICK = 211, BC_GETSTATIC2_QUICK = 212, BC_PUTSTATIC2_QUICK = 213;
constexpr u1 BC_INVOKEIGNORED_QUICK = 220, BC_NEW_QUICK = 221, BC_ANEWARRAY_QUICK = 222;
constexpr u1 BC_MULTIANEWARRAY_QUICK = 223, BC_CHECKCAST_QUICK = 224, BC_INSTANCEOF_QUICK = 225;
constexpr u1 BC_GETFIELD_QUICK_W = 227, BC_PUTFIELD_QUICK_W = 228, BC_NONNULL_QUICK = 229;

enum field_family : u1 { GET_INSTANCE, PUT_INSTANCE, GET_STATIC, PUT_STATIC };

// Quadruple opcodes by family and type row (int, long, float, double, ref).
constexpr u1 kFieldOpcodes[4][5] = {
    {OPC_IGETFIELD, OPC_LGETFIELD, OPC_FGETFIELD, OPC_DGETFIELD, OPC_AGETFIELD},
    {OPC_IPUTFIELD, OPC_LPUTFIELD, OPC_FPUTFIELD, OPC_DPUTFIELD, OPC_APUTFIELD},
    {OPC_IGETSTATIC, OPC_LGETSTATIC, OPC_FGETSTATIC, OPC_DGETSTATIC, OPC_AGETSTATIC},
    {OPC_IPUTSTATIC, OPC_LPUTSTATIC, OPC_FPUTSTATIC, OPC_DPUTSTATIC, OPC_APUTSTATIC},
};

int type_row(char c)
{
    switch (c) {
    case 'J': return 1;
    case 'F': return 2;
    case 'D': return 3;
    case 'L': case '[': return 4;
    default: return 0;      // B C I S Z, and an unknown signature
    }
}

u4 be16(const u1* p) { return static_cast<u4>(p[0]) << 8 | p[1]; }

struct pool_ref {
    u4* cp;
    const u1* tags;
    u4 count;
    bool valid(u4 i) const { return cp != nullptr && i != 0 && i < count; }
    // The type byte, read once per instruction.
    u1 tag(u4 i) const { return valid(i) ? __atomic_load_n(&tags[i], __ATOMIC_ACQUIRE) : 0; }
    u4 word(u4 i) const { return cp[i]; }
};

pool_ref pool_of(const classblock* cb)
{
    pool_ref p{cb->constantpool, nullptr, cb->constantpool_count};
    p.tags = p.cp != nullptr ? reinterpret_cast<const u1*>(p.cp[0]) : nullptr;
    return p;
}

void mark_unresolved(cattr_builder* b, quadruple* q)
{
    q->subcode |= QS_UNRESOLVED;
    b->m->state_flags |= MCC_UNRESOLVED_SEEN;
}

u2 body_number(const cattr_builder* b) { return b->args != nullptr ? b->args->body_number : 0; }

// Body-number rules: an unresolved reference carries the body number whenever
// the context asks for it (state 0x100); `always_above_zero` adds the
// instructions that carry it whenever it is above 0.
void store_body_number(cattr_builder* b, quadruple* q, bool unresolved_mark, bool above_zero)
{
    u2 n = body_number(b);
    if (unresolved_mark && (b->m->state_flags & MCC_UNRESOLVED_BODY))
        q->body = n;
    else if (above_zero && n > 0)
        q->body = n;
}

int translate_field(cattr_builder* b, quadruple* q, const u1* ins, field_family family, u4 index)
{
    pool_ref pool = pool_of(b->cb);
    u1 tag = pool.tag(index);
    fieldblock* fb = nullptr;
    if ((tag & CONSTANT_RESOLVED) && (tag & CONSTANT_TAG_MASK) == CONSTANT_Fieldref)
        fb = reinterpret_cast<fieldblock*>(pool.word(index));
    bool ok = fb != nullptr;
    if (ok) {
        bool is_static = (fb->access & ACC_STATIC) != 0;
        bool wants_static = family == GET_STATIC || family == PUT_STATIC;
        if (is_static != wants_static)
            ok = false;
        else if ((family == PUT_INSTANCE || family == PUT_STATIC) && (fb->access & ACC_FINAL) && fb->clazz != b->cb)
            ok = false;
    }
    if (ok) {
        index = 0;
    } else {
        fb = nullptr;
        mark_unresolved(b, q);
    }
    char type;
    if (fb != nullptr) {
        type = fb->signature[0];
    } else {
        type = get_field_signature_type(b->cb, index, b->m);
        // A reference the driver did not register is read from the pool
        // itself (under the class-linking lock): taking a long or double
        // field for an int would leave the operand stack miscounted.
        if (type == 0 && b->ee != nullptr && vm.sysMonitorEnter != nullptr)
            type = get_field_signature_type_from_cp_with_lock(b->cb, b->ee, index);
    }
    q->opcode = kFieldOpcodes[family][type_row(type)];
    if (family == GET_INSTANCE || family == PUT_INSTANCE)
        q->target = index;
    else
        q->op = static_cast<u2>(index);
    q->aux = reinterpret_cast<u4>(fb);

    if (family == GET_STATIC && fb != nullptr && q->opcode == OPC_IGETSTATIC && (fb->access & ACC_FINAL)
        && sp_class_initialised(fb->clazz)) {
        // A constant: the final int-class static of an initialised class.
        q->opcode = OPC_ICONST;
        q->value = fb->value;
        q->flags_a |= QA_CONSTANT;
        q->op = 0;
        q->target = 0;
        q->aux = 0;
        return 0;
    }
    bool instance = family == GET_INSTANCE || family == PUT_INSTANCE;
    if (fb == nullptr)
        store_body_number(b, q, true, false);
    else
        store_body_number(b, q, false, instance);
    return 0;
}

// new, anewarray, multianewarray, checkcast, instanceof (and quick forms).
int translate_class_ref(cattr_builder* b, quadruple* q, u1 bc, u4 index, bool quick)
{
    pool_ref pool = pool_of(b->cb);
    u1 tag = pool.tag(index);
    bool resolved = (tag & CONSTANT_RESOLVED) && (tag & CONSTANT_TAG_MASK) == CONSTANT_Class;
    classblock* cls = resolved ? reinterpret_cast<classblock*>(pool.word(index)) : nullptr;
    bool ok = resolved && cls != nullptr;
    bool is_new = bc == BC_NEW || bc == BC_NEW_QUICK;
    if (is_new && ok) {
        ok = (cls->state & CS_LINKED) != 0;
        if (ok && !quick)
            ok = !(cls->access & (ACC_INTERFACE | ACC_ABSTRACT))
                 && vm.VerifyClassAccess != nullptr && vm.VerifyClassAccess(b->cb, cls, 0) != 0;
    }
    // A quick form was quickened after its entry was resolved; the type
    // byte is still the one test, so a damaged form cannot hand the code
    // generators an index word as a class block.
    if (!ok)
        mark_unresolved(b, q);
    q->op = static_cast<u2>(index);
    bool allocation = false;
    switch (bc) {
    case BC_NEW:
    case BC_NEW_QUICK:
        q->opcode = OPC_NEW;
        allocation = true;
        break;
    case BC_ANEWARRAY:
    case BC_ANEWARRAY_QUICK:
        q->opcode = OPC_ANEWARRAY;
        allocation = true;
        break;
    case BC_MULTIANEWARRAY:
    case BC_MULTIANEWARRAY_QUICK:
        q->opcode = OPC_MULTIANEWARRAY;
        allocation = true;
        break;
    case BC_CHECKCAST:
    case BC_CHECKCAST_QUICK:
        q->opcode = OPC_CHECKCAST;
        b->m->typecheck_count++;
        break;
    default:
        q->opcode = OPC_INSTANCEOF;
        b->m->typecheck_count++;
        break;
    }
    if (allocation && ok) {
        quadruple** slot = &b->slots[b->used];
        store_table_word_or_vm_default_in_record(b->m, slot, pool.cp, index);
    }
    if (q->opcode == OPC_INSTANCEOF)
        store_body_number(b, q, !ok, false);
    else
        store_body_number(b, q, !ok, true);
    return 0;
}

} // namespace

int gen_cattr_member(cattr_builder* b, const u1* ins, u4 pc)
{
    quadruple* q = b->slots[b->used];
    if (b->cb == nullptr || b->cb->constantpool == nullptr)
        return 1;
    u1 bc = ins[0];
    switch (bc) {
    case BC_GETFIELD:
    case BC_GETFIELD_QUICK_W:
        return translate_field(b, q, ins, GET_INSTANCE, be16(ins + 1));
    case BC_GETFIELD_QUICK:
    case BC_GETFIELD2_QUICK:
        return translate_field(b, q, ins, GET_INSTANCE, ins[2]);
    case BC_PUTFIELD:
    case BC_PUTFIELD_QUICK_W:
        return translate_field(b, q, ins, PUT_INSTANCE, be16(ins + 1));
    case BC_PUTFIELD_QUICK:
    case BC_PUTFIELD2_QUICK:
        return translate_field(b, q, ins, PUT_INSTANCE, ins[2]);
    case BC_GETSTATIC:
    case BC_GETSTATIC_QUICK:
    case BC_GETSTATIC2_QUICK:
        return translate_field(b, q, ins, GET_STATIC, be16(ins + 1));
    case BC_PUTSTATIC:
    case BC_PUTSTATIC_QUICK:
    case BC_PUTSTATIC2_QUICK:
        return translate_field(b, q, ins, PUT_STATIC, be16(ins + 1));
    case BC_NEW:
    case BC_ANEWARRAY:
    case BC_CHECKCAST:
    case BC_INSTANCEOF:
    case BC_MULTIANEWARRAY:
    case BC_NEW_QUICK:
    case BC_ANEWARRAY_QUICK:
    case BC_CHECKCAST_QUICK:
    case BC_INSTANCEOF_QUICK:
    case BC_MULTIANEWARRAY_QUICK: {
        bool quick = bc >= BC_NEW_QUICK;
        int r = translate_class_ref(b, q, bc, be16(ins + 1), quick);
        if (q->opcode == OPC_MULTIANEWARRAY)
            q->count = ins[3];
        return r;
    }
    case BC_INVOKEIGNORED_QUICK: {
        q->opcode = OPC_NULLCHECK_MARK;
        q->op = ins[1];
        bool receiver = ins[2] == 1;
        quad_set_kind_nibble(q, receiver ? 1 : 0);
        if (receiver && body_number(b) > 0)
            q->body = body_number(b);
        return 0;
    }
    case BC_NONNULL_QUICK:
        q->opcode = OPC_NULLCHECK_MARK;
        q->op = 1;
        quad_set_kind_nibble(q, 1);
        if (body_number(b) > 0)
            q->body = body_number(b);
        return 0;
    default:
        return 1;
    }
}
