// Constant-pool accessors.
//
// The compiler reads the VM's constant pools while other threads may resolve
// entries of the same pool.  A resolved entry (tag bit 0x80) holds a field or
// method block and is read without a lock; an unresolved one is read under the
// VM's class-linking lock, after testing the tag again (it may have been
// resolved meanwhile), and the lock is released on every path.  The names of
// unresolved references met while compiling are copied once into the
// compilation's `method_unresolved_info`, so later phases need no lock.
//
// Unresolved reference form: (class index << 16) | NameAndType index; the
// NameAndType entry is (name index << 16) | signature index; every index must
// be below the pool's entry count and carry the expected tag, otherwise all
// outputs are 0.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "lib/descriptor.h"

namespace {

struct pool_view {
    u4* cp;
    const u1* tags;
    u4 count;

    explicit pool_view(classblock* cb)
        : cp(cb->constantpool), tags(cb->constantpool != nullptr ? reinterpret_cast<const u1*>(cb->constantpool[0]) : nullptr),
          count(cb->constantpool_count)
    {
    }
    bool valid(u4 i) const { return cp != nullptr && i != 0 && i < count; }
    u1 tag(u4 i) const { return tags[i] & CONSTANT_TAG_MASK; }
    bool resolved(u4 i) const { return tags[i] & CONSTANT_RESOLVED; }
    const char* utf8(u4 i) const { return valid(i) && tag(i) == CONSTANT_Utf8 ? reinterpret_cast<const char*>(cp[i]) : nullptr; }
};

void lock(EE* ee) { vm.sysMonitorEnter(orva_sys_thread(ee), orva_linkclass_lock); }
void unlock(EE* ee) { vm.sysMonitorExit(orva_sys_thread(ee), orva_linkclass_lock); }

struct member_names {
    const char* class_name;
    const char* name;
    const char* signature;
};

// Signature index of a NameAndType entry, or 0 when malformed (lock held).
u4 name_and_type_signature(const pool_view& pool, u4 nt)
{
    if (!pool.valid(nt) || pool.tag(nt) != CONSTANT_NameAndType)
        return 0;
    u4 word = pool.cp[nt];
    if (word <= 0xFFFF)
        return 0;
    u4 name = word >> 16;
    u4 sig = word & 0xFFFF;
    if (!pool.valid(name) || pool.tag(name) != CONSTANT_Utf8 || !pool.valid(sig) || pool.tag(sig) != CONSTANT_Utf8)
        return 0;
    return sig;
}

// Reads the unresolved form of a field or method reference (lock held).
member_names unresolved_names(const pool_view& pool, u4 index)
{
    member_names out{nullptr, nullptr, nullptr};
    u4 word = pool.cp[index];
    if (word <= 0xFFFF)
        return out;
    u4 cls = word >> 16;
    if (!pool.valid(cls) || pool.tag(cls) != CONSTANT_Class)
        return out;
    const char* class_name;
    if (pool.resolved(cls))
        class_name = reinterpret_cast<classblock*>(pool.cp[cls])->name;
    else
        class_name = pool.utf8(pool.cp[cls]);
    u4 nt = word & 0xFFFF;
    u4 sig = name_and_type_signature(pool, nt);
    if (sig == 0 || class_name == nullptr)
        return out;
    out.class_name = class_name;
    out.name = reinterpret_cast<const char*>(pool.cp[pool.cp[nt] >> 16]);
    out.signature = reinterpret_cast<const char*>(pool.cp[sig]);
    return out;
}

member_names field_names(const fieldblock* fb) { return {fb->clazz->name, fb->name, fb->signature}; }
member_names method_names(const methodblock* mb) { return {mb->clazz->name, mb->name, mb->signature}; }

// The locked read pattern: resolved entries from their block without the
// lock; unresolved ones under the lock after a second look at the tag.
member_names read_names_locked_once(classblock* cb, EE* ee, u4 index, bool method)
{
    pool_view pool(cb);
    if (!pool.valid(index))
        return {nullptr, nullptr, nullptr};
    if (pool.resolved(index)) {
        void* block = reinterpret_cast<void*>(pool.cp[index]);
        return method ? method_names(static_cast<methodblock*>(block)) : field_names(static_cast<fieldblock*>(block));
    }
    lock(ee);
    if (pool.resolved(index)) {
        unlock(ee);
        void* block = reinterpret_cast<void*>(pool.cp[index]);
        return method ? method_names(static_cast<methodblock*>(block)) : field_names(static_cast<fieldblock*>(block));
    }
    member_names out = unresolved_names(pool, index);
    unlock(ee);
    return out;
}

unresolved_ref_entry* find_registered(unresolved_ref_entry* const* buckets, const u4* key)
{
    for (unresolved_ref_entry* e = buckets[unresolved_bucket(key)]; e != nullptr; e = e->next)
        if (e->key == key)
            return e;
    return nullptr;
}

void register_entry(unresolved_ref_entry** buckets, method_unresolved_info* info, u4* key, const member_names& n)
{
    if (n.signature == nullptr || find_registered(buckets, key) != nullptr)
        return;
    if (info->pool == nullptr && (info->pool = jit_wmem_init(0)) == nullptr)
        return;
    auto* e = static_cast<unresolved_ref_entry*>(jit_wmem_alloc(info->pool, sizeof(unresolved_ref_entry)));
    e->key = key;
    e->class_name = n.class_name;
    e->name = n.name;
    e->signature = n.signature;
    e->next = buckets[unresolved_bucket(key)];
    buckets[unresolved_bucket(key)] = e;
}

} // namespace

const char* get_signature_of_name_and_type_with_lock(classblock* cb, EE* ee, u4 index)
{
    pool_view pool(cb);
    lock(ee);
    u4 sig = name_and_type_signature(pool, index);
    const char* out = sig != 0 ? reinterpret_cast<const char*>(pool.cp[sig]) : nullptr;
    unlock(ee);
    return out;
}

const char* get_field_signature_from_cp_with_lock(classblock* cb, EE* ee, u4 index)
{
    pool_view pool(cb);
    if (!pool.valid(index))
        return nullptr;
    if (pool.resolved(index))
        return reinterpret_cast<fieldblock*>(pool.cp[index])->signature;
    lock(ee);
    if (pool.resolved(index)) {
        unlock(ee);
        return reinterpret_cast<fieldblock*>(pool.cp[index])->signature;
    }
    u4 nt = pool.cp[index] & 0xFFFF;
    unlock(ee);
    return nt != 0 ? get_signature_of_name_and_type_with_lock(cb, ee, nt) : nullptr;
}

signed char get_field_signature_type_from_cp_with_lock(classblock* cb, EE* ee, u4 index)
{
    const char* sig = get_field_signature_from_cp_with_lock(cb, ee, index);
    return sig != nullptr ? static_cast<signed char>(sig[0]) : 0;
}

void get_field_names_from_cp_with_lock(classblock* cb, EE* ee, u4 index, const char** class_name,
                                       const char** name, const char** signature)
{
    member_names n = read_names_locked_once(cb, ee, index, false);
    *class_name = n.class_name;
    *name = n.name;
    *signature = n.signature;
}

void get_method_names_from_cp_with_lock(classblock* cb, EE* ee, u4 index, const char** class_name,
                                        const char** name, const char** signature)
{
    member_names n = read_names_locked_once(cb, ee, index, true);
    *class_name = n.class_name;
    *name = n.name;
    *signature = n.signature;
}

void get_method_name_sig_and_clname_from_cp_with_lock(classblock* cb, EE* ee, u4 index, const char** name,
                                                      const char** signature, const char** class_name)
{
    get_method_names_from_cp_with_lock(cb, ee, index, class_name, name, signature);
}

void initialize_method_unresolved_info(method_unresolved_info* info)
{
    memset(info, 0, sizeof(*info));
}

void free_method_unresolved_info(method_unresolved_info* info)
{
    if (info->pool != nullptr) {
        jit_wmem_free(info->pool);
        info->pool = nullptr;
    }
}

void register_unresolved_field_signature_information(classblock* cb, EE* ee, u4 index,
                                                     method_unresolved_info* info, const char** class_name,
                                                     const char** name, const char** signature)
{
    get_field_names_from_cp_with_lock(cb, ee, index, class_name, name, signature);
    register_entry(info->fields, info, &cb->constantpool[index], {*class_name, *name, *signature});
}

void register_unresolved_method_signature_information(classblock* cb, EE* ee, u4 index,
                                                      method_unresolved_info* info, const char** class_name,
                                                      const char** name, const char** signature)
{
    get_method_names_from_cp_with_lock(cb, ee, index, class_name, name, signature);
    register_entry(info->methods, info, &cb->constantpool[index], {*class_name, *name, *signature});
}

const char* get_field_signature(classblock* cb, u4 index, method_compile_context* m)
{
    pool_view pool(cb);
    if (!pool.valid(index))
        return nullptr;
    if (pool.resolved(index))
        return reinterpret_cast<fieldblock*>(pool.cp[index])->signature;
    if (m == nullptr || m->unresolved_info == nullptr)
        return nullptr;
    const unresolved_ref_entry* e = find_registered(m->unresolved_info->fields, &pool.cp[index]);
    return e != nullptr ? e->signature : nullptr;
}

signed char get_field_signature_type(classblock* cb, u4 index, method_compile_context* m)
{
    const char* sig = get_field_signature(cb, index, m);
    return sig != nullptr ? static_cast<signed char>(sig[0]) : 0;
}

int get_method_name_sig_and_clname(classblock* cb, u4 index, method_compile_context* m, u4 ignored,
                                   const char** name, const char** signature, const char** class_name)
{
    pool_view pool(cb);
    *name = *signature = *class_name = nullptr;
    if (!pool.valid(index))
        return 1;
    if (pool.resolved(index)) {
        member_names n = method_names(reinterpret_cast<methodblock*>(pool.cp[index]));
        *name = n.name;
        *signature = n.signature;
        *class_name = n.class_name;
        return 0;
    }
    const unresolved_ref_entry* e =
        m != nullptr && m->unresolved_info != nullptr ? find_registered(m->unresolved_info->methods, &pool.cp[index]) : nullptr;
    if (e == nullptr)
        return 1;
    *name = e->name;
    *signature = e->signature;
    *class_name = e->class_name;
    return 0;
}

// Parameter words of a descriptor, the receiver not counted.  A malformed
// descriptor counts up to its broken parameter (the invoke generator refuses
// such a call by its return type before it asks for the words).
u2 get_method_args_size(methodblock* mb, const char* signature)
{
    (void)mb;
    u2 words = 0;
    desc_walk w = desc_begin(signature);
    for (desc_item t = desc_next(&w); t.kind > DK_MALFORMED; t = desc_next(&w))
        words = static_cast<u2>(words + t.words);
    return words;
}

// The return type's first letter ('[' for an array), 0 when any part of the
// descriptor is malformed.
char get_method_return_type(const char* signature) { return desc_return_of(signature).letter; }

int check_is_volatile(classblock* cb, u4 index)
{
    pool_view pool(cb);
    if (!pool.valid(index) || !pool.resolved(index))
        return 1;
    return (reinterpret_cast<fieldblock*>(pool.cp[index])->access & ACC_VOLATILE) ? 1 : 0;
}

int is_superclass(classblock* a, classblock* b)
{
    if (a == b)
        return 1;
    if (b->super_name == nullptr || b->superclass == nullptr)
        return 0;
    for (classblock* c = b->superclass; c != nullptr; c = c->superclass) {
        if (c->superclass == nullptr)
            return 0;       // a root class is never reported
        if (c == a)
            return 1;
        if (c == b)
            return 0;       // a cycle
    }
    return 0;
}

int is_same_or_superclass(classblock* a, classblock* b)
{
    // Bounded walk: a damaged chain with a cycle ends after 65536 steps.
    int steps = 0;
    for (classblock* c = b; c != nullptr && steps < 65536; c = c->superclass, steps++)
        if (c == a)
            return 1;
    return 0;
}

classblock* find_core_java_lang_class(const char* class_name)
{
    static constexpr char prefix[] = "java/lang/";
    if (class_name == nullptr || strncmp(class_name, prefix, sizeof prefix - 1) != 0)
        return nullptr;
    const char* rest = class_name + sizeof prefix - 1;
    const char* expected;
    classblock** variable;
    switch (rest[0]) {
    case 'C': expected = "Class"; variable = orva_classJavaLangClass; break;
    case 'E': expected = "Exception"; variable = orva_classJavaLangException; break;
    case 'O': expected = "Object"; variable = orva_classJavaLangObject; break;
    case 'R': expected = "RuntimeException"; variable = orva_classJavaLangRuntimeException; break;
    case 'S': expected = "String"; variable = orva_classJavaLangString; break;
    case 'T': expected = "Throwable"; variable = orva_classJavaLangThrowable; break;
    default: return nullptr;
    }
    return strcmp(rest, expected) == 0 ? orva_class(variable) : nullptr;
}

int jit_resolve_method_under_java_lang(classblock* cb, u4 index, const char* class_name, const char* method_name,
                                       const char* signature, EE* ee)
{
    pool_view pool(cb);
    if (!pool.valid(index))
        return 0;
    if (pool.resolved(index))
        return 1;
    if (pool.tag(index) != CONSTANT_Methodref)
        return 0;
    classblock* core = find_core_java_lang_class(class_name);
    if (core == nullptr)
        return 0;
    methodblock* found = nullptr;
    for (u2 i = 0; i < core->methods_count && found == nullptr; i++) {
        methodblock* m = &core->methods[i];
        if (m->name[0] == method_name[0] && m->signature[0] == signature[0] && strcmp(m->name, method_name) == 0
            && strcmp(m->signature, signature) == 0)
            found = m;
    }
    if (found == nullptr)
        return 0;
    if (pool.resolved(index))
        return 1;
    lock(ee);
    if (!pool.resolved(index)) {
        // Word first, then the resolved bit: a reader that sees the bit finds the block.
        pool.cp[index] = reinterpret_cast<u4>(found);
        __atomic_thread_fence(__ATOMIC_RELEASE);
        const_cast<u1*>(pool.tags)[index] |= CONSTANT_RESOLVED;
    }
    unlock(ee);
    return 1;
}
