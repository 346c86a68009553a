// jni.cpp - the JNI function table (EE word 0, so an EE is a JNIEnv).
//
// The table has the JNI specification's order (233 entries, through
// GetObjectRefType).  The class library's own natives use the VM's C++ API
// and never need it; the entries a native library of this generation would
// use first are filled: class and exception handling, local references,
// strings in modified UTF-8, array length and the primitive array region
// copies, monitors.  Every other entry is a trap that prints its index and
// aborts, so an unsupported call is reported where it happens instead of
// jumping through a null pointer.
//
// References are handles (addresses of words holding the object, 0 for
// null); results are fresh local references (vm_jni_ref), dropped when the
// native returns.  DeleteLocalRef therefore has nothing to do.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

typedef s4 jint;
typedef s4 jsize;
typedef u1 jboolean;
typedef int8_t jbyte;
typedef u2 jchar;
typedef int16_t jshort;
typedef int64_t jlong;
typedef float jfloat;
typedef double jdouble;
typedef jhandle jobject;

constexpr jint kJniVersion_1_2 = 0x00010002;
constexpr jint kJniOk = 0;
constexpr jint kJniErr = -1;

// Every entry in JNI order: K = filled here (function jni_<name>), T = trap.
#define JNI_TYPED(X, k, prefix, suffix) \
    X(k, prefix##Object##suffix) X(k, prefix##Boolean##suffix) X(k, prefix##Byte##suffix) \
    X(k, prefix##Char##suffix) X(k, prefix##Short##suffix) X(k, prefix##Int##suffix)      \
    X(k, prefix##Long##suffix) X(k, prefix##Float##suffix) X(k, prefix##Double##suffix)
#define JNI_CALLS(X, prefix)                                                              \
    X(T, prefix##ObjectMethod) X(T, prefix##ObjectMethodV) X(T, prefix##ObjectMethodA)   \
    X(T, prefix##BooleanMethod) X(T, prefix##BooleanMethodV) X(T, prefix##BooleanMethodA) \
    X(T, prefix##ByteMethod) X(T, prefix##ByteMethodV) X(T, prefix##ByteMethodA)         \
    X(T, prefix##CharMethod) X(T, prefix##CharMethodV) X(T, prefix##CharMethodA)         \
    X(T, prefix##ShortMethod) X(T, prefix##ShortMethodV) X(T, prefix##ShortMethodA)     \
    X(T, prefix##IntMethod) X(T, prefix##IntMethodV) X(T, prefix##IntMethodA)           \
    X(T, prefix##LongMethod) X(T, prefix##LongMethodV) X(T, prefix##LongMethodA)         \
    X(T, prefix##FloatMethod) X(T, prefix##FloatMethodV) X(T, prefix##FloatMethodA)     \
    X(T, prefix##DoubleMethod) X(T, prefix##DoubleMethodV) X(T, prefix##DoubleMethodA)   \
    X(T, prefix##VoidMethod) X(T, prefix##VoidMethodV) X(T, prefix##VoidMethodA)
#define JNI_PRIMS(X, k, prefix, suffix) \
    X(k, prefix##Boolean##suffix) X(k, prefix##Byte##suffix) X(k, prefix##Char##suffix)   \
    X(k, prefix##Short##suffix) X(k, prefix##Int##suffix) X(k, prefix##Long##suffix)      \
    X(k, prefix##Float##suffix) X(k, prefix##Double##suffix)

#define JNI_FUNCTIONS(X)                                                                  \
    X(T, reserved0) X(T, reserved1) X(T, reserved2) X(T, reserved3)                       \
    X(K, GetVersion) X(T, DefineClass) X(K, FindClass)                                    \
    X(T, FromReflectedMethod) X(T, FromReflectedField) X(T, ToReflectedMethod)            \
    X(K, GetSuperclass) X(K, IsAssignableFrom) X(T, ToReflectedField)                     \
    X(K, Throw) X(K, ThrowNew) X(K, ExceptionOccurred) X(K, ExceptionDescribe)            \
    X(K, ExceptionClear) X(K, FatalError) X(T, PushLocalFrame) X(T, PopLocalFrame)        \
    X(T, NewGlobalRef) X(T, DeleteGlobalRef) X(K, DeleteLocalRef) X(K, IsSameObject)      \
    X(K, NewLocalRef) X(T, EnsureLocalCapacity) X(T, AllocObject)                         \
    X(T, NewObject) X(T, NewObjectV) X(T, NewObjectA)                                     \
    X(K, GetObjectClass) X(K, IsInstanceOf) X(T, GetMethodID)                             \
    JNI_CALLS(X, Call) JNI_CALLS(X, CallNonvirtual)                                       \
    X(T, GetFieldID) JNI_TYPED(X, T, Get, Field) JNI_TYPED(X, T, Set, Field)              \
    X(T, GetStaticMethodID) JNI_CALLS(X, CallStatic)                                      \
    X(T, GetStaticFieldID) JNI_TYPED(X, T, GetStatic, Field) JNI_TYPED(X, T, SetStatic, Field) \
    X(T, NewString) X(K, GetStringLength) X(T, GetStringChars) X(T, ReleaseStringChars)   \
    X(K, NewStringUTF) X(K, GetStringUTFLength) X(K, GetStringUTFChars)                   \
    X(K, ReleaseStringUTFChars) X(K, GetArrayLength)                                      \
    X(T, NewObjectArray) X(T, GetObjectArrayElement) X(T, SetObjectArrayElement)          \
    JNI_PRIMS(X, T, New, Array) JNI_PRIMS(X, T, Get, ArrayElements)                       \
    JNI_PRIMS(X, T, Release, ArrayElements) JNI_PRIMS(X, K, Get, ArrayRegion)             \
    JNI_PRIMS(X, K, Set, ArrayRegion)                                                     \
    X(T, RegisterNatives) X(T, UnregisterNatives) X(K, MonitorEnter) X(K, MonitorExit)    \
    X(T, GetJavaVM) X(K, GetStringRegion) X(K, GetStringUTFRegion)                        \
    X(T, GetPrimitiveArrayCritical) X(T, ReleasePrimitiveArrayCritical)                   \
    X(T, GetStringCritical) X(T, ReleaseStringCritical)                                   \
    X(T, NewWeakGlobalRef) X(T, DeleteWeakGlobalRef) X(K, ExceptionCheck)                 \
    X(T, NewDirectByteBuffer) X(T, GetDirectBufferAddress) X(T, GetDirectBufferCapacity)  \
    X(T, GetObjectRefType)

enum jni_index {
#define X(k, name) JNI_##name,
    JNI_FUNCTIONS(X)
#undef X
    JNI_FUNCTION_COUNT
};
// Spot checks of the order against the specification's numbering.
static_assert(JNI_GetVersion == 4 && JNI_FindClass == 6 && JNI_Throw == 13);
static_assert(JNI_GetObjectClass == 31 && JNI_CallObjectMethod == 34 && JNI_GetFieldID == 94);
static_assert(JNI_GetStaticMethodID == 113 && JNI_NewString == 163 && JNI_GetArrayLength == 171);
static_assert(JNI_GetBooleanArrayRegion == 199 && JNI_SetBooleanArrayRegion == 207);
static_assert(JNI_MonitorEnter == 217 && JNI_ExceptionCheck == 228 && JNI_FUNCTION_COUNT == 233);

template <int N> void jni_trap()
{
    fprintf(stderr, "JNI function %d is not implemented by this VM\n", N);
    fflush(stderr);
    abort();
}

inline classblock* class_of_handle(jobject h) { return reinterpret_cast<classblock*>(vm_deref(h)); }
inline jobject class_ref(EE* ee, classblock* cb) { return vm_jni_ref(ee, reinterpret_cast<jref>(cb)); }

jint jni_GetVersion(EE* ee)
{
    return kJniVersion_1_2;
}

jobject jni_FindClass(EE* ee, const char* name)
{
    if (!name) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return nullptr;
    }
    return class_ref(ee, vm_find_class(ee, name, 1));
}

jobject jni_GetSuperclass(EE* ee, jobject clazz)
{
    classblock* cb = class_of_handle(clazz);
    if (!cb || (cb->access & ACC_INTERFACE) || (cb->state & CS_PRIMITIVE))
        return nullptr;
    return class_ref(ee, (cb->state & CS_ARRAY) ? vm_class_Object : cb->superclass);
}

jboolean jni_IsAssignableFrom(EE* ee, jobject sub, jobject sup)
{
    classblock* from = class_of_handle(sub);
    classblock* to = class_of_handle(sup);
    if (!from || !to)
        return 0;
    if ((from->state | to->state) & CS_PRIMITIVE)
        return from == to;
    return vm_is_subclass_of(from, to) ? 1 : 0;
}

jint jni_Throw(EE* ee, jobject obj)
{
    jref exc = vm_deref(obj);
    if (!exc)
        return kJniErr;
    vm_set_pending(ee, exc);
    return kJniOk;
}

jint jni_ThrowNew(EE* ee, jobject clazz, const char* message)
{
    classblock* cb = class_of_handle(clazz);
    if (!cb)
        return kJniErr;
    vm_throw(ee, cb->name, message);
    return kJniOk;
}

jobject jni_ExceptionOccurred(EE* ee)
{
    return vm_exception_pending(ee) ? vm_jni_ref(ee, vm_pending_exception(ee)) : nullptr;
}

// Prints the pending exception's stack trace on System.err and clears it.
void jni_ExceptionDescribe(EE* ee)
{
    if (!vm_exception_pending(ee))
        return;
    jref exc = vm_pending_exception(ee);
    vm_clear_pending(ee);
    vm_call_method(ee, exc, vm_class_of(exc), "printStackTrace", "()V", nullptr);
    vm_clear_pending(ee);
}

void jni_ExceptionClear(EE* ee)
{
    vm_clear_pending(ee);
}

void jni_FatalError(EE* ee, const char* message)
{
    fprintf(stderr, "FATAL ERROR in native method: %s\n", message ? message : "");
    fflush(stderr);
    abort();
}

void jni_DeleteLocalRef(EE* ee, jobject ref)
{
    // Local references live until the native returns.
}

jboolean jni_IsSameObject(EE* ee, jobject a, jobject b)
{
    return vm_deref(a) == vm_deref(b);
}

jobject jni_NewLocalRef(EE* ee, jobject ref)
{
    return vm_jni_ref(ee, vm_deref(ref));
}

jobject jni_GetObjectClass(EE* ee, jobject obj)
{
    jref o = vm_deref(obj);
    if (!o) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return nullptr;
    }
    return class_ref(ee, vm_class_of(o));
}

// A null reference is an instance of every class, as JNI defines it.
jboolean jni_IsInstanceOf(EE* ee, jobject obj, jobject clazz)
{
    jref o = vm_deref(obj);
    classblock* cb = class_of_handle(clazz);
    if (!o)
        return 1;
    return cb && vm_is_instance_of(o, cb) ? 1 : 0;
}

jsize jni_GetStringLength(EE* ee, jobject str)
{
    return vm_string_length(vm_deref(str));
}

jobject jni_NewStringUTF(EE* ee, const char* utf)
{
    if (!utf)
        return nullptr;
    return vm_jni_ref(ee, vm_new_string_utf(ee, utf));
}

// Modified UTF-8: U+0000 takes two bytes, every other unit one to three.
size_t utf_length(const u2* chars, s4 n)
{
    size_t k = 0;
    for (s4 i = 0; i < n; i++) {
        u2 c = chars[i];
        k += (c != 0 && c < 0x80) ? 1 : (c < 0x800 ? 2 : 3);
    }
    return k;
}

char* put_utf(const u2* chars, s4 n, char* p)
{
    for (s4 i = 0; i < n; i++) {
        u2 c = chars[i];
        if (c != 0 && c < 0x80) {
            *p++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    *p = 0;
    return p;
}

jsize jni_GetStringUTFLength(EE* ee, jobject str)
{
    jref s = vm_deref(str);
    return static_cast<jsize>(utf_length(vm_string_chars(s), vm_string_length(s)));
}

const char* jni_GetStringUTFChars(EE* ee, jobject str, jboolean* is_copy)
{
    jref s = vm_deref(str);
    const u2* chars = vm_string_chars(s);
    s4 n = vm_string_length(s);
    char* buf = static_cast<char*>(malloc(utf_length(chars, n) + 1));
    if (!buf) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return nullptr;
    }
    put_utf(chars, n, buf);
    if (is_copy)
        *is_copy = 1;
    return buf;
}

void jni_ReleaseStringUTFChars(EE* ee, jobject str, const char* chars)
{
    free(const_cast<char*>(chars));
}

bool string_range_ok(EE* ee, jref s, jsize start, jsize len)
{
    s4 n = vm_string_length(s);
    if (start < 0 || len < 0 || start > n - len) {
        vm_throwf(ee, "java/lang/StringIndexOutOfBoundsException", "%d", start < 0 ? start : start + len);
        return false;
    }
    return true;
}

void jni_GetStringRegion(EE* ee, jobject str, jsize start, jsize len, jchar* buf)
{
    jref s = vm_deref(str);
    if (string_range_ok(ee, s, start, len))
        memcpy(buf, vm_string_chars(s) + start, static_cast<size_t>(len) * sizeof(jchar));
}

void jni_GetStringUTFRegion(EE* ee, jobject str, jsize start, jsize len, char* buf)
{
    jref s = vm_deref(str);
    if (string_range_ok(ee, s, start, len))
        put_utf(vm_string_chars(s) + start, len, buf);
}

jsize jni_GetArrayLength(EE* ee, jobject array)
{
    return vm_array_length(vm_deref(array));
}

// The elements [start, start + len) of a primitive array of `type`, or 0
// with ArrayIndexOutOfBoundsException (or ArrayStoreException for an array
// of another kind, which would otherwise be overrun) pending.
void* region(EE* ee, jobject array, int type, jsize start, jsize len)
{
    jref a = vm_deref(array);
    if (!a) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return nullptr;
    }
    if (!vm_is_array(a) || vm_array_type(a) != type) {
        vm_throw(ee, "java/lang/ArrayStoreException", nullptr);
        return nullptr;
    }
    s4 n = vm_array_length(a);
    if (start < 0 || len < 0 || start > n - len) {
        vm_throwf(ee, "java/lang/ArrayIndexOutOfBoundsException", "%d", start < 0 ? start : start + len);
        return nullptr;
    }
    return static_cast<u1*>(vm_array_data(a)) + static_cast<u4>(start) * vm_type_size(type);
}

#define JNI_REGION(Name, ctype, type)                                                      \
    void jni_Get##Name##ArrayRegion(EE* ee, jobject array, jsize start, jsize len, ctype* buf) \
    {                                                                                      \
        if (void* p = region(ee, array, type, start, len))                                 \
            memcpy(buf, p, static_cast<size_t>(len) * sizeof(ctype));                      \
    }                                                                                      \
    void jni_Set##Name##ArrayRegion(EE* ee, jobject array, jsize start, jsize len,        \
                                    const ctype* buf)                                      \
    {                                                                                      \
        if (void* p = region(ee, array, type, start, len))                                 \
            memcpy(p, buf, static_cast<size_t>(len) * sizeof(ctype));                      \
    }

JNI_REGION(Boolean, jboolean, T_BOOLEAN)
JNI_REGION(Byte, jbyte, T_BYTE)
JNI_REGION(Char, jchar, T_CHAR)
JNI_REGION(Short, jshort, T_SHORT)
JNI_REGION(Int, jint, T_INT)
JNI_REGION(Long, jlong, T_LONG)
JNI_REGION(Float, jfloat, T_FLOAT)
JNI_REGION(Double, jdouble, T_DOUBLE)

#undef JNI_REGION

jint jni_MonitorEnter(EE* ee, jobject obj)
{
    jref o = vm_deref(obj);
    if (!o) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return kJniErr;
    }
    orva_monitorEnter2(ee, o);
    return kJniOk;
}

jint jni_MonitorExit(EE* ee, jobject obj)
{
    jref o = vm_deref(obj);
    if (!o) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return kJniErr;
    }
    return orva_monitorExit2(ee, o) ? kJniOk : kJniErr;
}

jboolean jni_ExceptionCheck(EE* ee)
{
    return vm_exception_pending(ee) ? 1 : 0;
}

}  // namespace

#define ENTRY_K(name) reinterpret_cast<const void*>(&jni_##name)
#define ENTRY_T(name) reinterpret_cast<const void*>(&jni_trap<JNI_##name>)
#define X(k, name) ENTRY_##k(name),

extern const void* const vm_jni_function_table[] = {
    JNI_FUNCTIONS(X)
};
static_assert(sizeof vm_jni_function_table / sizeof vm_jni_function_table[0] == JNI_FUNCTION_COUNT);

#undef X
#undef ENTRY_K
#undef ENTRY_T
