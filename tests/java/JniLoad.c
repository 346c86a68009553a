/* The natives of JniLoad.java, built as liborvajni.so beside the corpus
 * classes (the default java.library.path is the class path).  The JNI
 * environment is used through its function table by position, as every JNI
 * implementation lays it out, so the file needs no JNI header. */
#include <stdint.h>

typedef int32_t jint;
typedef int64_t jlong;
typedef double jdouble;
typedef void* jobject;
typedef void** JNIEnv;     /* an env is a pointer to the function table */

/* Positions in the JNI function table. */
enum {
    JNI_FIND_CLASS = 6,
    JNI_THROW_NEW = 14,
    JNI_NEW_STRING_UTF = 167,
    JNI_GET_STRING_UTF_CHARS = 169,
    JNI_RELEASE_STRING_UTF_CHARS = 170,
    JNI_GET_ARRAY_LENGTH = 171,
    JNI_GET_INT_ARRAY_REGION = 203,
    JNI_SET_INT_ARRAY_REGION = 211,
};

#define FN(env, index, type) ((type)(*(env))[index])

typedef jobject (*find_class_fn)(JNIEnv*, const char*);
typedef jint (*throw_new_fn)(JNIEnv*, jobject, const char*);
typedef jobject (*new_string_utf_fn)(JNIEnv*, const char*);
typedef const char* (*get_string_utf_chars_fn)(JNIEnv*, jobject, unsigned char*);
typedef void (*release_string_utf_chars_fn)(JNIEnv*, jobject, const char*);
typedef jint (*get_array_length_fn)(JNIEnv*, jobject);
typedef void (*int_array_region_fn)(JNIEnv*, jobject, jint, jint, jint*);

/* static int add(int, int): the short name. */
jint Java_JniLoad_add(JNIEnv* env, jobject cls, jint a, jint b)
{
    return a + b;
}

/* Overloads: the long names with the mangled argument types. */
jint Java_JniLoad_scale__I(JNIEnv* env, jobject cls, jint x)
{
    return x * 10;
}

jdouble Java_JniLoad_scale__D(JNIEnv* env, jobject cls, jdouble x)
{
    return x * 0.5;
}

/* static long mix(long, int, long): 64-bit arguments and result. */
jlong Java_JniLoad_mix(JNIEnv* env, jobject cls, jlong a, jint b, jlong c)
{
    return a * b - c;
}

/* "_" in a method name is escaped as "_1". */
jint Java_JniLoad_under_1score(JNIEnv* env, jobject self)
{
    return 42;
}

/* String greet(String): an instance method using strings. */
jobject Java_JniLoad_greet(JNIEnv* env, jobject self, jobject name)
{
    char buf[128] = "hello, ";
    const char* s = FN(env, JNI_GET_STRING_UTF_CHARS, get_string_utf_chars_fn)(env, name, 0);
    int n = 7;
    for (int i = 0; s[i] && n < (int)sizeof buf - 2; i++)
        buf[n++] = s[i];
    buf[n++] = '!';
    buf[n] = 0;
    FN(env, JNI_RELEASE_STRING_UTF_CHARS, release_string_utf_chars_fn)(env, name, s);
    return FN(env, JNI_NEW_STRING_UTF, new_string_utf_fn)(env, buf);
}

/* static int sumAndSquare(int[]): reads the array, writes squares back. */
jint Java_JniLoad_sumAndSquare(JNIEnv* env, jobject cls, jobject array)
{
    jint n = FN(env, JNI_GET_ARRAY_LENGTH, get_array_length_fn)(env, array);
    jint buf[64];
    if (n > 64)
        n = 64;
    FN(env, JNI_GET_INT_ARRAY_REGION, int_array_region_fn)(env, array, 0, n, buf);
    jint sum = 0;
    for (jint i = 0; i < n; i++) {
        sum += buf[i];
        buf[i] *= buf[i];
    }
    FN(env, JNI_SET_INT_ARRAY_REGION, int_array_region_fn)(env, array, 0, n, buf);
    return sum;
}

/* static void fail(String): throws IllegalStateException with the text. */
void Java_JniLoad_fail(JNIEnv* env, jobject cls, jobject message)
{
    const char* s = FN(env, JNI_GET_STRING_UTF_CHARS, get_string_utf_chars_fn)(env, message, 0);
    jobject ise = FN(env, JNI_FIND_CLASS, find_class_fn)(env, "java/lang/IllegalStateException");
    FN(env, JNI_THROW_NEW, throw_new_fn)(env, ise, s);
    FN(env, JNI_RELEASE_STRING_UTF_CHARS, release_string_utf_chars_fn)(env, message, s);
}
