// Class-hierarchy records and class entry.
//
// `AddClass` gives a prepared class its `cha_class_info`: it links the record
// under its superclass (classes) or under each interface it names directly,
// sets one override bit per method-table slot that the class fills with a
// concrete method of its own, counts the implementors of every interface in
// its interface table, and removes (patching back their call sites) the
// override records of ancestors' methods that the class overrides, and of
// interfaces that now have a second implementor.  `DeleteClass` takes an
// unloaded class out again.
//
// Superclasses and interfaces are entered before the classes below them (the
// VM announces them in that order and the start-up walk enforces it); a record
// made early for a superclass stays not entered until its own AddClass.
//
// Allocation failures never leave an optimistic answer behind: a class whose
// override bits cannot be had, or a superclass or interface whose subclass
// array cannot grow, gets its excluded mark, so every query below it answers
// "not bindable".
#include <string.h>

#include "driver/driver.h"
#include "inline/inline.h"

u1 orva_cha_lock[SYS_MONITOR_MAX_SIZE] __attribute__((aligned(8)));
u4 cha_class_id_counter;

namespace {

EE* current_ee() { return vm.EE != nullptr ? vm.EE() : nullptr; }

bool nocha() { return compile_option2_flag & OPT2_NCHA; }

void enter(void* monitor, EE* ee)
{
    if (vm.sysMonitorEnter != nullptr)
        vm.sysMonitorEnter(orva_sys_thread(ee), monitor);
}

void leave(void* monitor, EE* ee)
{
    if (vm.sysMonitorExit != nullptr)
        vm.sysMonitorExit(orva_sys_thread(ee), monitor);
}

cha_class_info* make_record(classblock* cb)
{
    auto* r = static_cast<cha_class_info*>(jit_mem_alloc(sizeof(cha_class_info), JMEM_CONTROL));
    if (r == nullptr)
        return nullptr;
    memset(r, 0, sizeof(*r));
    r->subclasses = static_cast<cha_class_info**>(
        jit_mem_alloc(CHA_SUBCLASS_CAPACITY * sizeof(cha_class_info*), JMEM_CONTROL));
    if (r->subclasses == nullptr) {
        jit_mem_free(r);
        return nullptr;
    }
    r->clazz = cb;
    r->subclass_capacity = CHA_SUBCLASS_CAPACITY;
    r->class_id = cha_class_id_counter++;
    cb->cha_info = r;
    return r;
}

bool append_subclass(cha_class_info* parent, cha_class_info* child)
{
    if (parent->subclass_count == parent->subclass_capacity) {
        u4 capacity = parent->subclass_capacity * 3 / 2;
        auto* grown = static_cast<cha_class_info**>(jit_mem_alloc(capacity * sizeof(cha_class_info*), JMEM_CONTROL));
        if (grown == nullptr)
            return false;
        memcpy(grown, parent->subclasses, parent->subclass_count * sizeof(cha_class_info*));
        parent->subclasses = grown;     // the old array is kept, as every detached array
        parent->subclass_capacity = capacity;
    }
    parent->subclasses[parent->subclass_count++] = child;
    return true;
}

// Removes child from parent's subclasses when it is there.
void remove_subclass(cha_class_info* parent, cha_class_info* child)
{
    for (u4 i = 0; i < parent->subclass_count; i++) {
        if (parent->subclasses[i] == child) {
            parent->subclasses[i] = parent->subclasses[parent->subclass_count - 1];
            parent->subclass_count--;
            return;
        }
    }
}

// The interface named by implements entry i, when it is resolved.
classblock* implemented(classblock* cb, u4 i)
{
    if (cb->implements == nullptr || cb->constantpool == nullptr)
        return nullptr;
    u2 index = cb->implements[i];
    if (index == 0 || index >= cb->constantpool_count)
        return nullptr;
    const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
    if ((tags[index] & CONSTANT_TAG_MASK) != CONSTANT_Class || !(tags[index] & CONSTANT_RESOLVED))
        return nullptr;
    return reinterpret_cast<classblock*>(cb->constantpool[index]);
}

void set_bit(cha_class_info* r, u4 slot, bool on)
{
    u4 mask = 0x80000000u >> (slot % 32);
    if (on)
        r->override_bits[slot / 32] |= mask;
    else
        r->override_bits[slot / 32] &= ~mask;
}

// Record set-up (making, bits, links); answers 1 when a record could not be made.
int set_up(classblock* cb, cha_class_info** out)
{
    cha_class_info* r = cha_record(cb);
    if (r == nullptr && (r = make_record(cb)) == nullptr)
        return 1;
    *out = r;
    if (r->entered)
        return 0;
    u4 words = (cb->methodtable_size + 31u) / 32u;
    r->override_word_count = 0;
    r->override_bits = nullptr;
    if (words != 0) {
        r->override_bits = static_cast<u4*>(jit_mem_alloc(words * 4, JMEM_CONTROL));
        if (r->override_bits != nullptr) {
            memset(r->override_bits, 0, words * 4);
            r->override_word_count = words;
        } else {
            r->excluded = 1;    // overrides unknown: nothing below is bindable
        }
    }
    classblock* super = cb->superclass;
    if (super == nullptr)
        return 0;
    cha_class_info* sr = cha_record(super);
    if (sr == nullptr && (sr = make_record(super)) == nullptr)
        return 1;
    if (!(cb->access & ACC_INTERFACE) && !append_subclass(sr, r))
        sr->excluded = 1;       // the superclass no longer sees all its subclasses
    for (u4 i = 0; i < cb->implements_count; i++) {
        classblock* iface = implemented(cb, i);
        if (iface == nullptr)
            continue;
        cha_class_info* ir = cha_record(iface);
        if (ir == nullptr && (ir = make_record(iface)) == nullptr)
            continue;
        if (!append_subclass(ir, r))
            ir->excluded = 1;
    }
    return 0;
}

void remove_all_overrides(cha_class_info* r)
{
    while (r->override_records != nullptr)
        cha_remove_override_record(r, r->override_records);
}

void enter_class(classblock* cb, cha_class_info* r)
{
    if (r->entered)
        return;
    r->entered = 1;
    classblock* super = cb->superclass;
    if (super == nullptr)
        return;
    const imethod_table* it = cb->imethodtable;
    for (u4 i = 0; it != nullptr && i < it->icount; i++) {
        classblock* iface = it->itable[i].classdescriptor;
        cha_class_info* ir = cha_record(iface);
        if (iface == cb || ir == nullptr)
            continue;
        if (++ir->implementor_count > 1)
            remove_all_overrides(ir);
    }
    if (cb->access & ACC_INTERFACE)
        return;
    cha_class_info* sr = cha_record(super);
    if (r->override_bits != nullptr) {
        u4 p = super->methodtable_size;
        u4 n = cb->methodtable_size;
        const method_table* mt = cb->methodtable;
        const method_table* smt = super->methodtable;
        for (u4 s = 0; s < n && mt != nullptr; s++) {
            methodblock* m = mt->methods[s];
            bool concrete = m != nullptr && !(m->access & ACC_ABSTRACT);
            if (s < p)
                set_bit(r, s, sr != nullptr && sr->entered && smt != nullptr && m != smt->methods[s] && concrete);
            else
                set_bit(r, s, concrete);
        }
    }
    // Ancestors' override records of methods this class overrides.  Without
    // override bits every slot counts as overridden.
    for (classblock* a = super; a != nullptr; a = a->superclass) {
        cha_class_info* ar = cha_record(a);
        if (ar == nullptr)
            continue;
        cha_override_record* o = ar->override_records;
        while (o != nullptr) {
            cha_override_record* next = o->next;
            if (r->override_bits == nullptr || cha_bit(r, o->method->slot))
                cha_remove_override_record(ar, o);
            o = next;
        }
    }
}

void invalidate_entries(cha_patch_entry* entries, u4 count)
{
    for (u4 i = 0; i < count; i++) {
        const cha_patch_entry& e = entries[i];
        if (e.method == nullptr)
            continue;
        rcc* code = search_committed_code0(e.site);
        cha_class_info* cr = cha_record(e.method->clazz);
        if (code != nullptr && code->mb == e.method && code->start == e.code_start && cr != nullptr
            && cr->class_id == e.class_id)
            CallBackInvalidateCode(e.site, e.patch);
    }
}

} // namespace

void cha_remove_override_record(cha_class_info* owner, cha_override_record* record)
{
    for (cha_override_record** p = &owner->override_records; *p != nullptr; p = &(*p)->next) {
        if (*p == record) {
            *p = record->next;
            invalidate_entries(record->entries, record->entry_count);
            record->entries = nullptr;
            record->entry_count = 0;
            record->entry_capacity = 0;
            return;
        }
    }
}

void jit_init_cha(void)
{
    if (vm.sysMonitorInit != nullptr)
        vm.sysMonitorInit(orva_cha_lock);
    cha_class_id_counter = 1;
}

int AddClass(classblock* cb, int a1, int a2, int only_if_flagged)
{
    EE* ee = current_ee();
    enter(orva_binclass_lock, ee);
    bool cha = !nocha();
    if (cha)
        enter(orva_cha_lock, ee);
    int result = 0;
    if (cha && !(only_if_flagged && !(cb->state & CS_LINKED))) {
        cha_class_info* r = nullptr;
        result = set_up(cb, &r);
        if (result == 0)
            enter_class(cb, r);
    }
    if (cha)
        leave(orva_cha_lock, ee);
    leave(orva_binclass_lock, ee);
    return result;
}

void DeleteClass(classblock* cb)
{
    EE* ee = current_ee();
    bool cha = !nocha();
    if (!cha)
        return;
    enter(orva_cha_lock, ee);
    cha_class_info* r = cha_record(cb);
    if (r != nullptr) {
        for (cha_override_record* o = r->override_records; o != nullptr; o = o->next) {
            o->entries = nullptr;
            o->entry_count = 0;
        }
        for (cha_unload_record* u = r->unload_records; u != nullptr; u = u->next) {
            for (u4 i = 0; i < u->entry_count; i++) {
                const cha_unload_entry& e = u->entries[i];
                rcc* code = search_committed_code0(e.site);
                if (code != nullptr && code->start == e.code_start)
                    CallBackInvalidateCode(e.site, e.patch);
            }
            u->entries = nullptr;
            u->entry_count = 0;
        }
        cha_class_info* sr = cha_record(cb->superclass);
        if (sr != nullptr && !(cb->access & ACC_INTERFACE))
            remove_subclass(sr, r);
        for (u4 i = 0; i < cb->implements_count; i++) {
            classblock* iface = implemented(cb, i);
            cha_class_info* ir = cha_record(iface);
            if (iface != nullptr && (iface->access & ACC_INTERFACE) && ir != nullptr)
                remove_subclass(ir, r);
        }
        r->subclasses = nullptr;
        cb->cha_info = nullptr;
    }
    leave(orva_cha_lock, ee);
}
