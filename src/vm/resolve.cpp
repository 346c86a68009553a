// Constant-pool resolution, member lookup, access checks and subtype tests.
//
// Resolution never initialises a class (callers that need initialisation
// call vm_init_class themselves).  Any number of threads may resolve the
// same entry at once: each reads the names from the pool's original words
// (vm_cp_raw, never written after loading), never from cp[i], which the
// first resolver overwrites.  The value is computed without locks
// (loading a class may take the class-loading lock, which comes first in the
// lock order) and stored under the linkclass lock, word first and then the
// tag byte with 0x80, so a reader that sees the bit reads the word without a
// lock; a second resolver of the same entry finds it resolved and uses the
// stored word.  The accessing class is always the pool's own class (cp[-1]),
// never found by walking the stack.
//
// Resolved values: Class -> class block, String -> interned String, Fieldref
// -> field block (instance: byte offset from obj+8 in its value word),
// Methodref / InterfaceMethodref -> method block (its +0x10 word is the
// method-table slot, or the interface method's number in its interface).
#include <cstdio>
#include <cstring>

#include "vm.h"

namespace {

inline sys_thread* self_of(EE* ee) { return ee ? vm_self(ee) : nullptr; }

bool member_accessible(classblock* from, classblock* owner, u2 access)
{
    if (!from || from == owner || (access & ACC_PUBLIC))
        return true;
    if (access & ACC_PRIVATE)
        return false;
    if (vm_same_package(from->name, owner->name))
        return true;
    return (access & ACC_PROTECTED) && vm_is_subclass_of(from, owner);
}

methodblock* find_in_array(methodblock* methods, u2 n, const char* name, const char* sig)
{
    for (u2 i = 0; i < n; i++) {
        methodblock* mb = &methods[i];
        if (std::strcmp(mb->name, name) == 0 && std::strcmp(mb->signature, sig) == 0)
            return mb;
    }
    return nullptr;
}

methodblock* find_in_interfaces(classblock* cb, const char* name, const char* sig)
{
    for (u2 i = 0; i < cb->implements_count; i++) {
        classblock* icb = cb->interfaces[i];
        methodblock* mb = find_in_array(icb->methods, icb->methods_count, name, sig);
        if (!mb)
            mb = find_in_interfaces(icb, name, sig);
        if (mb)
            return mb;
    }
    return nullptr;
}

fieldblock* find_declared_field(classblock* cb, const char* name, const char* sig)
{
    for (u2 i = 0; i < cb->fields_count; i++) {
        fieldblock* fb = &cb->fields[i];
        if (std::strcmp(fb->name, name) == 0 && std::strcmp(fb->signature, sig) == 0)
            return fb;
    }
    return nullptr;
}

// Names come from the pool's original words (vm_cp_raw): another thread may
// store its resolved value into cp[i] at any moment.
const char* raw_utf8(u4* cp, u4 index)
{
    return reinterpret_cast<const char*>(vm_cp_raw(cp)[index]);
}

// Name and descriptor of the NameAndType of a member reference.
void member_name(u4* cp, u2 index, const char** name, const char** sig)
{
    const u4* raw = vm_cp_raw(cp);
    u4 nat = raw[index] & 0xFFFF;
    *name = raw_utf8(cp, raw[nat] >> 16);
    *sig = raw_utf8(cp, raw[nat] & 0xFFFF);
}

u4 store_resolved(EE* ee, u4* cp, u2 index, u4 value)
{
    u1* tags = vm_cp_tags(cp);
    orva_sysMonitorEnter(self_of(ee), vm_linkclass_lock);
    if (tags[index] & CONSTANT_RESOLVED) {
        value = cp[index];
    } else {
        __atomic_store_n(&cp[index], value, __ATOMIC_RELAXED);
        __atomic_or_fetch(&tags[index], static_cast<u1>(CONSTANT_RESOLVED), __ATOMIC_RELEASE);
    }
    orva_sysMonitorExit(self_of(ee), vm_linkclass_lock);
    return value;
}

classblock* resolve_class(EE* ee, u4* cp, u2 index)
{
    classblock* from = vm_cp_class_of(cp);
    classblock* cb = vm_find_class(ee, raw_utf8(cp, vm_cp_raw(cp)[index]), 0);
    if (!cb)
        return nullptr;
    if (!vm_class_accessible(from, cb)) {
        char a[256], b[256];
        vm_throwf(ee, "java/lang/IllegalAccessError", "tried to access class %s from class %s",
                  vm_class_name_dotted(cb, a, sizeof a), vm_class_name_dotted(from, b, sizeof b));
        return nullptr;
    }
    return cb;
}

fieldblock* resolve_field(EE* ee, u4* cp, u2 index)
{
    classblock* from = vm_cp_class_of(cp);
    u4 c = vm_resolve_constant(ee, cp, static_cast<u2>(vm_cp_raw(cp)[index] >> 16), 1u << CONSTANT_Class);
    if (!c)
        return nullptr;
    classblock* cb = reinterpret_cast<classblock*>(c);
    const char* name;
    const char* sig;
    member_name(cp, index, &name, &sig);
    fieldblock* fb = vm_find_field(cb, name, sig);
    if (!fb) {
        vm_throw(ee, "java/lang/NoSuchFieldError", name);
        return nullptr;
    }
    if (!vm_field_accessible(from, fb)) {
        char a[256], b[256];
        vm_throwf(ee, "java/lang/IllegalAccessError", "tried to access field %s.%s from class %s",
                  vm_class_name_dotted(fb->clazz, a, sizeof a), name, vm_class_name_dotted(from, b, sizeof b));
        return nullptr;
    }
    return fb;
}

methodblock* resolve_method(EE* ee, u4* cp, u2 index, bool interface_ref)
{
    classblock* from = vm_cp_class_of(cp);
    u4 c = vm_resolve_constant(ee, cp, static_cast<u2>(vm_cp_raw(cp)[index] >> 16), 1u << CONSTANT_Class);
    if (!c)
        return nullptr;
    classblock* cb = reinterpret_cast<classblock*>(c);
    char a[256], b[256];
    bool is_interface = cb->access & ACC_INTERFACE;
    if (is_interface != interface_ref) {
        vm_throwf(ee, "java/lang/IncompatibleClassChangeError",
                  is_interface ? "Found interface %s, but class was expected" : "Found class %s, but interface was expected",
                  vm_class_name_dotted(cb, a, sizeof a));
        return nullptr;
    }
    const char* name;
    const char* sig;
    member_name(cp, index, &name, &sig);
    methodblock* mb = vm_find_method(cb, name, sig);
    if (!mb) {
        vm_throwf(ee, "java/lang/NoSuchMethodError", "%s.%s%s", vm_class_name_dotted(cb, a, sizeof a), name, sig);
        return nullptr;
    }
    if (!vm_method_accessible(from, mb)) {
        vm_throwf(ee, "java/lang/IllegalAccessError", "tried to access method %s.%s%s from class %s",
                  vm_class_name_dotted(mb->clazz, a, sizeof a), name, sig, vm_class_name_dotted(from, b, sizeof b));
        return nullptr;
    }
    return mb;
}

bool array_class_assignable(classblock* cb, classblock* target)
{
    // cb is an array class.
    if (target == vm_class_Object || target == vm_class_Cloneable || target == vm_class_Serializable)
        return true;
    if (!(target->state & CS_ARRAY))
        return false;
    if (cb->type_code != T_REFERENCE || target->type_code != T_REFERENCE)
        return false;                            // distinct primitive array classes
    return vm_is_subclass_of(cb->element_class, target->element_class);
}

bool interface_extends(classblock* icb, classblock* target)
{
    for (u2 i = 0; i < icb->implements_count; i++) {
        classblock* s = icb->interfaces[i];
        if (s == target || interface_extends(s, target))
            return true;
    }
    return false;
}

}  // namespace

u4 vm_resolve_constant(EE* ee, u4* cp, u2 index, u4 mask)
{
    classblock* cb = vm_cp_class_of(cp);
    if (index == 0 || index >= cb->constantpool_count) {
        vm_throwf(ee, "java/lang/InternalError", "constant pool index %u out of range in class %s", index, cb->name);
        return 0;
    }
    u1 t = __atomic_load_n(&vm_cp_tags(cp)[index], __ATOMIC_ACQUIRE);
    u1 tag = t & CONSTANT_TAG_MASK;
    if (tag > 31 || !(mask & (1u << tag))) {
        vm_throwf(ee, "java/lang/IncompatibleClassChangeError",
                  "constant pool entry %u of class %s has tag %u, not the one this instruction needs", index,
                  cb->name, tag);
        return 0;
    }
    if (t & CONSTANT_RESOLVED)
        return cp[index];
    u4 value;
    switch (tag) {
    case CONSTANT_Utf8:
    case CONSTANT_Integer:
    case CONSTANT_Float:
    case CONSTANT_Long:
    case CONSTANT_Double:
        return cp[index];                        // nothing to resolve
    case CONSTANT_Class:
        value = reinterpret_cast<u4>(resolve_class(ee, cp, index));
        break;
    case CONSTANT_String:
        value = reinterpret_cast<u4>(vm_intern_utf(ee, raw_utf8(cp, vm_cp_raw(cp)[index])));
        break;
    case CONSTANT_Fieldref:
        value = reinterpret_cast<u4>(resolve_field(ee, cp, index));
        break;
    case CONSTANT_Methodref:
        value = reinterpret_cast<u4>(resolve_method(ee, cp, index, false));
        break;
    case CONSTANT_InterfaceMethodref:
        value = reinterpret_cast<u4>(resolve_method(ee, cp, index, true));
        break;
    default:
        vm_throwf(ee, "java/lang/InternalError", "constant pool entry %u of class %s cannot be resolved", index,
                  cb->name);
        return 0;
    }
    if (!value)
        return 0;
    return store_resolved(ee, cp, index, value);
}

const char* vm_cp_class_name(u4* cp, u2 index)
{
    return raw_utf8(cp, vm_cp_raw(cp)[index]);
}

methodblock* vm_find_declared_method(classblock* cb, const char* name, const char* sig)
{
    return find_in_array(cb->methods, cb->methods_count, name, sig);
}

methodblock* vm_find_method(classblock* cb, const char* name, const char* sig)
{
    if (cb->access & ACC_INTERFACE) {
        methodblock* mb = find_in_array(cb->methods, cb->methods_count, name, sig);
        if (!mb)
            mb = find_in_interfaces(cb, name, sig);
        if (!mb && vm_class_Object) {
            mb = find_in_array(vm_class_Object->methods, vm_class_Object->methods_count, name, sig);
            if (mb && !(mb->access & ACC_PUBLIC))
                mb = nullptr;
        }
        return mb;
    }
    // Superclass chain first (mirandas give abstract classes a method-table
    // slot for interface methods they leave open), then superinterfaces.
    for (classblock* c = cb; c; c = c->superclass) {
        methodblock* mb = find_in_array(c->methods, c->methods_count, name, sig);
        if (!mb)
            mb = find_in_array(c->mirandas, c->miranda_count, name, sig);
        if (mb)
            return mb;
    }
    for (classblock* c = cb; c; c = c->superclass) {
        methodblock* mb = find_in_interfaces(c, name, sig);
        if (mb)
            return mb;
    }
    return nullptr;
}

fieldblock* vm_find_field(classblock* cb, const char* name, const char* sig)
{
    for (classblock* c = cb; c; c = c->superclass) {
        fieldblock* fb = find_declared_field(c, name, sig);
        if (fb)
            return fb;
        for (u2 i = 0; i < c->implements_count; i++) {
            fb = vm_find_field(c->interfaces[i], name, sig);
            if (fb)
                return fb;
        }
        if (c->access & ACC_INTERFACE)
            break;                               // an interface's superclass word is Object
    }
    return nullptr;
}

bool vm_class_accessible(classblock* from, classblock* cb)
{
    while (cb->state & CS_ARRAY)
        cb = cb->element_class;
    if (!from || from == cb || (cb->access & ACC_PUBLIC) || (cb->state & CS_PRIMITIVE))
        return true;
    return vm_same_package(from->name, cb->name);
}

bool vm_field_accessible(classblock* from, fieldblock* fb)
{
    return member_accessible(from, fb->clazz, fb->access);
}

bool vm_method_accessible(classblock* from, methodblock* mb)
{
    return member_accessible(from, mb->clazz, mb->access);
}

bool vm_is_special_super_call(classblock* caller, methodblock* mb)
{
    if (!(caller->access & ACC_SUPER) || (mb->vm_flags & MBF_INIT) || (mb->access & (ACC_PRIVATE | ACC_STATIC)))
        return false;
    if (mb->clazz->access & ACC_INTERFACE)
        return false;
    for (classblock* c = caller->superclass; c; c = c->superclass) {
        if (c == mb->clazz)
            return true;
    }
    return false;
}

bool vm_is_subclass_of(classblock* cb, classblock* target)
{
    if (cb == target)
        return true;
    if (!cb || !target || (cb->state & CS_PRIMITIVE) || (target->state & CS_PRIMITIVE))
        return false;
    if (cb->state & CS_ARRAY)
        return array_class_assignable(cb, target);
    if (target->access & ACC_INTERFACE) {
        if (cb->access & ACC_INTERFACE)
            return interface_extends(cb, target);
        imethod_table* it = cb->imethodtable;
        for (u4 i = 0; it && i < it->icount; i++) {
            if (it->itable[i].classdescriptor == target)
                return true;
        }
        return false;
    }
    if (cb->access & ACC_INTERFACE)
        return target == vm_class_Object;
    for (classblock* c = cb->superclass; c; c = c->superclass) {
        if (c == target)
            return true;
    }
    return false;
}

bool vm_is_instance_of(jref o, classblock* target)
{
    if (!o)
        return false;
    if (!vm_is_array(o))
        return vm_is_subclass_of(reinterpret_cast<method_table*>(o->word0)->classdescriptor, target);
    // Arrays: decided from the element type without making the array class.
    if (target == vm_class_Object || target == vm_class_Cloneable || target == vm_class_Serializable)
        return true;
    if (!(target->state & CS_ARRAY))
        return false;
    int type = vm_array_type(o);
    if (type != T_REFERENCE)
        return target->type_code == type && target->dimensions == 1;
    if (target->type_code != T_REFERENCE)
        return false;
    classblock* elem = vm_array_element_class(o);
    return elem && vm_is_subclass_of(elem, target->element_class);
}

classblock* vm_class_of(jref o)
{
    if (!vm_is_array(o))
        return reinterpret_cast<method_table*>(o->word0)->classdescriptor;
    int type = vm_array_type(o);
    if (type != T_REFERENCE)
        return vm_primitive_array_class(type);
    classblock* elem = vm_array_element_class(o);
    return elem ? vm_array_class_noraise(elem) : nullptr;
}

int vm_line_number(methodblock* mb, const u1* pc)
{
    if (!mb || !mb->code || pc < mb->code || pc >= mb->code + mb->code_length)
        return -1;
    u4 off = static_cast<u4>(pc - mb->code);
    int line = -1;
    int best = -1;
    for (u4 i = 0; i < mb->line_number_table_length; i++) {
        int start = mb->line_number_table[2 * i];
        if (static_cast<u4>(start) <= off && start > best) {
            best = start;
            line = mb->line_number_table[2 * i + 1];
        }
    }
    return line;
}

bool vm_same_package(const char* a, const char* b)
{
    const char* sa = std::strrchr(a, '/');
    const char* sb = std::strrchr(b, '/');
    size_t la = sa ? static_cast<size_t>(sa - a) : 0;
    size_t lb = sb ? static_cast<size_t>(sb - b) : 0;
    return la == lb && std::strncmp(a, b, la) == 0;
}
