// Invocation lowering in the stack pass.
//
// A call quadruple arrives holding the whole call: callee (constant-pool
// index in the operator word, or the method block in the value word), the
// invocation kind in its sub-code nibble, the argument words in the count
// word's low byte and, through its stack list, the kind of every operand-stack
// word at the call.  It leaves as
//   [OPC_CLINIT | OPC_NULLCHECK] [OPC_LOAD_METHODTABLE [OPC_LOAD_METHODBLOCK]]
//   one argument copy (or placeholder) per argument word, last argument first
//   the call
//   [placeholders reserved for the expansion of a trivial callee]
// or, when the array-copy recognizer takes it, as a single OPC_ARRAYCOPY.
//
// By kind: 1, 2 static calls (class initialisation while the callee's class
// is not initialised at compile time); 3, 4 direct calls, 5 super calls, 10
// and 11 interface calls, each with the null-check variant (nothing after
// the check touches the receiver); 7
// and 8 (and a resolved 6) virtual calls through the method table and the
// method block of the callee's slot; 9 (and an unresolved 6) calls that need
// only the method table; 12 no checks.  The receiver's null check is left out
// when the sub-code word's bit 7 says the receiver is known non-null.
//
// Stack positions: P and F are the tops before the call.  The argument words
// are the top n integer-class and floating-class words, so the walk from the
// last argument counts P and F down; S = the integer position after the walk
// plus one is the receiver.  P+1 and P+2 hold the method table and the method
// block; the block's max integer height is raised to cover them.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/sp_external.h"
#include "frontend/stackpass.h"

namespace {

bool receiver_may_be_null(const quadruple* q) { return (q->subcode & QS_NO_NULLCHECK) == 0; }

bool unresolved(const quadruple* q) { return (q->subcode & QS_UNRESOLVED) != 0; }

u4 kind_of(const quadruple* q) { return q->subcode & QS_KIND_MASK; }

// Kind 6 lowers as 9 when unresolved and as 7 otherwise.
u4 lowering_kind(const quadruple* q)
{
    u4 k = kind_of(q);
    if (k == INVK_VIRTUAL)
        return unresolved(q) ? INVK_OBJECT : INVK_VIRTUAL_GUARDED;
    return k;
}

// The callee's class when it must be initialised before a static call.
classblock* class_to_initialise(const bbattr* b, const quadruple* q)
{
    if (unresolved(q))
        return nullptr;
    methodblock* callee = sp_callee_of(b, q);
    if (callee == nullptr || sp_class_initialised(callee->clazz))
        return nullptr;
    return callee->clazz;
}

// Quadruples the kind puts in front of the argument copies.
struct check_plan {
    bool clinit;
    bool nullcheck;
    bool nullcheck_variant;     // flags byte A bit 0 on the null check
    bool methodtable;
    bool methodblock;
    u4 count() const { return clinit + nullcheck + methodtable + methodblock; }
};

check_plan plan_checks(const bbattr* b, const quadruple* q)
{
    check_plan p{};
    switch (lowering_kind(q)) {
    case INVK_STATIC:
    case INVK_STATIC_QUICK:
        p.clinit = class_to_initialise(b, q) != nullptr;
        break;
    case INVK_SPECIAL_UNRESOLVED:
    case INVK_DIRECT:
        p.nullcheck = receiver_may_be_null(q);
        p.nullcheck_variant = true;
        break;
    case INVK_SUPER:
    case INVK_INTERFACE_UNRESOLVED:
    case INVK_INTERFACE:
        // No dereference of the receiver follows in the compiled code (the
        // call reaches the callee directly or through the dispatch stub):
        // the check itself must raise, so it is the variant that stays.
        p.nullcheck = receiver_may_be_null(q);
        p.nullcheck_variant = true;
        break;
    case INVK_VIRTUAL_GUARDED:
    case INVK_VIRTUAL_QUICK:
        p.nullcheck = receiver_may_be_null(q);
        p.methodtable = p.methodblock = true;
        break;
    case INVK_OBJECT:
        p.nullcheck = receiver_may_be_null(q);
        p.methodtable = true;
        break;
    default:
        break;
    }
    return p;
}

// The argument entries: the last n entries of the stack list.
stack_list_entry* argument_entries(const quadruple* q, u4 n)
{
    stack_list* list = quad_stack_list(q);
    if (n == 0)
        return nullptr;
    if (list == nullptr || list->count < n)
        return nullptr;
    return &list->entries[list->count - n];
}

bool int_side(u4 code)
{
    return code == ARG_INT || code == ARG_REF || code == ARG_NEW || code == ARG_NEWARRAY || code == ARG_LONG1
           || code == ARG_LONG2;
}

// Method-table slot of the callee, the second source of OPC_LOAD_METHODBLOCK.
u2 callee_slot(const bbattr* b, const quadruple* q)
{
    methodblock* callee = sp_callee_of(b, q);
    return callee != nullptr ? static_cast<u2>(callee->slot) : 0;
}

} // namespace

methodblock* sp_callee_of(const bbattr* b, const quadruple* q)
{
    if (q->op == 0)
        return reinterpret_cast<methodblock*>(q->value);
    const methodblock* owner = b->mb;
    if (owner == nullptr || owner->clazz == nullptr)
        return nullptr;
    if (kind_of(q) == INVK_SUPER) {
        // The operator word of a super call holds the method-table slot of
        // the method the instruction names; the callee is the superclass's
        // method of that slot.
        classblock* super = owner->clazz->superclass;
        if (super == nullptr || super->methodtable == nullptr || q->op >= super->methodtable_size)
            return nullptr;
        return super->methodtable->methods[q->op];
    }
    classblock* cb = owner->clazz;
    if (cb->constantpool == nullptr || q->op >= cb->constantpool_count)
        return nullptr;
    const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
    u1 tag = tags[q->op];
    if (!(tag & CONSTANT_RESOLVED))
        return nullptr;
    tag &= CONSTANT_TAG_MASK;
    if (tag != CONSTANT_Methodref && tag != CONSTANT_InterfaceMethodref)
        return nullptr;
    return reinterpret_cast<methodblock*>(cb->constantpool[q->op]);
}

bool sp_is_recognised_string_call(const bbattr* b, const quadruple* q, const methodblock* callee)
{
    if (callee == nullptr || unresolved(q))
        return false;
    if (q->op != 0) {
        const classblock* cb = b->mb->clazz;
        const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
        if (q->op >= cb->constantpool_count || tags[q->op] != (CONSTANT_RESOLVED | CONSTANT_Methodref))
            return false;
    }
    const classblock* cls = callee->clazz;
    if (!(cls->access & ACC_FINAL))
        return false;
    // The whole class name: a 16-character prefix would also take
    // java/lang/StringBuffer and java/lang/StringBuilder, whose toString and
    // indexOf the code generators must not treat as String's.
    if (strcmp(cls->name, "java/lang/String") != 0)
        return false;
    if (strcmp(callee->name, "<init>") == 0)
        return strcmp(callee->signature, "(Ljava/lang/StringBuffer;)V") == 0;
    return strcmp(callee->name, "toString") == 0 || strcmp(callee->name, "indexOf") == 0;
}

u4 sp_count_invoke(stack_pass_state* s, quadruple* q)
{
    u4 flag = 0;
    if (check_system_arraycopy(s->m, s->block, s->read, &flag) >= 0)
        return 0;
    u4 added = plan_checks(s->block, q).count();
    s->invocation_count++;
    u4 n = q->count & 0xFF;
    if (n > s->arg_high_water)
        s->arg_high_water = static_cast<u2>(n);
    u4 iwords = 0, fwords = 0;
    if (stack_list_entry* args = argument_entries(q, n)) {
        for (u4 i = n; i-- > 0;) {
            u4 code = args[i].kind;
            if (int_side(code)) {
                added++;
                iwords++;
            } else if (code == ARG_FLOAT || code == ARG_DOUBLE1) {
                added++;
                fwords++;
            } else if (code == ARG_DOUBLE2) {
                added++;
            }
        }
    }
    q->result.number = static_cast<u2>((fwords & 0xFF) | (iwords & 0xFF) << 8);
    if (q->subcode & QS_TRIVIAL_CALL)
        added += trivCountMargin(s->m, s->read, s->block);
    return added;
}

int sp_transform_invoke(stack_pass_state* s, quadruple* q)
{
    u4 flag = 0;
    int code = check_system_arraycopy(s->m, s->block, s->read, &flag);
    if (code >= 0) {
        q->opcode = OPC_ARRAYCOPY;
        quad_set_kind_nibble(q, static_cast<u4>(code) & 0xF);
        q->op = static_cast<u2>(flag);
        return sp_store(s, q);
    }

    const bbattr* b = s->block;
    const s4 P = static_cast<int16_t>(s->P);
    const s4 F = static_cast<int16_t>(s->F);
    const check_plan plan = plan_checks(b, q);
    const u4 n = q->count & 0xFF;
    stack_list_entry* args = argument_entries(q, n);
    if (n != 0 && args == nullptr) {
        fprintf(stderr, "stack pass: call at pc %d has no argument list\n", quad_source_pc(q));
        return 1;
    }

    // The check slots come first; the null check and the class
    // initialisation are copies of the call as it is now.
    quadruple* nullcheck = nullptr;
    quadruple* clinit = nullptr;
    if (plan.clinit) {
        clinit = sp_clone(s, q);
        clinit->opcode = OPC_CLINIT;
        clinit->value = reinterpret_cast<u4>(class_to_initialise(b, q));
        if (sp_store(s, clinit) != 0)
            return 1;
    }
    if (plan.nullcheck) {
        nullcheck = sp_clone(s, q);
        nullcheck->opcode = OPC_NULLCHECK;
        if (sp_store(s, nullcheck) != 0)
            return 1;
    }
    quadruple** methodtable_slot = nullptr;
    quadruple** methodblock_slot = nullptr;
    for (u4 i = 0; i < (plan.methodtable ? 1u : 0u) + (plan.methodblock ? 1u : 0u); i++) {
        if (s->write >= s->write_limit) {
            fprintf(stderr, "stack pass: block %u outgrew its reserved quadruples\n", b->id);
            return 1;
        }
        quadruple** slot = s->write++;
        *slot = nullptr;
        (i == 0 ? methodtable_slot : methodblock_slot) = slot;
    }

    // Argument copies, last argument first.
    s4 I = P, Fp = F;
    u4 icount = q->result.number >> 8, fcount = q->result.number & 0xFF;
    for (u4 i = 0; i < n; i++) {
        stack_list_entry& e = args[n - 1 - i];
        quadruple* c = sp_clone(s, q);
        u4 position = n - i - 1;
        switch (e.kind) {
        case ARG_INT:
        case ARG_REF:
        case ARG_NEW:
        case ARG_NEWARRAY:
        case ARG_LONG1:
            c->opcode = e.kind == ARG_INT ? OPC_IARGCOPY : e.kind == ARG_LONG1 ? OPC_LARGCOPY : OPC_AARGCOPY;
            c->src1.number = static_cast<u2>(I--);
            icount--;
            c->result.number = static_cast<u2>((icount & 0xFF) | position << 8);
            break;
        case ARG_FLOAT:
        case ARG_DOUBLE1:
            c->opcode = e.kind == ARG_FLOAT ? OPC_FARGCOPY : OPC_DARGCOPY;
            c->src1.number = static_cast<u2>(Fp--);
            fcount--;
            c->result.number = static_cast<u2>((fcount & 0xFF) | position << 8);
            break;
        case ARG_LONG2:
            sp_make_placeholder(c);
            I--;
            icount--;
            break;
        case ARG_DOUBLE2:
            // The second word of a double owns a slot but changes nothing.
            sp_make_placeholder(c);
            break;
        default:
            // No stack-word kind of an argument: no slot was counted for it.
            continue;
        }
        if (sp_store(s, c) != 0)
            return 1;
        if (c->opcode != OPC_OTHER) {
            c->src2.value = (c->src2.value & 0xFFFF0000u) | (n & 0xFFFF);
            e.producer = s->write - 1;
        }
    }

    // A String method of a final java/lang/String class.
    if (kind_of(q) == INVK_DIRECT && !unresolved(q) && sp_is_recognised_string_call(b, q, sp_callee_of(b, q)))
        q->flags_a |= QA_STRING_OR_INTEGER;

    const s4 S = I + 1;
    if (nullcheck != nullptr) {
        nullcheck->src1.number = static_cast<u2>(S);
        if (plan.nullcheck_variant)
            nullcheck->flags_a |= QA_NULLCHECK_VARIANT;
    }
    if (methodtable_slot != nullptr) {
        quadruple* mt = sp_clone(s, q);
        mt->opcode = OPC_LOAD_METHODTABLE;
        mt->src1.kind = KB_REF;
        mt->src1.number = static_cast<u2>(S);
        mt->result.kind = KB_VMPTR;
        mt->result.number = static_cast<u2>(P + 1);
        *methodtable_slot = mt;
        q->src1.number = static_cast<u2>(P + 1);
        sp_raise_int_height(s, P + 2);
    }
    if (methodblock_slot != nullptr) {
        quadruple* mb = sp_clone(s, q);
        mb->opcode = OPC_LOAD_METHODBLOCK;
        mb->src1.kind = KB_VMPTR;
        mb->src1.number = static_cast<u2>(P + 1);
        mb->src2.kind = KB_INT_IMM;
        mb->src2.number = callee_slot(b, q);
        mb->result.kind = KB_VMPTR;
        mb->result.number = static_cast<u2>(P + 2);
        *methodblock_slot = mb;
        q->src1.number = static_cast<u2>(P + 2);
        sp_raise_int_height(s, P + 3);
    }

    if (sp_store(s, q) != 0)
        return 1;
    if (q->subcode & QS_TRIVIAL_CALL) {
        u4 margin = trivCountMargin(s->m, s->write - 1, s->block);
        for (u4 i = 0; i < margin; i++) {
            quadruple* ph = sp_clone(s, q);
            quad_set_word0(ph, 0);
            ph->target = 0;
            ph->second = 0;
            ph->op = 0;
            ph->count = 0;
            ph->aux = 0;
            ph->context = 0;
            ph->src2.value = 0xFFFFFFFFu;
            ph->body = 0;
            sp_make_placeholder(ph);
            if (sp_store(s, ph) != 0)
                return 1;
        }
    }
    return 0;
}
