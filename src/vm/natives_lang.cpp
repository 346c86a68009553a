// natives_lang.cpp - natives of java.lang: Object, Class, ClassLoader,
// String, System, Runtime, Thread, Throwable, Enum, Compiler, and
// java.lang.reflect.Array.newArray.
//
// Every native follows the JNI convention of vm.h: fn(EE*, class-or-receiver
// handle, arguments...), references as handles (0 for null), a reference
// result as a handle made by vm_jni_ref, exceptions left pending.  They use
// the VM's C++ API directly.  A native runs with a transition record linked,
// so it may run Java code (vm_call_java), load classes and raise.
//
// Messages follow what the reference JVM prints, so that a test program's
// output is the same on both (arraycopy's texts in particular).

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pwd.h>
#include <sched.h>
#include <unistd.h>

#include "vm.h"

namespace {

const char kNPE[] = "java/lang/NullPointerException";
const char kASE[] = "java/lang/ArrayStoreException";
const char kAIOOBE[] = "java/lang/ArrayIndexOutOfBoundsException";
const char kCNFE[] = "java/lang/ClassNotFoundException";
const char kInstantiation[] = "java/lang/InstantiationException";

inline classblock* class_of_handle(jhandle h) { return reinterpret_cast<classblock*>(vm_deref(h)); }
inline jref as_ref(classblock* cb) { return reinterpret_cast<jref>(cb); }

// Instance-field offset (from obj+8) of a field declared in `cb` or a
// superclass, looked up once per call site.  -1 when absent.
s4 field_offset(classblock* cb, const char* name, const char* sig, s4* cache)
{
    s4 off = __atomic_load_n(cache, __ATOMIC_RELAXED);
    if (off != -2)
        return off;
    fieldblock* fb = cb ? vm_find_field(cb, name, sig) : nullptr;
    off = (fb && !(fb->access & ACC_STATIC)) ? static_cast<s4>(fb->value) : -1;
    __atomic_store_n(cache, off, __ATOMIC_RELAXED);
    return off;
}

// Dotted name of a class ("java.lang.String", "[I") in a malloc'd buffer.
char* dotted_name_alloc(classblock* cb)
{
    size_t n = strlen(cb->name) + 1;
    char* buf = static_cast<char*>(malloc(n));
    if (!buf)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        buf[i] = cb->name[i] == '/' ? '.' : cb->name[i];
    return buf;
}

void throw_with_class_name(EE* ee, const char* exception, classblock* cb)
{
    char* name = dotted_name_alloc(cb);
    vm_throw(ee, exception, name ? name : cb->name);
    free(name);
}

// The class of the nearest Java frame that is not a method of
// java/lang/Class (the caller of newInstance), or 0.
classblock* caller_class(EE* ee)
{
    typedef void (*fi_init_fn)(EE*, frame_iterator*);
    typedef void (*fi_prev_fn)(frame_iterator*);
    typedef int (*fi_more_fn)(frame_iterator*);
    typedef methodblock* (*fi_method_fn)(frame_iterator*);
    frame_iterator it;
    reinterpret_cast<fi_init_fn>(orva_FrameIntf[FI_INIT])(ee, &it);
    for (int guard = 0; guard < 64 && reinterpret_cast<fi_more_fn>(orva_FrameIntf[FI_MORE])(&it);
         guard++) {
        methodblock* mb = reinterpret_cast<fi_method_fn>(orva_FrameIntf[FI_METHOD])(&it);
        if (mb && mb->clazz != vm_class_Class)
            return mb->clazz;
        reinterpret_cast<fi_prev_fn>(orva_FrameIntf[FI_PREV])(&it);
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// java.lang.Object
// ---------------------------------------------------------------------------

jhandle Object_getClass(EE* ee, jhandle self)
{
    return vm_jni_ref(ee, as_ref(vm_class_of(vm_deref(self))));
}

s4 Object_hashCode(EE* ee, jhandle self)
{
    return static_cast<s4>(vm_identity_hash(vm_deref(self)));
}

jhandle Object_clone(EE* ee, jhandle self)
{
    jref o = vm_deref(self);
    jref copy;
    if (vm_is_array(o)) {
        int type = vm_array_type(o);
        s4 n = vm_array_length(o);
        copy = type == T_REFERENCE ? vm_new_object_array(ee, vm_array_element_class(o), n)
                                   : vm_new_array(ee, type, n);
        if (!copy)
            return nullptr;
        memcpy(vm_array_data(copy), vm_array_data(o), static_cast<size_t>(n) * vm_type_size(type));
    } else {
        classblock* cb = vm_class_of(o);
        if (!vm_is_instance_of(o, vm_class_Cloneable)) {
            throw_with_class_name(ee, "java/lang/CloneNotSupportedException", cb);
            return nullptr;
        }
        copy = vm_new_object(ee, cb);
        if (!copy)
            return nullptr;
        // Fields only: the copy keeps its own header (lock, identity hash).
        memcpy(vm_array_data(copy), vm_array_data(o), cb->instance_size);
    }
    return vm_jni_ref(ee, copy);
}

void Object_notify(EE* ee, jhandle self)
{
    vm_monitor_notify(ee, vm_deref(self), false);
}

void Object_notifyAll(EE* ee, jhandle self)
{
    vm_monitor_notify(ee, vm_deref(self), true);
}

void Object_wait(EE* ee, jhandle self, int64_t millis)
{
    vm_monitor_wait(ee, vm_deref(self), millis);
}

// ---------------------------------------------------------------------------
// java.lang.Class
// ---------------------------------------------------------------------------

jhandle Class_getName(EE* ee, jhandle self)
{
    return vm_jni_ref(ee, vm_class_name_string(ee, class_of_handle(self)));
}

// Class.forName's name ("java.lang.String", "[Ljava.lang.String;", "[I") in
// the internal form; 0 when it cannot name a loadable class (slashes, empty).
char* internal_class_name(jref name)
{
    char* s = vm_string_to_utf_alloc(name);
    if (!s)
        return nullptr;
    if (!*s || strchr(s, '/')) {
        free(s);
        return nullptr;
    }
    for (char* p = s; *p; p++)
        if (*p == '.')
            *p = '/';
    return s;
}

// True when the pending exception is the loader's NoClassDefFoundError for
// exactly this name (the class itself is missing), as opposed to an error in
// loading, linking or initialising a class that exists.  For an array name
// `internal` is its element class's name.
bool pending_is_missing_class(EE* ee, const char* internal)
{
    jref exc = vm_pending_exception(ee);
    classblock* ncdfe = vm_lookup_class("java/lang/NoClassDefFoundError");
    if (!exc || !ncdfe || vm_class_of(exc) != ncdfe)
        return false;
    static s4 message_off = -2;
    s4 off = field_offset(vm_class_Throwable, "detailMessage", "Ljava/lang/String;", &message_off);
    if (off < 0)
        return true;
    jref msg = vm_field<jref>(exc, static_cast<u4>(off));
    if (!msg)
        return true;
    char* text = vm_string_to_utf_alloc(msg);
    if (!text)
        return true;
    // The loader may name the class in either form.
    bool same = true;
    size_t n = strlen(internal);
    if (strlen(text) != n) {
        same = false;
    } else {
        for (size_t i = 0; i < n; i++) {
            char a = text[i] == '.' ? '/' : text[i];
            if (a != internal[i]) {
                same = false;
                break;
            }
        }
    }
    free(text);
    return same;
}

classblock* for_name(EE* ee, jref name, bool initialize)
{
    if (!name) {
        vm_throw(ee, kNPE, nullptr);
        return nullptr;
    }
    char* internal = internal_class_name(name);
    if (!internal) {
        char* text = vm_string_to_utf_alloc(name);
        vm_throw(ee, kCNFE, text ? text : "");
        free(text);
        return nullptr;
    }
    classblock* cb = vm_find_class(ee, internal, initialize ? 1 : 0);
    if (cb && (cb->state & CS_PRIMITIVE)) {
        cb = nullptr;                       // "int" names no class for forName
        vm_clear_pending(ee);
        char* text = vm_string_to_utf_alloc(name);
        vm_throw(ee, kCNFE, text ? text : "");
        free(text);
    } else if (!cb) {
        // "[[Lp/Nope;" fails on its element class p/Nope, which the message
        // then names; any other missing name is quoted as given.
        char* element = internal;
        while (*element == '[')
            element++;
        size_t n = strlen(element);
        bool element_named = false;
        if (element != internal && *element == 'L' && n > 2 && element[n - 1] == ';') {
            element[n - 1] = 0;
            element++;
            element_named = pending_is_missing_class(ee, element);
        }
        if (element_named || pending_is_missing_class(ee, internal)) {
            vm_clear_pending(ee);
            char* text = element_named ? nullptr : vm_string_to_utf_alloc(name);
            if (element_named)
                for (char* p = element; *p; p++)
                    if (*p == '/')
                        *p = '.';
            vm_throw(ee, kCNFE, element_named ? element : (text ? text : ""));
            free(text);
        }
    }
    free(internal);
    return cb;
}

jhandle Class_forName0(EE* ee, jhandle cls, jhandle name, s4 initialize, jhandle loader)
{
    return vm_jni_ref(ee, as_ref(for_name(ee, vm_deref(name), initialize != 0)));
}

jhandle Class_forName1(EE* ee, jhandle cls, jhandle name)
{
    return vm_jni_ref(ee, as_ref(for_name(ee, vm_deref(name), true)));
}

// The member's visibility as IllegalAccessException messages quote it.
const char* modifier_text(u2 access)
{
    if (access & ACC_PUBLIC)
        return "public";
    if (access & ACC_PRIVATE)
        return "private";
    if (access & ACC_PROTECTED)
        return "protected";
    return "";
}

// new cb() through its no-argument constructor, on behalf of `caller` (0:
// unknown, no access check).  Exceptions of the constructor propagate.
jref new_instance(EE* ee, classblock* cb, classblock* caller)
{
    if ((cb->access & (ACC_INTERFACE | ACC_ABSTRACT)) || (cb->state & (CS_ARRAY | CS_PRIMITIVE))) {
        throw_with_class_name(ee, kInstantiation, cb);
        return nullptr;
    }
    methodblock* init = vm_find_declared_method(cb, "<init>", "()V");
    if (!init) {
        throw_with_class_name(ee, kInstantiation, cb);
        return nullptr;
    }
    if (caller && caller != cb &&
        (!vm_class_accessible(caller, cb) || !vm_method_accessible(caller, init))) {
        char* from = dotted_name_alloc(caller);
        char* to = dotted_name_alloc(cb);
        vm_throwf(ee, "java/lang/IllegalAccessException",
                  "class %s cannot access a member of class %s with modifiers \"%s\"",
                  from ? from : caller->name, to ? to : cb->name, modifier_text(init->access));
        free(from);
        free(to);
        return nullptr;
    }
    if (!vm_init_class(ee, cb))
        return nullptr;
    jref obj = vm_new_object(ee, cb);
    if (!obj)
        return nullptr;
    u4 argv[1] = {reinterpret_cast<u4>(obj)};
    if (!vm_call_java(ee, init, argv, 1, nullptr))
        return nullptr;
    return obj;
}

jhandle Class_newInstance0(EE* ee, jhandle self)
{
    classblock* cb = class_of_handle(self);
    return vm_jni_ref(ee, new_instance(ee, cb, caller_class(ee)));
}

jhandle Class_newInstance1(EE* ee, jhandle self, jhandle caller, jhandle loader)
{
    classblock* cb = class_of_handle(self);
    return vm_jni_ref(ee, new_instance(ee, cb, class_of_handle(caller)));
}

s4 Class_isInstance(EE* ee, jhandle self, jhandle obj)
{
    jref o = vm_deref(obj);
    return o && vm_is_instance_of(o, class_of_handle(self)) ? 1 : 0;
}

s4 Class_isAssignableFrom(EE* ee, jhandle self, jhandle other)
{
    classblock* cb = class_of_handle(self);
    classblock* from = class_of_handle(other);
    if (!from) {
        vm_throw(ee, kNPE, nullptr);
        return 0;
    }
    if ((cb->state | from->state) & CS_PRIMITIVE)
        return cb == from ? 1 : 0;
    return vm_is_subclass_of(from, cb) ? 1 : 0;
}

s4 Class_isInterface(EE* ee, jhandle self)
{
    return (class_of_handle(self)->access & ACC_INTERFACE) ? 1 : 0;
}

s4 Class_isArray(EE* ee, jhandle self)
{
    return (class_of_handle(self)->state & CS_ARRAY) ? 1 : 0;
}

s4 Class_isPrimitive(EE* ee, jhandle self)
{
    return (class_of_handle(self)->state & CS_PRIMITIVE) ? 1 : 0;
}

jhandle Class_getSuperclass(EE* ee, jhandle self)
{
    classblock* cb = class_of_handle(self);
    if ((cb->access & ACC_INTERFACE) || (cb->state & CS_PRIMITIVE))
        return nullptr;
    if (cb->state & CS_ARRAY)
        return vm_jni_ref(ee, as_ref(vm_class_Object));
    return vm_jni_ref(ee, as_ref(cb->superclass));
}

jhandle Class_getComponentType(EE* ee, jhandle self)
{
    classblock* cb = class_of_handle(self);
    if (!(cb->state & CS_ARRAY))
        return nullptr;
    return vm_jni_ref(ee, as_ref(cb->element_class));
}

// Java's modifiers: ACC_SUPER is not one; arrays are final and abstract with
// their component's visibility; primitive classes are public final abstract.
s4 Class_getModifiers(EE* ee, jhandle self)
{
    classblock* cb = class_of_handle(self);
    const u2 visibility = ACC_PUBLIC | ACC_PRIVATE | ACC_PROTECTED;
    if (cb->state & CS_PRIMITIVE)
        return ACC_PUBLIC | ACC_FINAL | ACC_ABSTRACT;
    if (cb->state & CS_ARRAY) {
        classblock* e = cb->element_class;
        u2 vis = e ? static_cast<u2>(Class_getModifiers(ee, reinterpret_cast<jhandle>(&e)) & visibility)
                   : ACC_PUBLIC;
        return vis | ACC_FINAL | ACC_ABSTRACT;
    }
    return cb->access & (visibility | ACC_STATIC | ACC_FINAL | ACC_INTERFACE | ACC_ABSTRACT);
}

jhandle Class_getClassLoader0(EE* ee, jhandle self)
{
    return nullptr;                         // the bootstrap loader
}

jhandle Class_getPrimitiveClass(EE* ee, jhandle cls, jhandle name)
{
    static const struct { const char* name; char sig; } primitives[] = {
        {"boolean", 'Z'}, {"byte", 'B'}, {"char", 'C'}, {"short", 'S'}, {"int", 'I'},
        {"long", 'J'}, {"float", 'F'}, {"double", 'D'}, {"void", 'V'},
    };
    jref s = vm_deref(name);
    if (!s) {
        vm_throw(ee, kNPE, nullptr);
        return nullptr;
    }
    char buf[16];
    vm_string_to_utf(s, buf, sizeof buf);
    for (const auto& p : primitives)
        if (strcmp(buf, p.name) == 0)
            return vm_jni_ref(ee, as_ref(vm_primitive_class(p.sig)));
    return nullptr;
}

// ---------------------------------------------------------------------------
// java.lang.ClassLoader, java.lang.String, java.lang.Enum
// ---------------------------------------------------------------------------

jhandle ClassLoader_getCallerClassLoader(EE* ee, jhandle cls)
{
    return nullptr;                         // one loader: the bootstrap loader
}

jhandle String_intern(EE* ee, jhandle self)
{
    return vm_jni_ref(ee, vm_intern(ee, vm_deref(self)));
}

// The result of the enum class's static values(), or null when the class
// is not an enum or has no such method.
jhandle Enum_enumValues0(EE* ee, jhandle cls, jhandle enum_class)
{
    classblock* cb = class_of_handle(enum_class);
    if (!cb) {
        vm_throw(ee, kNPE, nullptr);
        return nullptr;
    }
    classblock* enum_base = vm_lookup_class("java/lang/Enum");
    if (!enum_base || cb == enum_base || !vm_is_subclass_of(cb, enum_base))
        return nullptr;
    size_t n = strlen(cb->name);
    char* sig = static_cast<char*>(malloc(n + 8));
    if (!sig) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return nullptr;
    }
    snprintf(sig, n + 8, "()[L%s;", cb->name);
    methodblock* values = vm_find_declared_method(cb, "values", sig);
    free(sig);
    if (!values || !(values->access & ACC_STATIC))
        return nullptr;
    if (!vm_init_class(ee, cb))
        return nullptr;
    JValue result;
    result.u = 0;
    if (!vm_call_java(ee, values, nullptr, 0, &result))
        return nullptr;
    return vm_jni_ref(ee, reinterpret_cast<jref>(result.u));
}

// java.lang.reflect.Array.newArray: a zeroed array of `length` elements of
// the component class (a primitive class gives a primitive array).
jhandle Array_newArray(EE* ee, jhandle cls, jhandle component, s4 length)
{
    static const struct { char sig; int type; } primitives[] = {
        {'Z', T_BOOLEAN}, {'B', T_BYTE}, {'C', T_CHAR}, {'S', T_SHORT},
        {'I', T_INT}, {'J', T_LONG}, {'F', T_FLOAT}, {'D', T_DOUBLE},
    };
    classblock* cb = class_of_handle(component);
    if (!cb) {
        vm_throw(ee, kNPE, nullptr);
        return nullptr;
    }
    if (cb->state & CS_PRIMITIVE) {
        for (const auto& p : primitives)
            if (vm_primitive_class(p.sig) == cb)
                return vm_jni_ref(ee, vm_new_array(ee, p.type, length));
        vm_throw(ee, "java/lang/IllegalArgumentException", nullptr);     // void
        return nullptr;
    }
    // Makes the array class (IllegalArgumentException beyond 255 dimensions).
    if (!vm_array_class_of(ee, cb))
        return nullptr;
    return vm_jni_ref(ee, vm_new_object_array(ee, cb, length));
}

// ---------------------------------------------------------------------------
// java.lang.System
// ---------------------------------------------------------------------------

int64_t System_currentTimeMillis(EE* ee, jhandle cls)
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int64_t System_nanoTime(EE* ee, jhandle cls)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

s4 System_identityHashCode(EE* ee, jhandle cls, jhandle obj)
{
    jref o = vm_deref(obj);
    return o ? static_cast<s4>(vm_identity_hash(o)) : 0;
}

const char* array_type_name(int type)
{
    switch (type) {
    case T_BOOLEAN: return "boolean";
    case T_CHAR: return "char";
    case T_FLOAT: return "float";
    case T_DOUBLE: return "double";
    case T_BYTE: return "byte";
    case T_SHORT: return "short";
    case T_INT: return "int";
    case T_LONG: return "long";
    default: return "object array";
    }
}

void throw_not_an_array(EE* ee, const char* which, jref o)
{
    char* name = dotted_name_alloc(vm_class_of(o));
    vm_throwf(ee, kASE, "arraycopy: %s type %s is not an array", which, name ? name : "?");
    free(name);
}

// Reference arrays whose element classes are not assignable: copy one by one
// with a store check; the elements before a failing one stay copied.
void copy_checked(EE* ee, jref src, s4 sp, jref dst, s4 dp, s4 len)
{
    classblock* se = vm_array_element_class(src);
    classblock* de = vm_array_element_class(dst);
    jref* from = vm_array_elems<jref>(src) + sp;
    jref* to = vm_array_elems<jref>(dst) + dp;
    for (s4 i = 0; i < len; i++) {
        jref e = from[i];
        if (e && !vm_is_instance_of(e, de)) {
            char* sn = dotted_name_alloc(se);
            char* dn = dotted_name_alloc(de);
            if (!vm_is_subclass_of(de, se))
                vm_throwf(ee, kASE, "arraycopy: type mismatch: can not copy %s[] into %s[]",
                          sn ? sn : "?", dn ? dn : "?");
            else
                vm_throwf(ee, kASE,
                          "arraycopy: element type mismatch: can not cast one of the elements of "
                          "%s[] to the type of the destination array, %s",
                          sn ? sn : "?", dn ? dn : "?");
            free(sn);
            free(dn);
            return;
        }
        to[i] = e;
    }
}

// Checks in the reference JVM's order: nulls, array-ness, element kinds,
// negative positions and length, range ends (as unsigned sums, so that a
// huge length cannot wrap), then the copy; memmove handles a range that
// overlaps itself within one array.
void System_arraycopy(EE* ee, jhandle cls, jhandle src_h, s4 sp, jhandle dst_h, s4 dp, s4 len)
{
    jref src = vm_deref(src_h);
    jref dst = vm_deref(dst_h);
    if (!src || !dst) {
        vm_throw(ee, kNPE, nullptr);
        return;
    }
    if (!vm_is_array(src)) {
        throw_not_an_array(ee, "source", src);
        return;
    }
    if (!vm_is_array(dst)) {
        throw_not_an_array(ee, "destination", dst);
        return;
    }
    int st = vm_array_type(src);
    int dt = vm_array_type(dst);
    if (st != dt) {
        vm_throwf(ee, kASE, "arraycopy: type mismatch: can not copy %s[] into %s[]",
                  array_type_name(st), array_type_name(dt));
        return;
    }
    const char* tn = array_type_name(st);
    s4 slen = vm_array_length(src);
    s4 dlen = vm_array_length(dst);
    if (sp < 0) {
        vm_throwf(ee, kAIOOBE, "arraycopy: source index %d out of bounds for %s[%d]", sp, tn, slen);
        return;
    }
    if (dp < 0) {
        vm_throwf(ee, kAIOOBE, "arraycopy: destination index %d out of bounds for %s[%d]", dp, tn,
                  dlen);
        return;
    }
    if (len < 0) {
        vm_throwf(ee, kAIOOBE, "arraycopy: length %d is negative", len);
        return;
    }
    u4 send = static_cast<u4>(len) + static_cast<u4>(sp);
    u4 dend = static_cast<u4>(len) + static_cast<u4>(dp);
    if (send > static_cast<u4>(slen)) {
        vm_throwf(ee, kAIOOBE, "arraycopy: last source index %u out of bounds for %s[%d]", send, tn,
                  slen);
        return;
    }
    if (dend > static_cast<u4>(dlen)) {
        vm_throwf(ee, kAIOOBE, "arraycopy: last destination index %u out of bounds for %s[%d]", dend,
                  tn, dlen);
        return;
    }
    if (len == 0)
        return;
    if (st == T_REFERENCE && src != dst &&
        !vm_is_subclass_of(vm_array_element_class(src), vm_array_element_class(dst))) {
        copy_checked(ee, src, sp, dst, dp, len);
        return;
    }
    u4 size = vm_type_size(st);
    memmove(static_cast<u1*>(vm_array_data(dst)) + static_cast<u4>(dp) * size,
            static_cast<u1*>(vm_array_data(src)) + static_cast<u4>(sp) * size,
            static_cast<size_t>(len) * size);
}

// {key0, value0, key1, value1, ...}: the VM's own properties, then every -D
// option in command-line order (System adds them in order, so the last wins).
jhandle System_initProperties0(EE* ee, jhandle cls)
{
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        strcpy(cwd, ".");
    const char* home = getenv("HOME");
    const char* user = getenv("USER");
    if (!user) {
        struct passwd* pw = getpwuid(getuid());
        user = pw ? pw->pw_name : "";
    }
    if (!home)
        home = "";
    const char* fixed[][2] = {
        {"java.class.path", vm_opts.classpath ? vm_opts.classpath : "."},
        {"java.home", vm_opts.bootclasspath ? vm_opts.bootclasspath : ""},
        {"user.dir", cwd},
        {"user.home", home},
        {"user.name", user},
        {"java.compiler", vm_compiler_active() ? (vm_opts.compiler ? vm_opts.compiler : "jit") : nullptr},
    };
    int nfixed = static_cast<int>(sizeof fixed / sizeof fixed[0]);
    int npairs = nfixed + (vm_opts.nprops > 0 ? vm_opts.nprops : 0);
    jref arr = vm_new_object_array(ee, vm_class_String, 2 * npairs);
    if (!arr)
        return nullptr;
    int k = 0;
    for (int i = 0; i < npairs; i++) {
        const char* key = i < nfixed ? fixed[i][0] : vm_opts.prop_names[i - nfixed];
        const char* value = i < nfixed ? fixed[i][1] : vm_opts.prop_values[i - nfixed];
        if (!key || !value)
            continue;                       // left null: System skips the pair
        jref ks = vm_new_string_utf(ee, key);
        if (!ks)
            return nullptr;
        vm_array_elems<jref>(arr)[k] = ks;
        jref vs = vm_new_string_utf(ee, value);
        if (!vs)
            return nullptr;
        vm_array_elems<jref>(arr)[k + 1] = vs;
        k += 2;
    }
    return vm_jni_ref(ee, arr);
}

// ---------------------------------------------------------------------------
// java.lang.Runtime
// ---------------------------------------------------------------------------

void Runtime_exit0(EE* ee, jhandle cls, s4 status)
{
    vm_exit(ee, status);
}

s4 Runtime_availableProcessors(EE* ee, jhandle self)
{
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<s4>(n) : 1;
}

int64_t Runtime_freeMemory(EE* ee, jhandle self)
{
    u4 cap = vm_heap_capacity();
    u4 used = vm_heap_used();
    return used < cap ? static_cast<int64_t>(cap - used) : 0;
}

int64_t Runtime_totalMemory(EE* ee, jhandle self)
{
    return vm_heap_capacity();
}

int64_t Runtime_maxMemory(EE* ee, jhandle self)
{
    return vm_opts.heap_size ? static_cast<int64_t>(vm_opts.heap_size) : vm_heap_capacity();
}

void Runtime_load0(EE* ee, jhandle cls, jhandle path)
{
    jref s = vm_deref(path);
    if (!s) {
        vm_throw(ee, kNPE, nullptr);
        return;
    }
    char* p = vm_string_to_utf_alloc(s);
    if (!p) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return;
    }
    vm_load_library(ee, p);
    free(p);
}

void Runtime_gc(EE* ee, jhandle self)
{
    // Bump allocation until the collector exists: nothing to do.
}

// ---------------------------------------------------------------------------
// java.lang.Thread
// ---------------------------------------------------------------------------

s4 thread_field(jref thread, const char* name, const char* sig, s4* cache)
{
    return field_offset(vm_class_Thread, name, sig, cache);
}

// The EE of a started, still running Thread object, read under the object's
// monitor: the thread clears eetop under that monitor when it ends, so the
// EE stays valid until `unlock_thread`.
EE* lock_thread_ee(EE* ee, jref thread)
{
    static s4 eetop_off = -2;
    s4 off = thread_field(thread, "eetop", "I", &eetop_off);
    orva_monitorEnter2(ee, thread);
    return off < 0 ? nullptr : reinterpret_cast<EE*>(vm_field<u4>(thread, static_cast<u4>(off)));
}

void unlock_thread(EE* ee, jref thread)
{
    jref pending = vm_pending_exception(ee);
    u4 kind = ee->exception_kind;
    vm_clear_pending(ee);
    orva_monitorExit2(ee, thread);
    vm_clear_pending(ee);
    if (kind)
        vm_set_pending(ee, pending);
}

void Thread_start0(EE* ee, jhandle self)
{
    jref t = vm_deref(self);
    static s4 daemon_off = -2, alive_off = -2;
    s4 doff = thread_field(t, "daemon", "Z", &daemon_off);
    s4 aoff = thread_field(t, "alive", "Z", &alive_off);
    if (aoff >= 0 && vm_field<u1>(t, static_cast<u4>(aoff))) {
        vm_throw(ee, "java/lang/IllegalThreadStateException", nullptr);
        return;
    }
    bool daemon = doff >= 0 && vm_field<u1>(t, static_cast<u4>(doff)) != 0;
    vm_start_java_thread(ee, t, daemon);
}

jhandle Thread_currentThread(EE* ee, jhandle cls)
{
    return vm_jni_ref(ee, reinterpret_cast<jref>(ee->thread_object));
}

void Thread_sleep(EE* ee, jhandle cls, int64_t millis)
{
    vm_thread_sleep(ee, millis);
}

void Thread_yield(EE* ee, jhandle cls)
{
    sched_yield();
}

void Thread_interrupt0(EE* ee, jhandle self)
{
    jref t = vm_deref(self);
    if (reinterpret_cast<u4>(t) == ee->thread_object) {
        vm_thread_interrupt(ee);
        return;
    }
    EE* target = lock_thread_ee(ee, t);
    if (target)
        vm_thread_interrupt(target);
    unlock_thread(ee, t);
}

s4 Thread_isInterrupted(EE* ee, jhandle self, s4 clear)
{
    jref t = vm_deref(self);
    if (reinterpret_cast<u4>(t) == ee->thread_object)
        return vm_thread_interrupted(ee, clear != 0) ? 1 : 0;
    EE* target = lock_thread_ee(ee, t);
    bool set = target && vm_thread_interrupted(target, clear != 0);
    unlock_thread(ee, t);
    return set ? 1 : 0;
}

s4 Thread_isAlive(EE* ee, jhandle self)
{
    jref t = vm_deref(self);
    static s4 alive_off = -2;
    s4 off = thread_field(t, "alive", "Z", &alive_off);
    return off >= 0 && __atomic_load_n(&vm_field<u1>(t, static_cast<u4>(off)), __ATOMIC_ACQUIRE) ? 1 : 0;
}

void Thread_setPriority0(EE* ee, jhandle self, s4 priority)
{
    // Recorded in the object by Java code; no scheduling effect.
}

s4 Thread_holdsLock(EE* ee, jhandle cls, jhandle obj)
{
    jref o = vm_deref(obj);
    if (!o) {
        vm_throw(ee, kNPE, nullptr);
        return 0;
    }
    return vm_holds_lock(ee, o) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// java.lang.Throwable
// ---------------------------------------------------------------------------

jhandle Throwable_fillInStackTrace(EE* ee, jhandle self)
{
    vm_fill_in_stack_trace(ee, vm_deref(self));
    return self;
}

s4 Throwable_getStackTraceDepth(EE* ee, jhandle self)
{
    return vm_backtrace_depth(vm_deref(self));
}

jhandle Throwable_getStackTraceLine(EE* ee, jhandle self, s4 index)
{
    char buf[1024];
    if (!vm_backtrace_line(vm_deref(self), index, buf, sizeof buf)) {
        vm_throwf(ee, kAIOOBE, "%d", index);
        return nullptr;
    }
    return vm_jni_ref(ee, vm_new_string_utf(ee, buf));
}

// ---------------------------------------------------------------------------
// java.lang.Compiler: the compiler's hooks behind link-vector slots 9-12
// (each slot holds the address of a VM variable the compiler fills).
// ---------------------------------------------------------------------------

void* compiler_hook(int slot)
{
    void** var = static_cast<void**>(orva_CompileCodeLinkVector[slot]);
    return var ? *var : nullptr;
}

s4 Compiler_compileClass(EE* ee, jhandle cls, jhandle clazz)
{
    classblock* cb = class_of_handle(clazz);
    auto fn = reinterpret_cast<int (*)(classblock*)>(compiler_hook(LV_HOOK_COMPILE_CLASS));
    if (!cb || !fn)
        return 0;
    return fn(cb) ? 1 : 0;
}

s4 Compiler_compileClasses(EE* ee, jhandle cls, jhandle name)
{
    jref s = vm_deref(name);
    auto fn = reinterpret_cast<int (*)(jref)>(compiler_hook(LV_HOOK_COMPILE_CLASSES));
    if (!s || !fn)
        return 0;
    return fn(s) ? 1 : 0;
}

void Compiler_enable(EE* ee, jhandle cls)
{
    auto fn = reinterpret_cast<void (*)()>(compiler_hook(LV_HOOK_ENABLE));
    if (fn)
        fn();
}

void Compiler_disable(EE* ee, jhandle cls)
{
    auto fn = reinterpret_cast<void (*)()>(compiler_hook(LV_HOOK_DISABLE));
    if (fn)
        fn();
}

jhandle Compiler_command(EE* ee, jhandle cls, jhandle arg)
{
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Class names as Strings
// ---------------------------------------------------------------------------

// Made once, interned, and kept in the class block (+0x44), where compiled
// code reads it directly (Class.getName is an intrinsic there).  Racing
// threads intern the same text, so whichever store wins holds the same
// String.
jref vm_class_name_string(EE* ee, classblock* cb)
{
    u4 s = __atomic_load_n(&cb->name_string, __ATOMIC_ACQUIRE);
    if (s)
        return reinterpret_cast<jref>(s);
    char* name = dotted_name_alloc(cb);
    if (!name) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return nullptr;
    }
    jref str = vm_intern_utf(ee, name);
    free(name);
    if (!str)
        return nullptr;
    u4 expected = 0;
    __atomic_compare_exchange_n(&cb->name_string, &expected, reinterpret_cast<u4>(str), false,
                                __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    return reinterpret_cast<jref>(__atomic_load_n(&cb->name_string, __ATOMIC_ACQUIRE));
}

// ---------------------------------------------------------------------------
// Process exit
// ---------------------------------------------------------------------------

// System.out is buffered in Java: on a Java thread whose System class is
// initialised, System.flushStreams() runs first (a pending exception is kept
// aside and dropped: the process ends either way).  Then the orva_AtExit
// functions, then C stdio, and the process ends at once: other threads are
// neither waited for nor allowed to run C++ exit code concurrently.
void vm_exit(EE* ee, int status)
{
    classblock* system = vm_lookup_class("java/lang/System");
    if (ee && system && (system->state & CS_INITIALIZED)) {
        methodblock* flush = vm_find_declared_method(system, "flushStreams", "()V");
        if (flush) {
            vm_clear_pending(ee);
            vm_call_java(ee, flush, nullptr, 0, nullptr);
            vm_clear_pending(ee);
        }
    }
    vm_run_atexit_functions();
    fflush(nullptr);
    _exit(status);
}

#define N(cls, name, sig, fn) {cls, name, sig, reinterpret_cast<void*>(fn)}

const vm_native vm_natives_lang[] = {
    N("java/lang/Object", "getClass", "()Ljava/lang/Class;", Object_getClass),
    N("java/lang/Object", "hashCode", "()I", Object_hashCode),
    N("java/lang/Object", "clone", "()Ljava/lang/Object;", Object_clone),
    N("java/lang/Object", "notify", "()V", Object_notify),
    N("java/lang/Object", "notifyAll", "()V", Object_notifyAll),
    N("java/lang/Object", "wait", "(J)V", Object_wait),

    N("java/lang/Class", "getName", "()Ljava/lang/String;", Class_getName),
    N("java/lang/Class", "forName0", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;",
      Class_forName0),
    N("java/lang/Class", "forName1", "(Ljava/lang/String;)Ljava/lang/Class;", Class_forName1),
    N("java/lang/Class", "newInstance0", "()Ljava/lang/Object;", Class_newInstance0),
    N("java/lang/Class", "newInstance1", "(Ljava/lang/Class;Ljava/lang/ClassLoader;)Ljava/lang/Object;",
      Class_newInstance1),
    N("java/lang/Class", "isInstance", "(Ljava/lang/Object;)Z", Class_isInstance),
    N("java/lang/Class", "isAssignableFrom", "(Ljava/lang/Class;)Z", Class_isAssignableFrom),
    N("java/lang/Class", "isInterface", "()Z", Class_isInterface),
    N("java/lang/Class", "isArray", "()Z", Class_isArray),
    N("java/lang/Class", "isPrimitive", "()Z", Class_isPrimitive),
    N("java/lang/Class", "getSuperclass", "()Ljava/lang/Class;", Class_getSuperclass),
    N("java/lang/Class", "getComponentType", "()Ljava/lang/Class;", Class_getComponentType),
    N("java/lang/Class", "getModifiers", "()I", Class_getModifiers),
    N("java/lang/Class", "getClassLoader0", "()Ljava/lang/ClassLoader;", Class_getClassLoader0),
    N("java/lang/Class", "getPrimitiveClass", "(Ljava/lang/String;)Ljava/lang/Class;",
      Class_getPrimitiveClass),

    N("java/lang/ClassLoader", "getCallerClassLoader", "()Ljava/lang/ClassLoader;",
      ClassLoader_getCallerClassLoader),
    N("java/lang/String", "intern", "()Ljava/lang/String;", String_intern),
    N("java/lang/Enum", "enumValues0", "(Ljava/lang/Class;)[Ljava/lang/Object;", Enum_enumValues0),
    N("java/lang/reflect/Array", "newArray", "(Ljava/lang/Class;I)Ljava/lang/Object;", Array_newArray),

    N("java/lang/System", "currentTimeMillis", "()J", System_currentTimeMillis),
    N("java/lang/System", "nanoTime", "()J", System_nanoTime),
    N("java/lang/System", "arraycopy", "(Ljava/lang/Object;ILjava/lang/Object;II)V", System_arraycopy),
    N("java/lang/System", "identityHashCode", "(Ljava/lang/Object;)I", System_identityHashCode),
    N("java/lang/System", "initProperties0", "()[Ljava/lang/String;", System_initProperties0),

    N("java/lang/Runtime", "exit0", "(I)V", Runtime_exit0),
    N("java/lang/Runtime", "availableProcessors", "()I", Runtime_availableProcessors),
    N("java/lang/Runtime", "freeMemory", "()J", Runtime_freeMemory),
    N("java/lang/Runtime", "totalMemory", "()J", Runtime_totalMemory),
    N("java/lang/Runtime", "maxMemory", "()J", Runtime_maxMemory),
    N("java/lang/Runtime", "gc", "()V", Runtime_gc),
    N("java/lang/Runtime", "load0", "(Ljava/lang/String;)V", Runtime_load0),

    N("java/lang/Thread", "start0", "()V", Thread_start0),
    N("java/lang/Thread", "currentThread", "()Ljava/lang/Thread;", Thread_currentThread),
    N("java/lang/Thread", "sleep", "(J)V", Thread_sleep),
    N("java/lang/Thread", "yield", "()V", Thread_yield),
    N("java/lang/Thread", "interrupt0", "()V", Thread_interrupt0),
    N("java/lang/Thread", "isInterrupted", "(Z)Z", Thread_isInterrupted),
    N("java/lang/Thread", "isAlive", "()Z", Thread_isAlive),
    N("java/lang/Thread", "setPriority0", "(I)V", Thread_setPriority0),
    N("java/lang/Thread", "holdsLock", "(Ljava/lang/Object;)Z", Thread_holdsLock),

    N("java/lang/Throwable", "fillInStackTrace", "()Ljava/lang/Throwable;", Throwable_fillInStackTrace),
    N("java/lang/Throwable", "getStackTraceDepth", "()I", Throwable_getStackTraceDepth),
    N("java/lang/Throwable", "getStackTraceLine", "(I)Ljava/lang/String;", Throwable_getStackTraceLine),

    N("java/lang/Compiler", "compileClass", "(Ljava/lang/Class;)Z", Compiler_compileClass),
    N("java/lang/Compiler", "compileClasses", "(Ljava/lang/String;)Z", Compiler_compileClasses),
    N("java/lang/Compiler", "enable", "()V", Compiler_enable),
    N("java/lang/Compiler", "disable", "()V", Compiler_disable),
    N("java/lang/Compiler", "command", "(Ljava/lang/Object;)Ljava/lang/Object;", Compiler_command),

    {nullptr, nullptr, nullptr, nullptr},
};

#undef N
