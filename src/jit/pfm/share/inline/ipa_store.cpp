// Inter-procedural store summaries: for a called method, which kinds of
// storage it may write (instance fields, static fields and array elements,
// each by element type) and whether it may throw, from its own bytecode and,
// transitively, from its callees.  The commoning pass asks at a call which of
// the memory values it keeps available the callee may change
// (`dynamic_reg_propa_if`) and keeps the others across the call.
//
// A summary is a signed word: bits 0-9 instance fields, 10-19 static fields,
// 20-29 array elements (one bit per type, IPA_TYPE_* order), bit 30 "may
// throw", bit 31 "computed".  0x7FFFFFFF means "may write anything"; with bit
// 31 it reads -1.  The summary record hangs from the method's `misinfo`
// (created by the prescan when the inlining walk has not met the method) and
// lives in the compilation's work memory.
//
// The scan steps over unreachable blocks and ignores writes and calls on a
// block that ends in an athrow no handler of the method covers (the caller
// sees such a path only as an exception).  A call that may reach an override
// makes the summary "anything".  A method under analysis that is reached
// again answers -1 (anything), so mutual recursion ends with both methods
// writing anything.
//
// Monitors are synchronization points: a method that enters or leaves a
// monitor, or is itself synchronized, lets other threads' writes become
// visible to its caller, so it counts as writing anything (a summary of
// "writes nothing" would let the caller keep a field value loaded before
// the call).
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"

namespace {

constexpr u1 BC_IASTORE = 79, BC_LASTORE = 80, BC_FASTORE = 81, BC_DASTORE = 82, BC_AASTORE = 83;
constexpr u1 BC_BASTORE = 84, BC_CASTORE = 85, BC_SASTORE = 86, BC_ATHROW = 191;
constexpr u1 BC_PUTSTATIC = 179, BC_PUTFIELD = 181, BC_INVOKEDYNAMIC = 186, BC_BREAKPOINT = 202;
constexpr u1 BC_MONITORENTER = 194, BC_MONITOREXIT = 195;
constexpr u1 BC_PUTFIELD_QUICK = 207, BC_PUTFIELD2_QUICK = 209, BC_PUTSTATIC_QUICK = 211;
constexpr u1 BC_PUTSTATIC2_QUICK = 213, BC_PUTFIELD_QUICK_W = 228, BC_LAST_KNOWN = 253, BC_IMPDEP = 255;

constexpr s4 IPA_KIND_REFERENCE = -3;   // record of a reference-typed local or the return value
constexpr s4 IPA_KIND_CALL = -4;        // record of a call
constexpr u4 IPA_FIXED_RECORDS = 4;     // records 0-3; record 3 stands for the return value

struct scan_record {
    u4 pc;
    methodblock* target;
    int16_t kind;
    u2 cp_index;
};
static_assert(sizeof(scan_record) == 12);
static_assert(offsetof(scan_record, pc) == 0);
static_assert(offsetof(scan_record, target) == 4);
static_assert(offsetof(scan_record, kind) == 8);
static_assert(offsetof(scan_record, cp_index) == 10);

struct scan_state {
    misinfo* mis;
    EE* ee;
    method_compile_context* m;
    scan_record* records;
    u4 capacity;
    u4 next_call;                       // cursor of the call records
    u4 first_call;
    s4 summary;
};

// The masks of one type in the three groups, by the first letter of a
// signature; 0 for a letter that is not a type.
s4 type_mask(char letter)
{
    switch (letter) {
    case 'J': return IPA_TYPE_LONG;
    case 'I': return IPA_TYPE_INT;
    case 'Z': return IPA_TYPE_BOOLEAN;
    case 'B': return IPA_TYPE_BYTE;
    case 'S': return IPA_TYPE_SHORT;
    case 'C': return IPA_TYPE_CHAR;
    case 'F': return IPA_TYPE_FLOAT;
    case 'D': return IPA_TYPE_DOUBLE;
    case 'L': return IPA_TYPE_CLASS;
    case '[': return IPA_TYPE_ARRAY;
    default: return 0;
    }
}

s4 array_store_bits(u1 op)
{
    switch (op) {
    case BC_IASTORE: return IPA_TYPE_INT & IPA_ARRAY_BITS;
    case BC_LASTORE: return IPA_TYPE_LONG & IPA_ARRAY_BITS;
    case BC_FASTORE: return IPA_TYPE_FLOAT & IPA_ARRAY_BITS;
    case BC_DASTORE: return IPA_TYPE_DOUBLE & IPA_ARRAY_BITS;
    case BC_AASTORE: return (IPA_TYPE_CLASS | IPA_TYPE_ARRAY) & IPA_ARRAY_BITS;
    case BC_BASTORE: return (IPA_TYPE_BOOLEAN | IPA_TYPE_BYTE) & IPA_ARRAY_BITS;
    case BC_CASTORE: return IPA_TYPE_CHAR & IPA_ARRAY_BITS;
    case BC_SASTORE: return IPA_TYPE_SHORT & IPA_ARRAY_BITS;
    default: return 0;
    }
}

bool pc_in_handler_range(const methodblock* mb, u4 pc)
{
    const auto* e = reinterpret_cast<const exception_entry*>(mb->exception_table);
    for (u4 i = 0; e != nullptr && i < mb->exception_table_length; i++)
        if (pc >= e[i].start_pc && pc < e[i].end_pc)
            return true;
    return false;
}

// The block starting at `pc` ends in an athrow that no handler of the method
// covers.
bool ends_in_uncaught_throw(const misinfo* mis, u4 pc)
{
    const methodblock* mb = mis->mb;
    u4 length = mb->code_length;
    u4 last = pc;
    while (pc < length) {
        u4 len = mi_instruction_length(mb->code, length, pc);
        if (len == 0)
            return false;
        last = pc;
        pc += len;
        if (pc < length && mi_bit(mis->leaders, pc))
            break;
    }
    return mb->code[last] == BC_ATHROW && !pc_in_handler_range(mb, last);
}

// The method a constant-pool entry names, when the entry has the wanted tag
// (Methodref or InterfaceMethodref) and is resolved; else null.
methodblock* resolve_cp_method_entry(const classblock* cb, u4 index)
{
    u4* cp = cb->constantpool;
    if (cp == nullptr || index == 0 || index >= cb->constantpool_count)
        return nullptr;
    u1 tag = reinterpret_cast<const u1*>(cp[0])[index];
    u1 kind = tag & CONSTANT_TAG_MASK;
    if (!(tag & CONSTANT_RESOLVED) || (kind != CONSTANT_Methodref && kind != CONSTANT_InterfaceMethodref))
        return nullptr;
    return reinterpret_cast<methodblock*>(cp[index]);
}

bool call_may_be_overridden(u1 op, const methodblock* target)
{
    if (op == BC_INVOKEINTERFACE_ || op == BC_INVOKEINTERFACE_QUICK_ || target == nullptr)
        return true;
    bool virtual_call = op == BC_INVOKEVIRTUAL_ || op == BC_INVOKEVIRTUAL_QUICK_
                        || op == BC_INVOKEVIRTUALOBJECT_QUICK_ || op == BC_INVOKEVIRTUAL_QUICK_W_;
    if (!virtual_call)
        return false;
    return !(target->access & (ACC_PRIVATE | ACC_FINAL))
           && !(target->clazz != nullptr && (target->clazz->access & ACC_FINAL));
}

bool is_invoke(u1 op)
{
    return (op >= BC_INVOKEVIRTUAL_ && op <= BC_INVOKEINTERFACE_)
           || (op >= BC_INVOKEVIRTUAL_QUICK_ && op <= BC_INVOKEVIRTUALOBJECT_QUICK_) || op == BC_INVOKEVIRTUAL_QUICK_W_;
}

methodblock* invoke_target(const methodblock* mb, u1 op, const u1* ins, u4 pc, u2* index)
{
    const u1* code = mb->code;
    if (op == BC_INVOKESUPER_QUICK_) {
        u4 slot = mi_be16u(code + pc + 1);
        classblock* super = mb->clazz->superclass;
        *index = 0;
        if (super != nullptr && super->methodtable != nullptr && slot < super->methodtable_size)
            return super->methodtable->methods[slot];
        return nullptr;
    }
    u4 i = (op == BC_INVOKEVIRTUAL_QUICK_ || op == BC_INVOKEVIRTUALOBJECT_QUICK_) ? ins[2] : mi_be16u(code + pc + 1);
    *index = static_cast<u2>(i);
    return resolve_cp_method_entry(mb->clazz, i);
}

// The first letter of the signature of a field reference, resolved or not.
char field_letter(scan_state& s, u4 index)
{
    const classblock* cb = s.mis->mb->clazz;
    u4* cp = cb->constantpool;
    if (index == 0 || index >= cb->constantpool_count)
        return 0;
    u1 tag = reinterpret_cast<const u1*>(cp[0])[index];
    if ((tag & CONSTANT_TAG_MASK) != CONSTANT_Fieldref)
        return 0;
    if (tag & CONSTANT_RESOLVED) {
        const fieldblock* fb = reinterpret_cast<const fieldblock*>(cp[index]);
        return fb != nullptr && fb->signature != nullptr ? fb->signature[0] : 0;
    }
    // Unresolved: the reference's own signature text.
    return static_cast<char>(get_field_signature_type_from_cp_with_lock(const_cast<classblock*>(cb), s.ee, index));
}

// The bits a field store sets; a store the scan cannot type writes anything.
s4 field_store_bits(scan_state& s, u1 op, const u1* ins, u4 pc)
{
    const u1* code = s.mis->mb->code;
    bool quick_byte_index = op == BC_PUTFIELD_QUICK || op == BC_PUTFIELD2_QUICK;
    u4 index = quick_byte_index ? ins[2] : mi_be16u(code + pc + 1);
    s4 mask = type_mask(field_letter(s, index));
    if (mask == 0)
        return IPA_ANYTHING;
    bool is_static = op == BC_PUTSTATIC || op == BC_PUTSTATIC_QUICK || op == BC_PUTSTATIC2_QUICK;
    return mask & (is_static ? IPA_STATIC_BITS : IPA_FIELD_BITS);
}

bool is_field_store(u1 op)
{
    return op == BC_PUTFIELD || op == BC_PUTSTATIC || op == BC_PUTFIELD_QUICK || op == BC_PUTFIELD2_QUICK
           || op == BC_PUTSTATIC_QUICK || op == BC_PUTSTATIC2_QUICK || op == BC_PUTFIELD_QUICK_W;
}

void mark_reference_parameters(scan_state& s)
{
    const methodblock* mb = s.mis->mb;
    const char* sig = mb->signature;
    u4 local = 0;
    if (!(mb->access & ACC_STATIC))
        s.records[IPA_FIXED_RECORDS + local++].kind = IPA_KIND_REFERENCE;
    if (sig == nullptr || *sig != '(')
        return;
    for (const char* p = sig + 1; *p != 0 && *p != ')'; p++) {
        bool reference = *p == 'L' || *p == '[';
        bool two_words = *p == 'J' || *p == 'D';
        while (*p == '[')
            p++;
        if (*p == 'L')
            while (*p != 0 && *p != ';')
                p++;
        if (reference && IPA_FIXED_RECORDS + local < s.first_call)
            s.records[IPA_FIXED_RECORDS + local].kind = IPA_KIND_REFERENCE;
        local += two_words ? 2 : 1;
        if (*p == 0)
            break;
    }
    const char* ret = strchr(sig, ')');
    if (ret != nullptr && (ret[1] == 'L' || ret[1] == '['))
        s.records[3].kind = IPA_KIND_REFERENCE;
}

// One instruction; false fails the scan.
bool scan_instruction(scan_state& s, EE* ee, u4 pc, bool throw_path)
{
    const methodblock* mb = s.mis->mb;
    u1 ins[4];
    u1 op = mi_read_instruction(ee, mb->code, mb->code_length, pc, ins);
    if (op == BC_INVOKEDYNAMIC || op == BC_BREAKPOINT || (op > BC_LAST_KNOWN && op <= BC_IMPDEP)) {
        fprintf(stderr, "ipa_scancode: unlisted code %d at %d\n", op, static_cast<int>(pc));
        return false;
    }
    if (op == BC_MONITORENTER || op == BC_MONITOREXIT) {
        s.summary = IPA_ANYTHING;
        return true;
    }
    if (op == BC_ATHROW) {
        s.summary |= IPA_MAY_THROW;
        return true;
    }
    if (op >= BC_IASTORE && op <= BC_SASTORE) {
        if (!throw_path)
            s.summary |= array_store_bits(op);
        return true;
    }
    if (is_field_store(op)) {
        if (!throw_path)
            s.summary |= field_store_bits(s, op, ins, pc);
        return true;
    }
    if (!is_invoke(op))
        return true;
    // Calls on a path that ends in an uncaught throw are not merged.
    if (throw_path)
        return true;
    u2 index = 0;
    methodblock* target = invoke_target(mb, op, ins, pc, &index);
    if (call_may_be_overridden(op, target)) {
        s.summary = IPA_ANYTHING;
        return true;
    }
    if (s.next_call >= s.capacity)
        return false;
    scan_record* r = &s.records[s.next_call++];
    r->pc = pc;
    r->target = target;
    r->kind = IPA_KIND_CALL;
    r->cp_index = index;
    return true;
}

bool ipa_scancode(scan_state& s, EE* ee)
{
    misinfo* mis = s.mis;
    const methodblock* mb = mis->mb;
    u4 length = mb->code_length;
    bool throw_path = false;
    for (u4 pc = 0; pc < length;) {
        if (mi_bit(mis->leaders, pc)) {
            if (!mi_bit(mis->live_leaders, pc)) {
                while (pc < length && !mi_bit(mis->live_leaders, pc))
                    pc++;
                continue;
            }
            throw_path = ends_in_uncaught_throw(mis, pc);
        }
        u4 len = mi_instruction_length(mb->code, length, pc);
        if (len == 0 || !scan_instruction(s, ee, pc, throw_path))
            return false;
        if (s.summary == IPA_ANYTHING)
            return true;
        pc += len;
    }
    return true;
}

void ipa_merge_callees(scan_state& s, ipa_summary_record* rec, methodblock* mb, int flags, int depth)
{
    s4 summary = rec->own_summary & ~IPA_COMPUTED;
    for (u4 i = s.first_call; i < s.next_call; i++) {
        if (summary == IPA_ANYTHING)
            break;
        const scan_record* r = &s.records[i];
        s4 callee = ipa_check_stored(s.m, r->target, mb, flags, depth + 1);
        summary |= callee & IPA_ANYTHING;
        if ((callee & IPA_MAY_THROW) && pc_in_handler_range(mb, r->pc))
            summary = IPA_ANYTHING;
    }
    rec->final_summary = summary | IPA_COMPUTED;
    mb->jit_flags |= IPAmb_shrink(rec->final_summary) & IPA_MB_FLAG_MASK;
}

ipa_summary_record* summary_record(method_compile_context* m, methodblock* mb, bool create)
{
    inlining_context* ic = m->inlining;
    if (ic == nullptr)
        return nullptr;
    misinfo* mis = search_existing_misinfo(ic, mb);
    EE* ee = ic->ee != nullptr ? ic->ee : vm.EE();
    if (mis == nullptr && create)
        mis = setup_misinfo_for_analyzed_invocation(m, mb, nullptr, ee);
    if (mis == nullptr)
        return nullptr;
    // The root's record exists before its prescan has run.
    if (mis->leaders == nullptr && (!create || prescan_bytecode(m, mis, ee) != 0))
        return nullptr;
    if (mis->store_summary == nullptr && create) {
        auto* rec = static_cast<ipa_summary_record*>(jit_wmem_alloc(m->pool1, sizeof(ipa_summary_record)));
        memset(rec, 0, sizeof *rec);
        rec->mis = mis;
        mis->store_summary = rec;
    }
    return mis->store_summary;
}

// Returns the analysis marker (0 when the method was not analysed).
u4 analyse_method_stores(method_compile_context* m, methodblock* mb, int flags, int depth)
{
    if (mb->access & (ACC_NATIVE | ACC_ABSTRACT))
        return 0;
    ipa_summary_record* rec = summary_record(m, mb, true);
    if (rec == nullptr || rec->marker != 0)
        return rec != nullptr ? rec->marker : 0;
    misinfo* mis = rec->mis;
    work_pool* pool = jit_wmem_init(0);
    if (pool == nullptr)
        return 0;
    scan_state s{};
    s.mis = mis;
    s.m = m;
    s.ee = m->inlining->ee != nullptr ? m->inlining->ee : vm.EE();
    s.first_call = IPA_FIXED_RECORDS + mb->nlocals;
    s.capacity = s.first_call + mis->invoke_count + 4;
    s.next_call = s.first_call;
    s.records = static_cast<scan_record*>(jit_wmem_alloc(pool, s.capacity * sizeof(scan_record)));
    memset(s.records, 0, s.capacity * sizeof(scan_record));
    mark_reference_parameters(s);
    rec->marker = IPA_ANALYSIS_STARTED;
    // A synchronized method takes its monitor around the whole body.
    s.summary = (mb->access & ACC_SYNCHRONIZED) ? IPA_ANYTHING : 0;
    if (s.summary != IPA_ANYTHING && !ipa_scancode(s, s.ee)) {
        jit_wmem_free(pool);
        return rec->marker;
    }
    rec->own_summary = s.summary | IPA_COMPUTED;
    ipa_merge_callees(s, rec, mb, flags, depth);
    jit_wmem_free(pool);
    return rec->marker;
}

bool is_system_arraycopy(const methodblock* mb)
{
    return mb->clazz != nullptr && mb->clazz->name != nullptr && strcmp(mb->clazz->name, "java/lang/System") == 0
           && mb->name != nullptr && strcmp(mb->name, "arraycopy") == 0 && mb->signature != nullptr
           && strcmp(mb->signature, "(Ljava/lang/Object;ILjava/lang/Object;II)V") == 0;
}

} // namespace

u4 IPAmb_shrink(s4 summary)
{
    u4 s = static_cast<u4>(summary);
    u4 shrunk = 0;
    if (s & static_cast<u4>(IPA_TYPE_INT))
        shrunk |= 0x2;
    if (s & 0x3D0F43Du)
        shrunk |= 0x4;
    if (s & static_cast<u4>(IPA_TYPE_CLASS | IPA_TYPE_ARRAY))
        shrunk |= 0x400000;
    if (s & static_cast<u4>(IPA_TYPE_FLOAT | IPA_TYPE_DOUBLE))
        shrunk |= 0x20000000;
    if (s & static_cast<u4>(IPA_MAY_THROW))
        shrunk |= 0x40000000;
    if (s & static_cast<u4>(IPA_COMPUTED))
        shrunk |= 0x80000000;
    return shrunk;
}

s4 ipa_check_stored(method_compile_context* m, methodblock* mb, methodblock* caller, int flags, int depth)
{
    if (m == nullptr || mb == nullptr)
        return -1;
    ipa_summary_record* rec = summary_record(m, mb, false);
    if (rec != nullptr && rec->final_summary < 0)
        return rec->final_summary;
    analyse_method_stores(m, mb, flags, depth);
    rec = summary_record(m, mb, false);
    if (rec != nullptr && (rec->final_summary & IPA_COMPUTED))
        return rec->final_summary;
    // Not analysed (native, abstract, failed scan) or still under analysis
    // further up the call chain.
    if (mb->clazz == nullptr || !(mb->clazz->state & CS_LINKED))
        return -1;
    if (is_system_arraycopy(mb))
        return static_cast<s4>(0xFFF00000u);
    return -1;
}

int dynamic_reg_propa_if(method_compile_context* m, int flags, methodblock* callee, int mask, int caller_summary)
{
    if (compile_option3_flag & (OPT3_NIPA | OPT3_NIPA_ST))
        return mask;
    s4 summary = ipa_check_stored(m, callee, m != nullptr ? m->mb : nullptr, flags, 0);
    if ((caller_summary & IPA_MAY_THROW) && (summary & IPA_MAY_THROW))
        summary = IPA_ANYTHING;
    return mask & summary;
}
