// Translation of the invoke bytecodes (and the interpreter's quick forms)
// into one call quadruple each: OPC_ICALL .. OPC_VCALL by the return type,
// holding the callee, the invocation kind (sub-code nibble), the argument
// words (count word) and the constant-pool reference (operator word).  The
// stack pass later splits it into checks, loads, argument copies and the call.
//
// On the way:
// - the callee is resolved as far as the compile may: a resolved pool entry
//   (or a quick form, whose entry the interpreter resolved) gives the callee;
//   an unresolved one only its names, and the call is marked unresolved;
// - the invocation kind comes from `resolve_a_method`, which may also drop a
//   callee that does not suit the instruction;
// - unless NINLINING is set: library calls that the recognizers replace by
//   other quadruples, the call-site records of the inlining analysis kept in
//   step with the quadruples, and the reflective calls "forName" and
//   "newInstance" of java/lang/Class turned into calls of "forName0" and
//   "newInstance1" with two more arguments.
//
// Quick-form operand bytes (lossless quickening): invokevirtual_quick and
// invokevirtualobject_quick carry the index in byte 2, invokesuper_quick the
// superclass method-table slot in bytes 1-2 (read as the index), every other
// form the index in bytes 1-2.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/frontend.h"
#include "frontend/sp_external.h"
#include "frontend/stackpass.h"
#include "inline/inline.h"

namespace {

constexpr u1 BC_INVOKEVIRTUAL = 182, BC_INVOKESPECIAL = 183, BC_INVOKESTATIC = 184, BC_INVOKEINTERFACE = 185;
constexpr u1 BC_INVOKEVIRTUAL_QUICK = 214, BC_INVOKENONVIRTUAL_QUICK = 215, BC_INVOKESUPER_QUICK = 216;
constexpr u1 BC_INVOKESTATIC_QUICK = 217, BC_INVOKEINTERFACE_QUICK = 218, BC_INVOKEVIRTUALOBJECT_QUICK = 219;
constexpr u1 BC_INVOKEVIRTUAL_QUICK_W = 226;

// Call-site record flags read or cleared here.
constexpr u4 SITE_KIND_MASK = MCS_KIND_MASK;
constexpr u4 SITE_FRAME_ENTRY = MCS_FRAME_ENTRY;                    // 0x80: store the body number
constexpr u4 SITE_ACTIVE = MCS_CANDIDATE | MCS_ANALYSE;             // 0x3000: cleared on sites passed
constexpr u4 SITE_COUNTED_MASK = MCS_ANALYSE | MCS_DIRECT_SMALL;    // 0x22000
constexpr u4 SITE_BOUND_MASK = MCS_CHA_BOUND | MCS_TRIVIAL_CALLEE;  // 0x1008000
constexpr u4 SITE_RUNTIME_DISPATCH = 0x200000;                     // bit 21: dispatched at run time

u4 be16(const u1* p) { return static_cast<u4>(p[0]) << 8 | p[1]; }

u2 body_number(const cattr_builder* b) { return b->args != nullptr ? b->args->body_number : 0; }

bool ninlining() { return (compile_option_flag & OPT1_NINLINING) != 0; }

bool pool_resolved(const classblock* cb, u4 index)
{
    if (cb->constantpool == nullptr || index == 0 || index >= cb->constantpool_count)
        return false;
    const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
    u1 tag = __atomic_load_n(&tags[index], __ATOMIC_ACQUIRE);
    return (tag & CONSTANT_RESOLVED) != 0
           && ((tag & CONSTANT_TAG_MASK) == CONSTANT_Methodref || (tag & CONSTANT_TAG_MASK) == CONSTANT_InterfaceMethodref);
}

methodblock* pool_method(const classblock* cb, u4 index)
{
    return pool_resolved(cb, index) ? reinterpret_cast<methodblock*>(cb->constantpool[index]) : nullptr;
}

// Names of an unresolved method reference: the driver's record, or the pool
// itself under the class-linking lock when the driver did not register it.
bool unresolved_names(cattr_builder* b, u4 index, const char** cls, const char** name, const char** sig)
{
    if (get_method_name_sig_and_clname(b->cb, index, b->m, 0, name, sig, cls) == 0 && *sig != nullptr)
        return true;
    if (b->ee == nullptr || vm.sysMonitorEnter == nullptr)
        return false;
    get_method_name_sig_and_clname_from_cp_with_lock(b->cb, b->ee, index, name, sig, cls);
    return *sig != nullptr && *name != nullptr && *cls != nullptr;
}

// Keeps the inlining analysis's call-site records in step: sites passed
// without a call lose their analysis marks; the site of this call (only a
// site recorded for this very pc) gets its location and gives the call its
// marks.  Returns the site consumed, or none.
mi_call_site* take_call_site(cattr_builder* b, u4 pc)
{
    while (b->site_cursor != nullptr && b->site_cursor->pc < pc) {
        b->site_cursor->flags &= ~SITE_ACTIVE;
        b->site_cursor = b->site_cursor->next;
    }
    mi_call_site* site = b->site_cursor;
    if (site == nullptr || site->pc != pc)
        return nullptr;
    update_location_info_of_method_invocation_info(site, b->args != nullptr ? b->args->pc_map : nullptr);
    b->site_cursor = site->next;
    return site;
}

int call_opcode(char return_type)
{
    switch (return_type) {
    case 'B': case 'C': case 'I': case 'S': case 'Z': return OPC_ICALL;
    case 'J': return OPC_LCALL;
    case 'F': return OPC_FCALL;
    case 'D': return OPC_DCALL;
    case 'L': case '[': return OPC_ACALL;
    case 'V': return OPC_VCALL;
    default: return -1;
    }
}

// The two constants in front of a reflective replacement; `level` is the
// slot's position (0 the first constant, 1 the class-level field load).
void make_reflective_argument(quadruple* q, bool for_name, int level, classblock* body_class)
{
    quad_clear_fresh(q, -1);
    if (level == 0 && for_name) {
        q->opcode = OPC_ICONST;
        q->value = 1;                                   // initialize = true
    } else {
        q->opcode = OPC_ACONST;
        q->value = reinterpret_cast<u4>(body_class);
        if (level == 1) {
            // The class-level field at 32 of that class block (its loader).
            q->op = 1;
            q->src2.value = (q->src2.value & 0xFFFFu) | (32u << 16);
        }
    }
    q->flags_a |= QA_CONSTANT;
}

} // namespace

int gen_cattr_invoke(cattr_builder* b, const u1* ins, u4 pc)
{
    method_compile_context* m = b->m;
    classblock* cb = b->cb;
    if (cb == nullptr || cb->constantpool == nullptr)
        return 1;
    quadruple* q = b->slots[b->used];
    const u1 bc = ins[0];

    // 1. Callee and names.
    methodblock* callee = nullptr;
    int resolved = 0;
    u4 index = 0;
    const char* cls = nullptr;
    const char* name = nullptr;
    const char* sig = nullptr;
    switch (bc) {
    case BC_INVOKEVIRTUAL:
    case BC_INVOKESPECIAL:
    case BC_INVOKESTATIC:
    case BC_INVOKEINTERFACE:
        index = be16(ins + 1);
        if ((callee = pool_method(cb, index)) != nullptr) {
            resolved = 1;
        } else {
            if (!unresolved_names(b, index, &cls, &name, &sig))
                return 1;
            resolved = jit_resolve_method_under_java_lang(cb, index, cls, name, sig, b->ee) ? 1 : 0;
        }
        break;
    case BC_INVOKENONVIRTUAL_QUICK:
    case BC_INVOKESTATIC_QUICK:
    case BC_INVOKEINTERFACE_QUICK:
    case BC_INVOKEVIRTUAL_QUICK_W:
        index = be16(ins + 1);
        callee = pool_method(cb, index);
        break;
    case BC_INVOKEVIRTUAL_QUICK:
    case BC_INVOKEVIRTUALOBJECT_QUICK:
        index = ins[2];
        callee = pool_method(cb, index);
        break;
    case BC_INVOKESUPER_QUICK: {
        index = be16(ins + 1);
        classblock* super = cb->superclass;
        if (super != nullptr && super->methodtable != nullptr && index < super->methodtable_size)
            callee = super->methodtable->methods[index];
        break;
    }
    default:
        return 1;
    }
    if (bc >= BC_INVOKEVIRTUAL_QUICK) {
        // A quick form whose entry does not hold a method block is damaged.
        if (callee == nullptr)
            return 1;
        resolved = 1;
    }
    if (callee != nullptr) {
        cls = callee->clazz->name;
        name = callee->name;
        sig = callee->signature;
    }

    // 2. Library calls replaced by other quadruples.
    if (!ninlining()) {
        u4* loader_slot = b->args != nullptr ? reinterpret_cast<u4*>(b->args->caller_class_word) : nullptr;
        if (is_specific_native_invocation(&b->slots[b->used], callee, loader_slot, cls, name, sig)) {
            if (mi_call_site* site = take_call_site(b, pc)) {
                site->flags &= ~SITE_ACTIVE;
                if (site->flags & SITE_FRAME_ENTRY)
                    q->body = body_number(b);
            }
            if (body_number(b) > 0)
                q->body = body_number(b);
            return 0;
        }
    }

    // 3. Invocation kind.
    u4 kind = static_cast<u4>(resolve_a_method(bc, &resolved, b->body, &callee, &index));
    if (callee != nullptr) {
        cls = callee->clazz->name;
        name = callee->name;
        sig = callee->signature;
    }

    // 4. Call-site bookkeeping.
    if (!ninlining()) {
        if (mi_call_site* site = take_call_site(b, pc)) {
            u4 f = site->flags;
            if ((f & SITE_COUNTED_MASK) == MCS_ANALYSE || ((f & SITE_BOUND_MASK) && (f & SITE_RUNTIME_DISPATCH)))
                b->block->invocation_count++;
            if (f & MCS_TRIVIAL_CALLEE)
                q->subcode |= QS_TRIVIAL_CALL;
            if (kind == INVK_OBJECT && (f & SITE_KIND_MASK) != INVK_OBJECT)
                kind = INVK_VIRTUAL_QUICK;
            if (f & SITE_FRAME_ENTRY)
                q->body = body_number(b);
        }
    }

    // 5. Reflective replacement.  The replacement method is looked up first:
    // without it the call of forName or newInstance stays as it is.
    if (!ninlining() && callee != nullptr && resolved == 1) {
        bool for_name = (kind == INVK_STATIC || kind == INVK_STATIC_QUICK) && is_forName(callee);
        bool new_instance = !for_name && kind == INVK_DIRECT && is_newIncetance(callee);
        methodblock* replacement = for_name ? get_forName0() : new_instance ? get_newInstance1() : nullptr;
        if (replacement != nullptr && b->used + 2 < b->slot_limit) {
            // The call's own marks (trivial callee, frame-entry body number)
            // move with it to its new slot.
            u2 trivial = q->subcode & QS_TRIVIAL_CALL;
            u2 body = q->body;
            make_reflective_argument(b->slots[b->used], for_name, 0, cb);
            make_reflective_argument(b->slots[b->used + 1], for_name, 1, cb);
            b->used += 2;
            q = b->slots[b->used];
            quad_clear_fresh(q, -1);
            q->subcode = trivial;
            q->body = body;
            index = 0;
            callee = replacement;
            cls = callee->clazz->name;
            name = callee->name;
            sig = callee->signature;
            if (b->temporaries < 2)
                b->temporaries = 2;
        }
    }

    // 6, 7. Kind, unresolved mark.
    quad_set_kind_nibble(q, kind);
    bool marked = callee == nullptr || resolved == 0;
    if (marked) {
        q->subcode |= QS_UNRESOLVED;
        m->state_flags |= MCC_UNRESOLVED_SEEN;
        if (callee == nullptr && resolved == 0)
            check_unresolved_method_invocation(&b->slots[b->used], cls, name, sig);
    }

    // 8, 9, 10. Call count, opcode, source pc.
    m->call_count++;
    int opcode = call_opcode(get_method_return_type(sig));
    if (opcode < 0)
        return 1;
    q->opcode = static_cast<u1>(opcode);
    quad_set_source_pc(q, static_cast<s4>(pc));

    // 11, 12. Argument words, callee, index.
    u4 words;
    if (!marked) {
        words = callee->args_size;
        q->value = reinterpret_cast<u4>(callee);
    } else {
        bool is_static = bc == BC_INVOKESTATIC || bc == BC_INVOKESTATIC_QUICK;
        words = get_method_args_size(b->body, sig) + (is_static ? 0u : 1u);
    }
    q->op = static_cast<u2>(index);
    q->count = static_cast<u2>(words & 0xFF);
    if (bc == BC_INVOKEINTERFACE || bc == BC_INVOKEINTERFACE_QUICK)
        q->count = static_cast<u2>(q->count | ins[4] << 8);
    if (static_cast<u2>(words) > m->max_arg_words)
        m->max_arg_words = static_cast<u2>(words);

    // 13. A resolved call of System.arraycopy.
    if (!marked && strcmp(cls, "java/lang/System") == 0 && strcmp(name, "arraycopy") == 0
        && strcmp(sig, "(Ljava/lang/Object;ILjava/lang/Object;II)V") == 0)
        m->arraycopy_flag = 1;

    // 14. Body number.
    if (body_number(b) > 0)
        q->body = body_number(b);
    return 0;
}
