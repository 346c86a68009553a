// natives_reflect.cpp - natives of reflection: the member lists of
// java.lang.Class, raw field access, method and constructor calls of
// java.lang.reflect, and the caller-class query behind their access checks.
//
// The Java side does every check and conversion a user sees (access,
// receiver class, argument count, unboxing with widening, boxing of
// results, the wrapping of a target's exception in
// InvocationTargetException); these natives only move raw values.  A
// primitive crosses as its bits in a long: int-like kinds sign-extended (char
// and boolean as their unsigned value), float as its raw int bits, double as
// its raw long bits.  A member object holds its field or method block in the
// int `slot`, which these natives trust: only Class's natives make members.

#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

inline classblock* class_of_handle(jhandle h) { return reinterpret_cast<classblock*>(vm_deref(h)); }
inline jref as_ref(classblock* cb) { return reinterpret_cast<jref>(cb); }

// Offset (from obj+8) of an instance field of a library class, or -1.
s4 instance_field_offset(classblock* cb, const char* name, const char* sig)
{
    fieldblock* fb = vm_find_field(cb, name, sig);
    return fb && !(fb->access & ACC_STATIC) ? static_cast<s4>(fb->value) : -1;
}

// The class of one field descriptor (or V) at *sig (advanced past it), loaded but
// not initialised; 0 with the loader's error pending.
classblock* class_of_descriptor(EE* ee, const char*& sig)
{
    const char* start = sig;
    if (*sig == 'V') {                      // a return type
        sig++;
        return vm_primitive_class('V');
    }
    if (!vm_skip_field_sig(sig)) {
        vm_throw(ee, "java/lang/InternalError", "malformed descriptor");
        return nullptr;
    }
    if (*start != 'L' && *start != '[')
        return vm_primitive_class(*start);
    size_t n = static_cast<size_t>(sig - start);
    char* name = static_cast<char*>(malloc(n + 1));
    if (!name) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return nullptr;
    }
    if (*start == 'L') {
        memcpy(name, start + 1, n - 2);     // without 'L' and ';'
        name[n - 2] = 0;
    } else {
        memcpy(name, start, n);
        name[n] = 0;
    }
    classblock* cb = vm_find_class(ee, name, 0);
    free(name);
    return cb;
}

// Parameter classes of a method descriptor as a Class[].
jref parameter_classes(EE* ee, const char* sig)
{
    s4 count = 0;
    for (const char* p = sig + 1; *p != ')';) {
        if (!vm_skip_field_sig(p))
            break;
        count++;
    }
    jref arr = vm_new_object_array(ee, vm_class_Class, count);
    if (!arr)
        return nullptr;
    const char* p = sig + 1;
    for (s4 i = 0; i < count; i++) {
        classblock* cb = class_of_descriptor(ee, p);
        if (!cb)
            return nullptr;
        vm_array_elems<jref>(arr)[i] = as_ref(cb);
    }
    return arr;
}

// The member objects are made field by field (no constructor runs); their
// classes' layouts are looked up once.
struct member_layout {
    classblock* cb;
    s4 clazz, name, type, modifiers, slot, parameter_types, exception_types;
};

bool load_layout(EE* ee, member_layout* l, const char* class_name, bool is_method_like)
{
    if (__atomic_load_n(&l->cb, __ATOMIC_ACQUIRE))
        return true;
    classblock* cb = vm_find_class(ee, class_name, 1);
    if (!cb)
        return false;
    member_layout fresh{};
    fresh.clazz = instance_field_offset(cb, "clazz", "Ljava/lang/Class;");
    fresh.name = instance_field_offset(cb, "name", "Ljava/lang/String;");
    fresh.type = instance_field_offset(cb, is_method_like ? "returnType" : "type", "Ljava/lang/Class;");
    fresh.modifiers = instance_field_offset(cb, "modifiers", "I");
    fresh.slot = instance_field_offset(cb, "slot", "I");
    fresh.parameter_types = instance_field_offset(cb, "parameterTypes", "[Ljava/lang/Class;");
    fresh.exception_types = instance_field_offset(cb, "exceptionTypes", "[Ljava/lang/Class;");
    if (fresh.clazz < 0 || fresh.modifiers < 0 || fresh.slot < 0 ||
        (is_method_like && (fresh.parameter_types < 0 || fresh.exception_types < 0))) {
        vm_throwf(ee, "java/lang/InternalError", "%s lacks its member fields", class_name);
        return false;
    }
    fresh.cb = cb;
    // Racing threads compute the same layout.
    l->clazz = fresh.clazz;
    l->name = fresh.name;
    l->type = fresh.type;
    l->modifiers = fresh.modifiers;
    l->slot = fresh.slot;
    l->parameter_types = fresh.parameter_types;
    l->exception_types = fresh.exception_types;
    __atomic_store_n(&l->cb, cb, __ATOMIC_RELEASE);
    return true;
}

member_layout field_layout, method_layout, constructor_layout;

template <typename T> void put(jref o, s4 off, T v)
{
    if (off >= 0)
        vm_field<T>(o, static_cast<u4>(off)) = v;
}

jref new_field_object(EE* ee, fieldblock* fb)
{
    const member_layout& l = field_layout;
    jref f = vm_new_object(ee, l.cb);
    if (!f)
        return nullptr;
    jref name = vm_intern_utf(ee, fb->name);
    if (!name)
        return nullptr;
    const char* sig = fb->signature;
    classblock* type = class_of_descriptor(ee, sig);
    if (!type)
        return nullptr;
    put(f, l.clazz, as_ref(fb->clazz));
    put(f, l.name, name);
    put(f, l.type, as_ref(type));
    put(f, l.modifiers, static_cast<s4>(fb->access));
    put(f, l.slot, static_cast<s4>(reinterpret_cast<u4>(fb)));
    return f;
}

jref new_method_object(EE* ee, methodblock* mb, bool constructor)
{
    const member_layout& l = constructor ? constructor_layout : method_layout;
    jref m = vm_new_object(ee, l.cb);
    if (!m)
        return nullptr;
    jref params = parameter_classes(ee, mb->signature);
    if (!params)
        return nullptr;
    // Declared exceptions are not kept by the class reader: an empty list.
    jref exceptions = vm_new_object_array(ee, vm_class_Class, 0);
    if (!exceptions)
        return nullptr;
    put(m, l.clazz, as_ref(mb->clazz));
    put(m, l.parameter_types, params);
    put(m, l.exception_types, exceptions);
    put(m, l.modifiers, static_cast<s4>(mb->access & (ACC_PUBLIC | ACC_PRIVATE | ACC_PROTECTED |
                                                      ACC_STATIC | ACC_FINAL | ACC_SYNCHRONIZED |
                                                      ACC_NATIVE | ACC_ABSTRACT | ACC_STRICT)));
    put(m, l.slot, static_cast<s4>(reinterpret_cast<u4>(mb)));
    if (!constructor) {
        jref name = vm_intern_utf(ee, mb->name);
        if (!name)
            return nullptr;
        const char* ret = strchr(mb->signature, ')') + 1;
        classblock* type = class_of_descriptor(ee, ret);
        if (!type)
            return nullptr;
        put(m, l.name, name);
        put(m, l.type, as_ref(type));
    }
    return m;
}

bool is_constructor(const methodblock* mb) { return strcmp(mb->name, "<init>") == 0; }
bool is_initializer(const methodblock* mb) { return strcmp(mb->name, "<clinit>") == 0; }

// ---------------------------------------------------------------------------
// java.lang.Class
// ---------------------------------------------------------------------------

jhandle Class_getInterfaces(EE* ee, jhandle self)
{
    classblock* cb = class_of_handle(self);
    if (cb->state & CS_PRIMITIVE)
        return vm_jni_ref(ee, vm_new_object_array(ee, vm_class_Class, 0));
    if (cb->state & CS_ARRAY) {
        jref arr = vm_new_object_array(ee, vm_class_Class, 2);
        if (arr) {
            vm_array_elems<jref>(arr)[0] = as_ref(vm_class_Cloneable);
            vm_array_elems<jref>(arr)[1] = as_ref(vm_class_Serializable);
        }
        return vm_jni_ref(ee, arr);
    }
    jref arr = vm_new_object_array(ee, vm_class_Class, cb->implements_count);
    if (!arr)
        return nullptr;
    for (u2 i = 0; i < cb->implements_count; i++)
        vm_array_elems<jref>(arr)[i] = as_ref(cb->interfaces[i]);
    return vm_jni_ref(ee, arr);
}

jhandle Class_getDeclaredFields0(EE* ee, jhandle self, s4 public_only)
{
    classblock* cb = class_of_handle(self);
    if (!load_layout(ee, &field_layout, "java/lang/reflect/Field", false))
        return nullptr;
    bool plain = !(cb->state & (CS_ARRAY | CS_PRIMITIVE));
    s4 count = 0;
    for (u2 i = 0; plain && i < cb->fields_count; i++)
        if (!public_only || (cb->fields[i].access & ACC_PUBLIC))
            count++;
    jref arr = vm_new_object_array(ee, field_layout.cb, count);
    if (!arr)
        return nullptr;
    s4 k = 0;
    for (u2 i = 0; plain && i < cb->fields_count; i++) {
        fieldblock* fb = &cb->fields[i];
        if (public_only && !(fb->access & ACC_PUBLIC))
            continue;
        jref f = new_field_object(ee, fb);
        if (!f)
            return nullptr;
        vm_array_elems<jref>(arr)[k++] = f;
    }
    return vm_jni_ref(ee, arr);
}

// Methods (constructors == false: not <init>, not <clinit>) or constructors
// declared by the class, in declaration order.
jref declared_methods(EE* ee, classblock* cb, bool public_only, bool constructors)
{
    member_layout* l = constructors ? &constructor_layout : &method_layout;
    if (!load_layout(ee, l, constructors ? "java/lang/reflect/Constructor" : "java/lang/reflect/Method",
                     true))
        return nullptr;
    bool plain = !(cb->state & (CS_ARRAY | CS_PRIMITIVE));
    auto wanted = [&](const methodblock* mb) {
        if (public_only && !(mb->access & ACC_PUBLIC))
            return false;
        return constructors ? is_constructor(mb) : !is_constructor(mb) && !is_initializer(mb);
    };
    s4 count = 0;
    for (u2 i = 0; plain && i < cb->methods_count; i++)
        if (wanted(&cb->methods[i]))
            count++;
    jref arr = vm_new_object_array(ee, l->cb, count);
    if (!arr)
        return nullptr;
    s4 k = 0;
    for (u2 i = 0; plain && i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        if (!wanted(mb))
            continue;
        jref m = new_method_object(ee, mb, constructors);
        if (!m)
            return nullptr;
        vm_array_elems<jref>(arr)[k++] = m;
    }
    return arr;
}

jhandle Class_getDeclaredMethods0(EE* ee, jhandle self, s4 public_only)
{
    return vm_jni_ref(ee, declared_methods(ee, class_of_handle(self), public_only != 0, false));
}

jhandle Class_getDeclaredConstructors0(EE* ee, jhandle self, s4 public_only)
{
    return vm_jni_ref(ee, declared_methods(ee, class_of_handle(self), public_only != 0, true));
}

// ---------------------------------------------------------------------------
// java.lang.reflect.AccessibleObject
// ---------------------------------------------------------------------------

bool is_reflection_frame(classblock* cb)
{
    return cb == vm_class_Class || strncmp(cb->name, "java/lang/reflect/", 18) == 0;
}

// The class of the nearest Java frame outside java.lang.reflect and
// java.lang.Class: the class on whose behalf a member is used.
jhandle AccessibleObject_callerClass(EE* ee, jhandle cls)
{
    typedef void (*fi_init_fn)(EE*, frame_iterator*);
    typedef void (*fi_prev_fn)(frame_iterator*);
    typedef int (*fi_more_fn)(frame_iterator*);
    typedef methodblock* (*fi_method_fn)(frame_iterator*);
    frame_iterator it;
    reinterpret_cast<fi_init_fn>(orva_FrameIntf[FI_INIT])(ee, &it);
    for (int guard = 0; guard < 256 && reinterpret_cast<fi_more_fn>(orva_FrameIntf[FI_MORE])(&it);
         guard++) {
        methodblock* mb = reinterpret_cast<fi_method_fn>(orva_FrameIntf[FI_METHOD])(&it);
        if (mb && !is_reflection_frame(mb->clazz))
            return vm_jni_ref(ee, as_ref(mb->clazz));
        reinterpret_cast<fi_prev_fn>(orva_FrameIntf[FI_PREV])(&it);
    }
    return nullptr;
}

void AccessibleObject_initClass(EE* ee, jhandle cls, jhandle target)
{
    vm_init_class(ee, class_of_handle(target));
}

// ---------------------------------------------------------------------------
// java.lang.reflect.Field: raw reads and writes
// ---------------------------------------------------------------------------

// Address of the field's value: in the object, or the static's storage (the
// class initialised first).  0 with the exception pending.
void* field_address(EE* ee, fieldblock* fb, jref obj)
{
    if (fb->access & ACC_STATIC) {
        if (!vm_init_class(ee, fb->clazz))
            return nullptr;
        if (vm_sig_words(fb->signature) == 2)
            return reinterpret_cast<void*>(fb->value);
        return &fb->value;
    }
    if (!obj) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return nullptr;
    }
    return &vm_field<u4>(obj, fb->value);
}

int64_t Field_getBits(EE* ee, jhandle cls, s4 slot, jhandle obj)
{
    fieldblock* fb = reinterpret_cast<fieldblock*>(static_cast<u4>(slot));
    void* p = field_address(ee, fb, vm_deref(obj));
    if (!p)
        return 0;
    // Every field of 32 bits or less takes a whole word holding its value as
    // an int; the narrowing only guards against a word some native wrote wide.
    u4 word = *static_cast<u4*>(p);
    switch (fb->signature[0]) {
    case 'Z': return word & 1;
    case 'B': return static_cast<int8_t>(word);
    case 'C': return static_cast<u2>(word);
    case 'S': return static_cast<int16_t>(word);
    case 'I': case 'F': return *static_cast<s4*>(p);
    case 'J': case 'D': {
        int64_t v;
        memcpy(&v, p, 8);
        return v;
    }
    default: return 0;
    }
}

void Field_setBits(EE* ee, jhandle cls, s4 slot, jhandle obj, int64_t bits)
{
    fieldblock* fb = reinterpret_cast<fieldblock*>(static_cast<u4>(slot));
    void* p = field_address(ee, fb, vm_deref(obj));
    if (!p)
        return;
    u4 word = static_cast<u4>(bits);
    switch (fb->signature[0]) {
    case 'Z': word &= 1; break;
    case 'B': word = static_cast<u4>(static_cast<s4>(static_cast<int8_t>(word))); break;
    case 'C': word &= 0xFFFF; break;
    case 'S': word = static_cast<u4>(static_cast<s4>(static_cast<int16_t>(word))); break;
    default: break;
    }
    switch (fb->signature[0]) {
    case 'Z': case 'B': case 'C': case 'S': case 'I': case 'F':
        *static_cast<u4*>(p) = word;
        break;
    case 'J': case 'D':
        memcpy(p, &bits, 8);
        break;
    default:
        break;
    }
}

jhandle Field_getRef(EE* ee, jhandle cls, s4 slot, jhandle obj)
{
    fieldblock* fb = reinterpret_cast<fieldblock*>(static_cast<u4>(slot));
    void* p = field_address(ee, fb, vm_deref(obj));
    if (!p)
        return nullptr;
    return vm_jni_ref(ee, reinterpret_cast<jref>(*static_cast<u4*>(p)));
}

void Field_setRef(EE* ee, jhandle cls, s4 slot, jhandle obj, jhandle value)
{
    fieldblock* fb = reinterpret_cast<fieldblock*>(static_cast<u4>(slot));
    void* p = field_address(ee, fb, vm_deref(obj));
    if (p)
        *static_cast<u4*>(p) = reinterpret_cast<u4>(vm_deref(value));
}

// ---------------------------------------------------------------------------
// java.lang.reflect.Method and Constructor: calls
// ---------------------------------------------------------------------------

// Argument slots of a call of mb (receiver first when obj is not null) from
// refs[i] (reference parameters) and bits[i] (primitive ones), then the
// call; the result's bits go to result[0] unless it is a reference, which is
// returned.  The target's own exception stays pending.
jref call_method(EE* ee, methodblock* mb, jref obj, jref refs, jref bits, jref result)
{
    u4 nslots = mb->args_size;
    u4* argv = static_cast<u4*>(malloc((nslots + 1) * sizeof(u4)));
    if (!argv) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return nullptr;
    }
    u4 k = 0;
    if (!(mb->access & ACC_STATIC))
        argv[k++] = reinterpret_cast<u4>(obj);
    const char* p = mb->signature + 1;
    for (s4 i = 0; *p != ')' && k < nslots; i++) {
        char c = *p;
        vm_skip_field_sig(p);
        int64_t v = bits && i < vm_array_length(bits) ? vm_array_elems<int64_t>(bits)[i] : 0;
        if (c == 'L' || c == '[') {
            argv[k++] = refs && i < vm_array_length(refs) ? reinterpret_cast<u4>(vm_array_elems<jref>(refs)[i]) : 0;
        } else if (c == 'J' || c == 'D') {
            argv[k++] = static_cast<u4>(static_cast<uint64_t>(v) >> 32);   // high half first
            argv[k++] = static_cast<u4>(v);
        } else {
            argv[k++] = static_cast<u4>(v);
        }
    }
    JValue r;
    r.j = 0;
    int ok = vm_call_java(ee, mb, argv, k, &r);
    free(argv);
    if (!ok)
        return nullptr;
    int64_t out = 0;
    switch (vm_sig_return_kind(mb->signature)) {
    case 'L': return reinterpret_cast<jref>(r.u);
    case 'V': return nullptr;
    case 'Z': out = r.i & 1; break;
    case 'B': out = static_cast<int8_t>(r.i); break;
    case 'C': out = static_cast<u2>(r.i); break;
    case 'S': out = static_cast<int16_t>(r.i); break;
    case 'I': out = r.i; break;
    case 'F': {
        s4 fbits;
        memcpy(&fbits, &r.f, 4);
        out = fbits;
        break;
    }
    case 'D': memcpy(&out, &r.d, 8); break;
    case 'J': out = r.j; break;
    }
    if (result && vm_array_length(result) > 0)
        vm_array_elems<int64_t>(result)[0] = out;
    return nullptr;
}

// The method a virtual call of mb on obj runs: the override in obj's class
// (by method-table slot, or by name for an interface method), or mb itself.
methodblock* dispatch_target(EE* ee, methodblock* mb, jref obj)
{
    if ((mb->access & (ACC_STATIC | ACC_PRIVATE)) || is_constructor(mb) || !obj)
        return mb;
    classblock* cb = vm_class_of(obj);
    methodblock* target = nullptr;
    if (mb->clazz->access & ACC_INTERFACE) {
        target = vm_find_method(cb, mb->name, mb->signature);
    } else if (cb->methodtable && mb->slot < cb->methodtable_size) {
        target = cb->methodtable->methods[mb->slot];
    }
    if (!target)
        target = mb;
    if (target->access & ACC_ABSTRACT) {
        char buf[512];
        vm_class_name_dotted(target->clazz, buf, sizeof buf);
        vm_throwf(ee, "java/lang/AbstractMethodError", "%s.%s%s", buf, target->name, target->signature);
        return nullptr;
    }
    return target;
}

jhandle Method_invoke0(EE* ee, jhandle cls, s4 slot, jhandle obj, jhandle refs, jhandle bits,
                       jhandle result)
{
    methodblock* mb = reinterpret_cast<methodblock*>(static_cast<u4>(slot));
    jref o = vm_deref(obj);
    methodblock* target = dispatch_target(ee, mb, o);
    if (!target)
        return nullptr;
    return vm_jni_ref(ee, call_method(ee, target, o, vm_deref(refs), vm_deref(bits), vm_deref(result)));
}

jhandle Constructor_newInstance0(EE* ee, jhandle cls, s4 slot, jhandle refs, jhandle bits)
{
    methodblock* mb = reinterpret_cast<methodblock*>(static_cast<u4>(slot));
    if (!vm_init_class(ee, mb->clazz))
        return nullptr;
    jref obj = vm_new_object(ee, mb->clazz);
    if (!obj)
        return nullptr;
    call_method(ee, mb, obj, vm_deref(refs), vm_deref(bits), nullptr);
    if (vm_exception_pending(ee))
        return nullptr;
    return vm_jni_ref(ee, obj);
}

}  // namespace

#define N(cls, name, sig, fn) {cls, name, sig, reinterpret_cast<void*>(fn)}

const vm_native vm_natives_reflect[] = {
    N("java/lang/Class", "getInterfaces", "()[Ljava/lang/Class;", Class_getInterfaces),
    N("java/lang/Class", "getDeclaredFields0", "(Z)[Ljava/lang/reflect/Field;", Class_getDeclaredFields0),
    N("java/lang/Class", "getDeclaredMethods0", "(Z)[Ljava/lang/reflect/Method;", Class_getDeclaredMethods0),
    N("java/lang/Class", "getDeclaredConstructors0", "(Z)[Ljava/lang/reflect/Constructor;",
      Class_getDeclaredConstructors0),
    N("java/lang/reflect/AccessibleObject", "callerClass", "()Ljava/lang/Class;",
      AccessibleObject_callerClass),
    N("java/lang/reflect/AccessibleObject", "initClass", "(Ljava/lang/Class;)V", AccessibleObject_initClass),
    N("java/lang/reflect/Field", "getBits", "(ILjava/lang/Object;)J", Field_getBits),
    N("java/lang/reflect/Field", "setBits", "(ILjava/lang/Object;J)V", Field_setBits),
    N("java/lang/reflect/Field", "getRef", "(ILjava/lang/Object;)Ljava/lang/Object;", Field_getRef),
    N("java/lang/reflect/Field", "setRef", "(ILjava/lang/Object;Ljava/lang/Object;)V", Field_setRef),
    N("java/lang/reflect/Method", "invoke0", "(ILjava/lang/Object;[Ljava/lang/Object;[J[J)Ljava/lang/Object;",
      Method_invoke0),
    N("java/lang/reflect/Constructor", "newInstance0", "(I[Ljava/lang/Object;[J)Ljava/lang/Object;",
      Constructor_newInstance0),
    {nullptr, nullptr, nullptr, nullptr},
};

#undef N
