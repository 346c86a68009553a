// Linker: turns a parsed class (CS_LOADED) into a prepared one (CS_LINKED).
//
// Order: superclass and direct interfaces first (loaded and linked through
// vm_find_class, so they are announced before this class), the implements
// entries of the constant pool resolved, then
//   - instance fields: superclass fields first, then the class's own in
//     declaration order; every field takes a 4-byte slot (4-aligned, so the
//     quickened forms can carry offset / 4) except long and double, which take
//     8 bytes 8-aligned relative to obj+8; the instance size is the end of the
//     last field.  String.value/offset/count, AbstractList.modCount,
//     Vector.elementData/elementCount and Random.seed come out at their fixed
//     offsets because they are the first fields their classes declare;
//   - statics: 32-bit values in the field block's value word, long and double
//     in the class's 8-aligned static block (the value word points there);
//     ConstantValue attributes stored now, before <clinit>;
//   - method table: inherited slots first, an accessible override reuses its
//     superclass slot, new virtual methods append; classes that do not
//     implement an interface method get a VM-made abstract ("miranda") method
//     in the second method array, so every interface method has a slot;
//   - interface method table: every interface the class implements
//     (superinterfaces and inherited ones included), each with the u16 map
//     from the interface's own method numbers (0..m-1, in the interface
//     method's +0x10 word) to method-table slots;
//   - reference map: sorted reference-field offsets counted from the object
//     pointer (so they are >= 8 and the 0 terminator is unambiguous).
// Interfaces number their methods and share a copy of Object's table;
// their interface method table is the shared empty one.  Last, every method
// is verified by types (verify_types.cpp) before the class is published.
#include <pthread.h>

#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

// Shared table of classes without interfaces: {n = 0, 0, 0} so the inline
// fast path may read +4 and +8.
constinit u4 empty_imethod_table[3] = {0, 0, 0};

// Static String constants of classes linked before java/lang/String.
struct deferred_string {
    fieldblock* fb;
    u2 cp_index;
};
constexpr int MAX_DEFERRED_STRINGS = 256;
constinit deferred_string deferred_strings[MAX_DEFERRED_STRINGS];
constinit int ndeferred_strings = 0;

bool is_virtual(const methodblock* mb)
{
    return !(mb->access & (ACC_STATIC | ACC_PRIVATE)) && mb->name[0] != '<';
}

bool same_member(const methodblock* a, const methodblock* b)
{
    return a == b || (std::strcmp(a->name, b->name) == 0 && std::strcmp(a->signature, b->signature) == 0);
}

// Can a method declared in `cb` override the inherited `sup`?
bool can_override(classblock* cb, const methodblock* sup)
{
    if (sup->access & (ACC_PUBLIC | ACC_PROTECTED))
        return true;
    return vm_same_package(cb->name, sup->clazz->name);
}

// Interfaces whose own methods are numbered (not <clinit>).
u2 interface_method_count(classblock* icb)
{
    u2 n = 0;
    for (u2 i = 0; i < icb->methods_count; i++) {
        if (!(icb->methods[i].vm_flags & MBF_CLINIT))
            n++;
    }
    return n;
}

// A growable list of interfaces without duplicates.
struct iface_list {
    classblock** items;
    u4 n;
    u4 cap;
};

bool iface_add(iface_list* l, classblock* icb)
{
    for (u4 i = 0; i < l->n; i++) {
        if (l->items[i] == icb)
            return true;
    }
    if (l->n == l->cap) {
        u4 cap = l->cap ? l->cap * 2 : 8;
        auto* grown = static_cast<classblock**>(std::realloc(l->items, cap * sizeof(classblock*)));
        if (!grown)
            return false;
        l->items = grown;
        l->cap = cap;
    }
    l->items[l->n++] = icb;
    return true;
}

// Appends `icb` and its superinterfaces (each once, so diamonds cost
// nothing extra).
bool collect_interfaces(iface_list* l, classblock* icb)
{
    u4 before = l->n;
    if (!iface_add(l, icb))
        return false;
    if (l->n == before)
        return true;                             // already there with its superinterfaces
    for (u2 i = 0; i < icb->implements_count; i++) {
        if (!collect_interfaces(l, icb->interfaces[i]))
            return false;
    }
    return true;
}

bool link_error(EE* ee, const char* exception, const char* format, const char* a, const char* b = "")
{
    vm_throwf(ee, exception, format, a, b);
    return false;
}

bool link_supertypes(EE* ee, classblock* cb)
{
    if (cb->super_name) {
        classblock* sup = vm_find_class(ee, cb->super_name, 0);
        if (!sup)
            return false;
        if (sup->access & ACC_INTERFACE)
            return link_error(ee, "java/lang/IncompatibleClassChangeError",
                              "class %s has interface %s as super class", cb->name, sup->name);
        if ((sup->access & ACC_FINAL) && !(cb->access & ACC_INTERFACE))
            return link_error(ee, "java/lang/VerifyError", "Cannot inherit from final class %s", sup->name);
        if (!vm_class_accessible(cb, sup))
            return link_error(ee, "java/lang/IllegalAccessError", "class %s cannot access its superclass %s",
                              cb->name, sup->name);
        cb->superclass = sup;
    }
    if (cb->implements_count) {
        u4* cp = cb->constantpool;
        u1* tags = vm_cp_tags(cp);
        cb->interfaces = static_cast<classblock**>(vm_meta_alloc(cb->implements_count * sizeof(classblock*)));
        for (u2 i = 0; i < cb->implements_count; i++) {
            u2 index = cb->implements[i];
            classblock* icb;
            if (tags[index] & CONSTANT_RESOLVED) {
                icb = reinterpret_cast<classblock*>(cp[index]);
            } else {
                icb = vm_find_class(ee, reinterpret_cast<const char*>(vm_cp_raw(cp)[vm_cp_raw(cp)[index]]), 0);
                if (!icb)
                    return false;
            }
            if (!(icb->access & ACC_INTERFACE))
                return link_error(ee, "java/lang/IncompatibleClassChangeError",
                                  "class %s can not implement %s, because it is not an interface",
                                  cb->name, icb->name);
            if (!vm_class_accessible(cb, icb))
                return link_error(ee, "java/lang/IllegalAccessError", "class %s cannot access its superinterface %s",
                                  cb->name, icb->name);
            cb->interfaces[i] = icb;
            // Word first, then the tag: a reader that sees 0x80 needs no lock.
            __atomic_store_n(&cp[index], reinterpret_cast<u4>(icb), __ATOMIC_RELAXED);
            __atomic_or_fetch(&tags[index], CONSTANT_RESOLVED, __ATOMIC_RELEASE);
        }
    }
    return true;
}

bool layout_instance_fields(EE* ee, classblock* cb)
{
    u4 off = cb->superclass ? cb->superclass->instance_size : 0;
    u4 nrefs = 0;
    for (u2 i = 0; i < cb->fields_count; i++) {
        fieldblock* fb = &cb->fields[i];
        if (fb->access & ACC_STATIC)
            continue;
        if (vm_sig_words(fb->signature) == 2) {
            off = (off + 7) & ~7u;
            fb->value = off;
            off += 8;
        } else {
            fb->value = off;
            off += 4;
            if (fb->signature[0] == 'L' || fb->signature[0] == '[')
                nrefs++;
        }
    }
    if (off > 0xFFF0)
        return link_error(ee, "java/lang/ClassFormatError", "class %s: instance too large", cb->name);
    cb->instance_size = static_cast<u2>(off);

    // Reference map: the superclass's entries, then ours (offsets ascend).
    u2* super_map = cb->superclass ? cb->superclass->ref_map : nullptr;
    u4 nsuper = 0;
    while (super_map && super_map[nsuper])
        nsuper++;
    u2* map = static_cast<u2*>(vm_meta_alloc((nsuper + nrefs + 1) * sizeof(u2)));
    if (nsuper)
        std::memcpy(map, super_map, nsuper * sizeof(u2));
    u4 k = nsuper;
    for (u2 i = 0; i < cb->fields_count; i++) {
        fieldblock* fb = &cb->fields[i];
        if (!(fb->access & ACC_STATIC) && (fb->signature[0] == 'L' || fb->signature[0] == '['))
            map[k++] = static_cast<u2>(fb->value + OBJ_HEADER_SIZE);
    }
    map[k] = 0;
    cb->ref_map = map;
    return true;
}

bool store_string_constant(EE* ee, fieldblock* fb, u2 cp_index)
{
    u4* cp = fb->clazz->constantpool;
    jref s = vm_intern_utf(ee, reinterpret_cast<const char*>(vm_cp_raw(cp)[vm_cp_raw(cp)[cp_index]]));
    if (!s)
        return false;
    fb->value = reinterpret_cast<u4>(s);
    return true;
}

bool layout_statics(EE* ee, classblock* cb)
{
    u4* cp = cb->constantpool;
    u4 nwide = 0;
    for (u2 i = 0; i < cb->fields_count; i++) {
        fieldblock* fb = &cb->fields[i];
        if ((fb->access & ACC_STATIC) && vm_sig_words(fb->signature) == 2)
            nwide++;
    }
    u4* block = nwide ? static_cast<u4*>(vm_meta_alloc(nwide * 8)) : nullptr;
    cb->static_block = block;
    bool strings_ready = vm_class_String && (vm_class_String->state & CS_LINKED);
    for (u2 i = 0; i < cb->fields_count; i++) {
        fieldblock* fb = &cb->fields[i];
        if (!(fb->access & ACC_STATIC))
            continue;
        u2 cv = static_cast<u2>(fb->value);       // ConstantValue index from the reader, or 0
        if (vm_sig_words(fb->signature) == 2) {
            u4* slot = block;
            block += 2;
            if (cv) {
                slot[0] = cp[cv];                  // low word
                slot[1] = cp[cv + 1];
            }
            fb->value = reinterpret_cast<u4>(slot);
        } else if (cv && (fb->signature[0] == 'L')) {
            fb->value = 0;
            if (strings_ready) {
                if (!store_string_constant(ee, fb, cv))
                    return false;
            } else if (ndeferred_strings < MAX_DEFERRED_STRINGS) {
                deferred_strings[ndeferred_strings++] = deferred_string{fb, cv};
            } else {
                return link_error(ee, "java/lang/InternalError", "too many string constants before %s",
                                  "java/lang/String");
            }
        } else {
            fb->value = cv ? cp[cv] : 0;
        }
    }
    return true;
}

methodblock* find_slot_method(methodblock** slots, u4 n, const methodblock* like, u4* slot_out)
{
    methodblock* any = nullptr;
    u4 any_slot = 0;
    for (u4 k = 0; k < n; k++) {
        methodblock* m = slots[k];
        if (m && same_member(m, like)) {
            if (m->access & ACC_PUBLIC) {
                *slot_out = k;
                return m;
            }
            if (!any) {
                any = m;
                any_slot = k;
            }
        }
    }
    *slot_out = any_slot;
    return any;
}

// Method table, miranda methods and interface method table of a class.
bool build_class_tables(EE* ee, classblock* cb)
{
    classblock* sup = cb->superclass;
    u4 ninherited = sup ? sup->methodtable_size : 0;

    // Every interface of the class: the superclass's first, then ours.
    iface_list list = {nullptr, 0, 0};
    bool ok = true;
    if (sup) {
        for (u4 i = 0; i < sup->imethodtable->icount && ok; i++)
            ok = iface_add(&list, sup->imethodtable->itable[i].classdescriptor);
    }
    for (u2 i = 0; i < cb->implements_count && ok; i++)
        ok = collect_interfaces(&list, cb->interfaces[i]);
    if (!ok) {
        std::free(list.items);
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return false;
    }
    classblock** ifaces = list.items;
    u4 nifaces = list.n;
    u4 nimethods = 0;
    for (u4 i = 0; i < nifaces; i++)
        nimethods += interface_method_count(ifaces[i]);

    u4 cap = ninherited + cb->methods_count + nimethods;
    methodblock** slots = static_cast<methodblock**>(std::calloc(cap ? cap : 1, sizeof(methodblock*)));
    methodblock** missing = static_cast<methodblock**>(std::malloc((nimethods ? nimethods : 1) * sizeof(methodblock*)));
    if (!slots || !missing) {
        std::free(slots);
        std::free(missing);
        std::free(ifaces);
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return false;
    }
    if (ninherited)
        std::memcpy(slots, sup->methodtable->methods, ninherited * sizeof(methodblock*));
    u4 nslots = ninherited;

    for (u2 i = 0; i < cb->methods_count && ok; i++) {
        methodblock* mb = &cb->methods[i];
        mb->slot = 0;
        if (!is_virtual(mb))
            continue;
        bool assigned = false;
        for (u4 k = 0; k < ninherited; k++) {
            methodblock* old = slots[k];
            if (!same_member(old, mb) || !can_override(cb, old))
                continue;
            if ((old->access & ACC_FINAL) && old->clazz != cb) {
                ok = link_error(ee, "java/lang/VerifyError", "class %s overrides final method %s",
                                cb->name, old->name);
                break;
            }
            slots[k] = mb;
            if (!assigned) {
                mb->slot = k;
                assigned = true;
            }
        }
        if (ok && !assigned) {
            mb->slot = nslots;
            slots[nslots++] = mb;
        }
    }

    // Interface methods without an implementation get a miranda each.
    u4 nmissing = 0;
    for (u4 i = 0; i < nifaces && ok; i++) {
        classblock* icb = ifaces[i];
        for (u2 j = 0; j < icb->methods_count; j++) {
            methodblock* im = &icb->methods[j];
            if (im->vm_flags & MBF_CLINIT)
                continue;
            u4 slot;
            if (find_slot_method(slots, nslots, im, &slot))
                continue;
            bool dup = false;
            for (u4 k = 0; k < nmissing && !dup; k++)
                dup = same_member(missing[k], im);
            if (!dup)
                missing[nmissing++] = im;
        }
    }
    if (ok && nmissing) {
        cb->mirandas = static_cast<methodblock*>(vm_meta_alloc(nmissing * sizeof(methodblock)));
        cb->miranda_count = static_cast<u2>(nmissing);
        u4 threshold = vm_opts.threshold > MB_COUNTER_MAX ? MB_COUNTER_MAX : vm_opts.threshold;
        for (u4 k = 0; k < nmissing; k++) {
            methodblock* m = &cb->mirandas[k];
            const methodblock* im = missing[k];
            m->clazz = cb;
            m->name = im->name;
            m->signature = im->signature;
            m->access = ACC_PUBLIC | ACC_ABSTRACT;
            m->args_size = im->args_size;
            m->counter = static_cast<u2>(threshold);
            m->invoker = vm_initial_invoker(m);
            m->index = static_cast<u2>(k);
            m->vm_flags = MBF_MIRANDA;
            m->return_kind = im->return_kind;
            m->slot = nslots;
            slots[nslots++] = m;
        }
    }
    if (ok && nslots > 0xFFFF)
        ok = link_error(ee, "java/lang/ClassFormatError", "class %s: too many virtual methods", cb->name);

    if (ok) {
        size_t bytes = 4 * (1 + static_cast<size_t>(nslots));
        method_table* mt = nullptr;
        if (std::strcmp(cb->name, "java/lang/Class") == 0)
            mt = static_cast<method_table*>(vm_meta_alloc_class_methodtable(bytes));
        if (!mt)
            mt = static_cast<method_table*>(vm_meta_alloc(bytes));
        mt->classdescriptor = cb;
        std::memcpy(mt->methods, slots, nslots * sizeof(methodblock*));
        cb->methodtable = mt;
        cb->methodtable_size = static_cast<u2>(nslots);

        if (nifaces == 0) {
            cb->imethodtable = reinterpret_cast<imethod_table*>(empty_imethod_table);
        } else {
            auto* it = static_cast<imethod_table*>(vm_meta_alloc(4 + 8 * nifaces));
            it->icount = nifaces;
            for (u4 i = 0; i < nifaces; i++) {
                classblock* icb = ifaces[i];
                u2 m = interface_method_count(icb);
                u2* map = static_cast<u2*>(vm_meta_alloc((m ? m : 1) * sizeof(u2)));
                for (u2 j = 0; j < icb->methods_count; j++) {
                    methodblock* im = &icb->methods[j];
                    if (im->vm_flags & MBF_CLINIT)
                        continue;
                    u4 slot = 0;
                    find_slot_method(slots, nslots, im, &slot);
                    map[im->slot] = static_cast<u2>(slot);
                }
                it->itable[i].classdescriptor = icb;
                it->itable[i].offsets = map;
            }
            cb->imethodtable = it;
        }
    }
    std::free(missing);
    std::free(slots);
    std::free(ifaces);
    return ok;
}

void build_interface_tables(classblock* cb)
{
    u4 k = 0;
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        mb->slot = (mb->vm_flags & MBF_CLINIT) ? 0 : k++;
    }
    // Interfaces dispatch nothing through their own table; a copy of
    // Object's keeps every class block's table well-formed.
    classblock* object = vm_class_Object;
    u4 n = object ? object->methodtable_size : 0;
    auto* mt = static_cast<method_table*>(vm_meta_alloc(4 * (1 + static_cast<size_t>(n))));
    mt->classdescriptor = cb;
    if (n)
        std::memcpy(mt->methods, object->methodtable->methods, n * sizeof(methodblock*));
    cb->methodtable = mt;
    cb->methodtable_size = static_cast<u2>(n);
    cb->imethodtable = reinterpret_cast<imethod_table*>(empty_imethod_table);
    cb->ref_map = static_cast<u2*>(vm_meta_alloc(sizeof(u2)));
}

}  // namespace

imethod_table* vm_empty_imethod_table()
{
    return reinterpret_cast<imethod_table*>(empty_imethod_table);
}

bool vm_link_class(EE* ee, classblock* cb)
{
    if (cb->state & CS_LINKED)
        return true;
    if (!link_supertypes(ee, cb))
        return false;
    if (cb->access & ACC_INTERFACE) {
        build_interface_tables(cb);
        if (!layout_statics(ee, cb))
            return false;
    } else {
        if (!layout_instance_fields(ee, cb) || !layout_statics(ee, cb) || !build_class_tables(ee, cb))
            return false;
    }
    if (!vm_verify_class_types(ee, cb))
        return false;
    __atomic_or_fetch(&cb->state, static_cast<u2>(CS_LINKED), __ATOMIC_RELEASE);
    return true;
}

bool vm_link_deferred_string_constants(EE* ee)
{
    while (ndeferred_strings > 0) {
        deferred_string d = deferred_strings[--ndeferred_strings];
        if (!store_string_constant(ee, d.fb, d.cp_index))
            return false;
    }
    return true;
}
