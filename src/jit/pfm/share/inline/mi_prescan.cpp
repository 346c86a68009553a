// The bytecode prescan: before a method takes part in the inlining decision
// (the method being compiled, and every callee the call-tree walk meets), its
// bytecode is scanned once for reachable blocks, its reachable instructions
// are counted and validated, its references are looked at as far as the VM
// has resolved them, and every invoke instruction becomes a call-site record.
// Also here: the loop marking of call sites, the refresh of a site's block
// position, and small operand routines of the argument analysis and of the
// quadruple generator.
//
// A malformed method (a local index outside the frame, a constant-pool index
// out of range or of the wrong kind, a branch outside the code, no constant
// pool) is rejected: the method block gets the prescan-rejected flag and the
// caller drops the record.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"
#include "dataflow/df_records.h"

namespace {

// Bytecodes the validation names.
constexpr u1 BC_LDC = 18, BC_LDC_W = 19, BC_LDC2_W = 20, BC_ILOAD = 21, BC_ALOAD = 25, BC_ILOAD_0 = 26;
constexpr u1 BC_ALOAD_3 = 45, BC_ISTORE = 54, BC_ASTORE = 58, BC_ISTORE_0 = 59, BC_ASTORE_0 = 75;
constexpr u1 BC_ASTORE_3 = 78, BC_IALOAD = 46, BC_SALOAD = 53, BC_IASTORE = 79, BC_SASTORE = 86;
constexpr u1 BC_IDIV = 108, BC_LDIV = 109, BC_IREM = 112, BC_LREM = 113;
constexpr u1 BC_GETSTATIC = 178, BC_PUTSTATIC = 179, BC_GETFIELD = 180, BC_PUTFIELD = 181;
constexpr u1 BC_NEW = 187, BC_NEWARRAY = 188, BC_ANEWARRAY = 189, BC_ARRAYLENGTH = 190, BC_ATHROW = 191;
constexpr u1 BC_CHECKCAST = 192, BC_MONITORENTER = 194, BC_MONITOREXIT = 195, BC_MULTIANEWARRAY = 197;
constexpr u1 BC_LDC_QUICK = 203, BC_LDC_W_QUICK = 204, BC_LDC2_W_QUICK = 205, BC_GETFIELD_QUICK = 206;
constexpr u1 BC_PUTFIELD_QUICK = 207, BC_GETFIELD2_QUICK = 208, BC_PUTFIELD2_QUICK = 209;
constexpr u1 BC_GETSTATIC_QUICK = 210, BC_PUTSTATIC_QUICK = 211, BC_GETSTATIC2_QUICK = 212;
constexpr u1 BC_PUTSTATIC2_QUICK = 213, BC_NEW_QUICK = 221, BC_ANEWARRAY_QUICK = 222;
constexpr u1 BC_MULTIANEWARRAY_QUICK = 223, BC_CHECKCAST_QUICK = 224, BC_GETFIELD_QUICK_W = 227;
constexpr u1 BC_PUTFIELD_QUICK_W = 228, BC_NONNULL_QUICK = 229;

constexpr u2 QS_LCONST_SMALL_VALUE = 0x0020;

// An unresolved reference that needs the VM's resolution.
constexpr u4 MIS_NEEDS_RESOLUTION = MIS_UNRESOLVED_REF | MIS_UNRESOLVED_STRING;

// Locals that take two slots.
bool two_slot_local(u1 op)
{
    return op == 22 || op == 24 || (op >= 30 && op <= 33) || (op >= 38 && op <= 41) || op == 55 || op == 57
           || (op >= 63 && op <= 66) || (op >= 71 && op <= 74);
}
bool local_store(u1 op) { return (op >= BC_ISTORE && op <= BC_ASTORE) || (op >= BC_ISTORE_0 && op <= BC_ASTORE_3); }
bool is_astore(const u1* ins)
{
    return ins[0] == BC_ASTORE || (ins[0] >= BC_ASTORE_0 && ins[0] <= BC_ASTORE_3)
           || (ins[0] == BC_WIDE_ && ins[1] == BC_ASTORE);
}

struct pool_view {
    classblock* cb;
    u4* cp;
    const u1* tags;
    u4 count;
    bool valid(u4 i) const { return i != 0 && i < count; }
    u1 tag(u4 i) const { return tags[i] & CONSTANT_TAG_MASK; }
    bool resolved(u4 i) const { return (tags[i] & CONSTANT_RESOLVED) != 0; }
};

// State of one prescan.
struct scan {
    method_compile_context* m;
    misinfo* mis;
    EE* ee;
    methodblock* mb;
    pool_view pool;
    u4 max_locals;
    u4 arg_words;
    bool saw_invoke;
    bool irregular;
    bool ret_seen;
};

// Local index checks: every index must lie in the frame, the second slot of
// a long or double too.
bool check_local(scan& s, u4 index, bool two_slots, bool store)
{
    if (index >= s.max_locals || (two_slots && index + 1 >= s.max_locals))
        return false;
    if (store) {
        for (u4 k = 0; k < (two_slots ? 2u : 1u); k++)
            if (index + k < s.arg_words)
                mi_set_bit(s.mis->argument_vector, index + k);
    }
    return true;
}

bool check_ldc(scan& s, u4 index, bool two_words)
{
    if (!s.pool.valid(index))
        return false;
    u1 tag = s.pool.tag(index);
    if (two_words)
        return tag == CONSTANT_Long || tag == CONSTANT_Double;
    if (tag != CONSTANT_Integer && tag != CONSTANT_Float && tag != CONSTANT_String)
        return false;
    if (tag == CONSTANT_String && !s.pool.resolved(index))
        s.mis->flags |= MIS_UNRESOLVED_STRING;
    return true;
}

bool check_allocation(scan& s, u1 op, u4 index)
{
    s.mis->allocation_count++;
    s.mis->flags |= MIS_MAY_THROW;
    if (op == BC_NEWARRAY)
        return true;
    if (!s.pool.valid(index))
        return false;
    if (s.pool.tag(index) != CONSTANT_Class)
        return op != BC_NEW && op != BC_NEW_QUICK;
    if (!s.pool.resolved(index)) {
        s.mis->flags |= MIS_NEEDS_RESOLUTION;
        return true;
    }
    auto* cls = reinterpret_cast<classblock*>(s.pool.cp[index]);
    bool is_new = op == BC_NEW || op == BC_NEW_QUICK;
    if (cls == nullptr || !(cls->state & CS_LINKED) || (is_new && (cls->access & (ACC_INTERFACE | ACC_ABSTRACT)))
        || (vm.VerifyClassAccess != nullptr && !vm.VerifyClassAccess(s.mb->clazz, cls, 0)))
        s.mis->flags |= MIS_NEEDS_RESOLUTION;
    return true;
}

bool check_field(scan& s, u1 op, u4 index)
{
    s.mis->flags |= MIS_MAY_THROW;
    if (!s.pool.valid(index) || s.pool.tag(index) != CONSTANT_Fieldref)
        return false;
    if (!s.pool.resolved(index)) {
        if (get_field_signature(s.mb->clazz, index, s.m) == nullptr)
            return false;
        s.mis->flags |= MIS_NEEDS_RESOLUTION;
        return true;
    }
    bool is_static = op == BC_GETSTATIC || op == BC_PUTSTATIC || (op >= BC_GETSTATIC_QUICK && op <= BC_PUTSTATIC2_QUICK);
    bool is_put = op == BC_PUTSTATIC || op == BC_PUTFIELD || op == BC_PUTFIELD_QUICK || op == BC_PUTFIELD2_QUICK
                  || op == BC_PUTSTATIC_QUICK || op == BC_PUTSTATIC2_QUICK || op == BC_PUTFIELD_QUICK_W;
    auto* fb = reinterpret_cast<fieldblock*>(s.pool.cp[index]);
    if (fb == nullptr || ((fb->access & ACC_STATIC) != 0) != is_static
        || (is_put && (fb->access & ACC_FINAL) && fb->clazz != s.mb->clazz))
        s.mis->flags |= MIS_NEEDS_RESOLUTION;
    return true;
}

void check_jsr(scan& s, u4 pc, u4 len, s4 offset)
{
    misinfo* mis = s.mis;
    mis->jsr_count++;
    if (mis->jsr_count == 1) {
        u4 target = static_cast<u4>(static_cast<s4>(pc) + offset);
        u1 ins[4];
        mi_read_instruction(s.ee, s.mb->code, s.mb->code_length, target, ins);
        if (is_astore(ins)) {
            mis->subroutine_pc = static_cast<s4>(target);
            mis->subroutine_after = static_cast<s4>(pc + len);
            if (mis->flags & MIS_SUBROUTINE_EXPANSION)
                mis->flags |= MIS_SUBROUTINES_EXPANDED;
        } else {
            mis->subroutine_pc = 1;
            mis->subroutine_after = -1;
        }
        return;
    }
    if (mis->flags & MIS_SUBROUTINES_EXPANDED) {
        mis->subroutine_pc = 1;
        mis->flags &= ~MIS_SUBROUTINES_EXPANDED;
    }
    mis->subroutine_pc += 1;
}

void check_switch(scan& s, u1 op, u4 pc)
{
    const u1* code = s.mb->code;
    u4 p = (pc + 4) & ~3u;
    if (mi_be32(code + p) < 1)
        s.irregular = true;
    u4 n = op == BC_TABLESWITCH_ ? static_cast<u4>(mi_be32(code + p + 8) - mi_be32(code + p + 4) + 1)
                                 : static_cast<u4>(mi_be32(code + p + 4));
    for (u4 i = 0; i < n; i++) {
        u4 at = op == BC_TABLESWITCH_ ? p + 12 + 4 * i : p + 12 + 8 * i;
        if (mi_be32(code + at) < 1)
            s.irregular = true;
    }
}

bool is_quick_invoke(u1 op)
{
    return (op >= BC_INVOKEVIRTUAL_QUICK_ && op <= BC_INVOKEVIRTUALOBJECT_QUICK_) || op == BC_INVOKEVIRTUAL_QUICK_W_;
}

bool check_invoke(scan& s, u1 op, const u1* ins, u4 pc, u4 len)
{
    s.mis->invoke_count++;
    s.mis->flags |= MIS_MAY_THROW;
    s.saw_invoke = true;
    methodblock* target = nullptr;
    const char* signature = nullptr;
    int resolved = 1;
    bool unresolved_entry = false;
    const u1* code = s.mb->code;
    if (op >= BC_INVOKEVIRTUAL_ && op <= BC_INVOKEINTERFACE_) {
        u4 index = mi_be16u(code + pc + 1);
        u1 want = op == BC_INVOKEINTERFACE_ ? CONSTANT_InterfaceMethodref : CONSTANT_Methodref;
        if (!s.pool.valid(index) || s.pool.tag(index) != want)
            return false;
        if (s.pool.resolved(index)) {
            target = reinterpret_cast<methodblock*>(s.pool.cp[index]);
        } else {
            const char *name, *cls;
            if (get_method_name_sig_and_clname(s.mb->clazz, index, s.m, 1, &name, &signature, &cls) != 0)
                return false;
            unresolved_entry = true;
            resolved = jit_resolve_method_under_java_lang(s.mb->clazz, index, cls, name, signature, s.ee) != 0;
            if (resolved && s.pool.resolved(index))
                target = reinterpret_cast<methodblock*>(s.pool.cp[index]);
            else
                resolved = 0;
        }
    } else if (op == BC_INVOKESUPER_QUICK_) {
        u4 slot = mi_be16u(code + pc + 1);
        classblock* super = s.mb->clazz->superclass;
        if (super != nullptr && super->methodtable != nullptr && slot < super->methodtable_size)
            target = super->methodtable->methods[slot];
    } else {
        u4 index = (op == BC_INVOKEVIRTUAL_QUICK_ || op == BC_INVOKEVIRTUALOBJECT_QUICK_) ? ins[2]
                                                                                         : mi_be16u(code + pc + 1);
        if (!s.pool.valid(index))
            return false;
        target = reinterpret_cast<methodblock*>(s.pool.cp[index]);
    }
    if (target == nullptr)
        resolved = 0;
    if (compile_option_flag & OPT1_NINLINING)
        return true;
    if (target == nullptr)
        s.mis->flags |= MIS_UNRESOLVED_REF;
    u4 slot = target != nullptr ? target->slot : 0;
    int kind = resolve_a_method(op, &resolved, s.mb, &target, &slot);
    if (unresolved_entry)
        s.mis->flags |= MIS_NEEDS_RESOLUTION;
    if (target != nullptr)
        signature = target->signature;
    u4 next = pc + len;
    int tail = next < s.mb->code_length && s.mb->code[next] >= BC_IRETURN_ && s.mb->code[next] <= BC_RETURN_;
    return check_and_register_invocation_info(s.m, s.mis, resolved, target, signature, kind, pc, tail,
                                              is_quick_invoke(op)) == 0;
}

// One instruction of the walk; false rejects the method.
bool check_instruction(scan& s, u4 pc, u4 len, const u1* ins)
{
    u1 op = ins[0];
    const u1* code = s.mb->code;
    if (op >= BC_ILOAD && op <= BC_ALOAD)
        return check_local(s, ins[1], two_slot_local(op), false);
    if (op >= BC_ILOAD_0 && op <= BC_ALOAD_3)
        return check_local(s, static_cast<u4>(op - BC_ILOAD_0) % 4, two_slot_local(op), false);
    if (op >= BC_ISTORE && op <= BC_ASTORE)
        return check_local(s, ins[1], two_slot_local(op), true);
    if (op >= BC_ISTORE_0 && op <= BC_ASTORE_3)
        return check_local(s, static_cast<u4>(op - BC_ISTORE_0) % 4, two_slot_local(op), true);
    if (op == BC_IINC_)
        return check_local(s, ins[1], false, true);
    if (op == BC_WIDE_) {
        u1 inner = code[pc + 1];
        u4 index = mi_be16u(code + pc + 2);
        if (inner == BC_RET_) {
            s.mis->return_count++;
            s.ret_seen = true;
            if ((s.mis->flags & MIS_SUBROUTINES_EXPANDED) && static_cast<s4>(pc) > s.mis->subroutine_after)
                s.irregular = true;
            return check_local(s, index, false, false);
        }
        if (inner == BC_IINC_)
            return check_local(s, index, false, true);
        if ((inner >= BC_ILOAD && inner <= BC_ALOAD) || local_store(inner))
            return check_local(s, index, two_slot_local(inner), local_store(inner));
        return false;
    }
    if (op == BC_RET_) {
        s.mis->return_count++;
        s.ret_seen = true;
        if ((s.mis->flags & MIS_SUBROUTINES_EXPANDED) && static_cast<s4>(pc) > s.mis->subroutine_after)
            s.irregular = true;
        return check_local(s, ins[1], false, false);
    }
    switch (op) {
    case BC_LDC: case BC_LDC_QUICK:
        return check_ldc(s, ins[1], false);
    case BC_LDC_W: case BC_LDC_W_QUICK:
        return check_ldc(s, mi_be16u(code + pc + 1), false);
    case BC_LDC2_W: case BC_LDC2_W_QUICK:
        return check_ldc(s, mi_be16u(code + pc + 1), true);
    case BC_NEW: case BC_NEW_QUICK: case BC_ANEWARRAY: case BC_ANEWARRAY_QUICK: case BC_MULTIANEWARRAY:
    case BC_MULTIANEWARRAY_QUICK:
        return check_allocation(s, op, mi_be16u(code + pc + 1));
    case BC_NEWARRAY:
        return check_allocation(s, op, 0);
    case BC_GETSTATIC: case BC_PUTSTATIC: case BC_GETFIELD: case BC_PUTFIELD: case BC_GETSTATIC_QUICK:
    case BC_PUTSTATIC_QUICK: case BC_GETSTATIC2_QUICK: case BC_PUTSTATIC2_QUICK: case BC_GETFIELD_QUICK_W:
    case BC_PUTFIELD_QUICK_W:
        return check_field(s, op, mi_be16u(code + pc + 1));
    case BC_GETFIELD_QUICK: case BC_PUTFIELD_QUICK: case BC_GETFIELD2_QUICK: case BC_PUTFIELD2_QUICK:
        return check_field(s, op, ins[2]);
    case BC_IDIV: case BC_LDIV: case BC_IREM: case BC_LREM: case BC_ARRAYLENGTH: case BC_ATHROW:
    case BC_MONITORENTER: case BC_MONITOREXIT: case BC_CHECKCAST: case BC_CHECKCAST_QUICK: case BC_NONNULL_QUICK:
    case BC_INVOKEIGNORED_QUICK_:
        s.mis->flags |= MIS_MAY_THROW;
        return true;
    case BC_JSR_:
        check_jsr(s, pc, len, mi_be16(code + pc + 1));
        return true;
    case BC_JSR_W_:
        check_jsr(s, pc, len, mi_be32(code + pc + 1));
        return true;
    case BC_TABLESWITCH_: case BC_LOOKUPSWITCH_:
        check_switch(s, op, pc);
        return true;
    default:
        break;
    }
    if ((op >= BC_IALOAD && op <= BC_SALOAD) || (op >= BC_IASTORE && op <= BC_SASTORE)) {
        s.mis->flags |= MIS_MAY_THROW;
        return true;
    }
    if (op >= BC_IRETURN_ && op <= BC_RETURN_) {
        s.mis->return_count++;
        return true;
    }
    if ((op >= BC_INVOKEVIRTUAL_ && op <= BC_INVOKEINTERFACE_)
        || (op >= BC_INVOKEVIRTUAL_QUICK_ && op <= BC_INVOKEVIRTUALOBJECT_QUICK_) || op == BC_INVOKEVIRTUAL_QUICK_W_)
        return check_invoke(s, op, ins, pc, len);
    return true;
}

u4 popcount_bits(const u4* v, u4 bytes)
{
    u4 n = 0;
    for (u4 i = 0; i < bytes / 4; i++)
        n += static_cast<u4>(__builtin_popcount(v[i]));
    return n;
}

// The inlining context's scratch vector and word array, grown to fit.
void scratch_for(method_compile_context* m, inlining_context* ic, u4 vector_bytes, u4 word_bytes)
{
    if (ic->pc_vector_capacity < vector_bytes) {
        ic->pc_vector = static_cast<u4*>(jit_wmem_alloc(m->pool1, vector_bytes));
        ic->pc_vector_capacity = vector_bytes;
    }
    memset(ic->pc_vector, 0, vector_bytes);
    if (ic->word_array_capacity < word_bytes) {
        ic->word_array = static_cast<u4*>(jit_wmem_alloc(m->pool1, word_bytes));
        ic->word_array_capacity = word_bytes;
    }
}

int reject(methodblock* mb)
{
    mb->jit_flags |= MBJ_PRESCAN_REJECTED;
    return 1;
}

} // namespace

int prescan_bytecode(method_compile_context* m, misinfo* mis, EE* ee)
{
    methodblock* mb = mis->mb;
    u4 length = mb->code_length;
    u4 vector = mi_pc_vector_bytes(length);
    u4 args = mb->args_size;
    u4 total = 3 * vector + 8 * ((args + 63) / 64);
    auto* bits = static_cast<u4*>(jit_wmem_alloc(m->pool1, total));
    memset(bits, 0, total);
    mis->leaders = bits;
    mis->live_leaders = bits + vector / 4;
    mis->starts = bits + 2 * vector / 4;
    mis->argument_vector = bits + 3 * vector / 4;
    inlining_context local_ic;
    inlining_context* ic = m->inlining;
    if (ic == nullptr) {
        memset(&local_ic, 0, sizeof local_ic);
        ic = &local_ic;
    }
    scratch_for(m, ic, vector, 4 * (length + 1));
    if (mb->clazz == nullptr || mb->clazz->constantpool == nullptr)
        return reject(mb);
    if (mi_flow_scan(ee, mb, mis->leaders, mis->live_leaders, mis->starts, ic->word_array) != 0)
        return reject(mb);

    scan s{};
    s.m = m;
    s.mis = mis;
    s.ee = ee;
    s.mb = mb;
    u4* cp = mb->clazz->constantpool;
    s.pool = {mb->clazz, cp, reinterpret_cast<const u1*>(cp[0]), mb->clazz->constantpool_count};
    s.max_locals = mb->nlocals;
    s.arg_words = args;
    for (u4 pc = 0; pc < length;) {
        if (mi_bit(mis->leaders, pc) && !mi_bit(mis->live_leaders, pc)) {
            while (pc < length && !mi_bit(mis->live_leaders, pc))
                pc++;
            continue;
        }
        u1 ins[4];
        mi_read_instruction(ee, mb->code, length, pc, ins);
        u4 len = mi_instruction_length(mb->code, length, pc);
        if (len == 0)
            return reject(mb);
        mis->instruction_count++;
        if (!check_instruction(s, pc, len, ins))
            return reject(mb);
        pc += len;
    }
    mis->block_count = popcount_bits(mis->live_leaders, vector);
    if (s.ret_seen && mis->jsr_count == 0)
        s.irregular = true;

    // A method without any invoke instruction is stack-frame-traversal safe;
    // a method whose sites were not registered (NINLINING) is not thereby safe.
    if (!s.saw_invoke) {
        mb->jit_flags |= MBJ_FRAME_SAFE;
    } else {
        mi_call_site* reversed = nullptr;
        for (mi_call_site* c = mis->call_sites; c != nullptr;) {
            mi_call_site* next = c->next;
            c->next = reversed;
            reversed = c;
            c = next;
        }
        mis->call_sites = reversed;
    }
    if (s.irregular)
        mis->flags |= MIS_IRREGULAR;
    if (args > 0 && !(mb->access & ACC_STATIC) && mi_bit(mis->argument_vector, 0))
        mis->flags |= MIS_STORES_RECEIVER;
    return 0;
}

misinfo* setup_misinfo_for_analyzed_invocation(method_compile_context* m, methodblock* mb, misinfo* caller, EE* ee)
{
    misinfo* mis = mi_prescan_a_method(m, mb, caller);
    if (mis == nullptr)
        return nullptr;
    if (prescan_bytecode(m, mis, ee) == 0)
        return mis;
    // Drop the record from its bucket again.
    inlining_context* ic = m->inlining;
    if (ic != nullptr) {
        for (misinfo** link = &ic->buckets[mb->code_length & (MI_BUCKETS - 1)]; *link != nullptr;
             link = &(*link)->hash_next) {
            if (*link == mis) {
                *link = mis->hash_next;
                break;
            }
        }
    }
    return nullptr;
}

// Marks the call sites inside loops: the sites from a backward branch's
// target up to the branch's own block.
void detect_invocations_within_loop(misinfo* mis, inlining_context* ic)
{
    methodblock* mb = mis->mb;
    u4 length = mb->code_length;
    if (ic == nullptr || ic->word_array == nullptr || ic->word_array_capacity < 4 * (length + 1))
        return;
    mi_call_site** cursor_at = reinterpret_cast<mi_call_site**>(ic->word_array);
    // The cursor recorded at each block start; a marker for "none".
    mi_call_site* const none = reinterpret_cast<mi_call_site*>(uintptr_t{1});
    for (u4 pc = 0; pc <= length; pc++)
        cursor_at[pc] = none;
    mi_call_site* cursor = mis->call_sites;
    const u1* code = mb->code;
    u4 pc = 0;
    while (pc < length) {
        if (!mi_bit(mis->live_leaders, pc)) {
            pc++;
            continue;
        }
        cursor_at[pc] = cursor;
        u4 last = pc;
        do {
            while (cursor != nullptr && cursor->pc == pc)
                cursor = cursor->next;
            last = pc;
            u4 len = mi_instruction_length(code, length, pc);
            if (len == 0)
                return;
            pc += len;
        } while (pc < length && !mi_bit(mis->leaders, pc));
        u1 op = code[last];
        auto mark_from = [&](s4 offset) {
            if (offset >= 0)
                return;
            s4 target = static_cast<s4>(last) + offset;
            if (target < 0)
                return;
            mi_call_site* from = cursor_at[target];
            if (from == none || from == cursor)
                return;
            for (mi_call_site* c = from; c != nullptr && c != cursor; c = c->next)
                c->flags |= MCS_IN_LOOP;
        };
        if (mi_is_conditional_branch(op) || op == BC_GOTO_) {
            mark_from(mi_be16(code + last + 1));
        } else if (op == BC_GOTO_W_) {
            mark_from(mi_be32(code + last + 1));
        } else if (op == BC_TABLESWITCH_ || op == BC_LOOKUPSWITCH_) {
            u4 p = (last + 4) & ~3u;
            mark_from(mi_be32(code + p));
            u4 n = op == BC_TABLESWITCH_ ? static_cast<u4>(mi_be32(code + p + 8) - mi_be32(code + p + 4) + 1)
                                         : static_cast<u4>(mi_be32(code + p + 4));
            for (u4 i = 0; i < n; i++)
                mark_from(mi_be32(code + (op == BC_TABLESWITCH_ ? p + 12 + 4 * i : p + 12 + 8 * i)));
        }
    }
}

void update_location_info_of_method_invocation_info(mi_call_site* site, pc2bb_entry* table)
{
    if (site == nullptr || table == nullptr)
        return;
    site->block = static_cast<int16_t>(table[site->pc].block);
    site->position = static_cast<int16_t>(table[site->pc].position);
    site->flags &= ~MCS_STALE_LOCATION;
    // The argument loaders of a candidate get their positions when they lie in
    // the site's block (the argument analysis fills that record).
}

int generate_xconst_from_bytecode(quadruple** out, const u1* bytecode, method_compile_context* m)
{
    quadruple* q = mcc_quad_free_list(m);
    if (q != nullptr) {
        quadruple* next;
        memcpy(&next, q, sizeof next);
        mcc_set_quad_free_list(m, next);
    } else {
        q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    }
    memset(q, 0, sizeof *q);
    u1 op = bytecode[0];
    u1 opcode = OPC_ICONST;
    s4 value = -1;
    if (op == 1) {
        opcode = OPC_ACONST, value = 0;
    } else if (op >= 2 && op <= 8) {
        value = op - 3;
    } else if (op == 9 || op == 10) {
        opcode = OPC_LCONST, value = -(op - 9);
    } else if (op >= 11 && op <= 13) {
        opcode = OPC_FCONST, value = -(op - 11);
    } else if (op == 14 || op == 15) {
        opcode = OPC_DCONST, value = -(op - 14);
    } else if (op == 16) {
        value = static_cast<int8_t>(bytecode[1]);
    } else if (op == 17) {
        value = mi_be16(bytecode + 1);
    }
    q->opcode = opcode;
    q->value = static_cast<u4>(value);
    // A long constant carries the front end's mark of a value within the
    // signed 32-bit range (its value word holds the whole value).
    if (opcode == OPC_LCONST)
        q->subcode |= QS_LCONST_SMALL_VALUE;
    *out = q;
    return 0;
}

s4 get_xload_index(const u1* bytecode)
{
    u1 op = bytecode[0];
    if (op >= 21 && op <= 25)
        return bytecode[1];
    if (op >= 26 && op <= 45)
        return (op - 26) % 4;
    if (op == BC_WIDE_)
        return static_cast<s4>(mi_be16u(bytecode + 2));
    return -1;
}

void store_table_word_in_record(method_compile_context*, quadruple** slot, u4* table, u4 index)
{
    quadruple* q = *slot;
    if (!(q->subcode & QS_UNRESOLVED))
        q->aux = table[index];
}

void store_table_word_or_vm_default_in_record(method_compile_context*, quadruple** slot, u4* table, u4 index)
{
    quadruple* q = *slot;
    if (q->subcode & QS_UNRESOLVED)
        return;
    q->aux = index >= 1 ? table[index] : reinterpret_cast<u4>(orva_class(orva_classJavaLangString));
}
