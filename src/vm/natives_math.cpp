// natives_math.cpp - natives of java.lang.Math, java.lang.StrictMath,
// java.lang.Float and java.lang.Double.
//
// Math and StrictMath call the same j* functions that compiled code calls
// directly (jmath.h), so a method computes the same result interpreted and
// compiled.  The raw-bits conversions move bits without touching the x87
// (a float or double result still travels in st(0), as the native
// convention requires).  toString and parse* use the EE-free conversions of
// natives_fpconv.cpp and add the Java objects and exceptions.

#include <cstdlib>
#include <cstring>

#include "jmath.h"
#include "vm.h"

namespace {

// Math.sin(D)D and friends: fn(env, class, double).
#define MATH1(jname, cfn)                                   \
    double jname(EE* ee, jhandle cls, double a)             \
    {                                                       \
        return cfn(a);                                      \
    }
#define MATH2(jname, cfn)                                   \
    double jname(EE* ee, jhandle cls, double a, double b)   \
    {                                                       \
        return cfn(a, b);                                   \
    }

MATH1(Math_sin, jsin)
MATH1(Math_cos, jcos)
MATH1(Math_tan, jtan)
MATH1(Math_asin, jasin)
MATH1(Math_acos, jacos)
MATH1(Math_atan, jatan)
MATH1(Math_exp, jexp)
MATH1(Math_log, jlog)
MATH1(Math_log10, jlog10)
MATH1(Math_sqrt, jsqrt)
MATH1(Math_cbrt, jcbrt)
MATH1(Math_ceil, jceil)
MATH1(Math_floor, jfloor)
MATH1(Math_rint, jrint)
MATH1(Math_sinh, jsinh)
MATH1(Math_cosh, jcosh)
MATH1(Math_tanh, jtanh)
MATH1(Math_expm1, jexpm1)
MATH1(Math_log1p, jlog1p)
MATH2(Math_atan2, jatan2)
MATH2(Math_pow, jpow)
MATH2(Math_IEEEremainder, jremainder)
MATH2(Math_hypot, jhypot)

#undef MATH1
#undef MATH2

// ---------------------------------------------------------------------------
// Float and Double bits
// ---------------------------------------------------------------------------

int64_t Double_doubleToRawLongBits(EE* ee, jhandle cls, double d)
{
    int64_t bits;
    memcpy(&bits, &d, sizeof bits);
    return bits;
}

double Double_longBitsToDouble(EE* ee, jhandle cls, int64_t bits)
{
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

s4 Float_floatToRawIntBits(EE* ee, jhandle cls, float f)
{
    s4 bits;
    memcpy(&bits, &f, sizeof bits);
    return bits;
}

float Float_intBitsToFloat(EE* ee, jhandle cls, s4 bits)
{
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

// ---------------------------------------------------------------------------
// toString and parsing
// ---------------------------------------------------------------------------

jhandle Double_toString(EE* ee, jhandle cls, double d)
{
    char buf[VM_FP_TEXT_MAX];
    vm_double_to_string(d, buf);
    return vm_jni_ref(ee, vm_new_string_utf(ee, buf));
}

jhandle Float_toString(EE* ee, jhandle cls, float f)
{
    char buf[VM_FP_TEXT_MAX];
    vm_float_to_string(f, buf);
    return vm_jni_ref(ee, vm_new_string_utf(ee, buf));
}

// Modified UTF-8 of chars[0..n) in a malloc'd buffer, for the message.
char* utf8_of_chars(const u2* chars, s4 n)
{
    char* buf = static_cast<char*>(malloc(static_cast<size_t>(n) * 3 + 1));
    if (!buf)
        return nullptr;
    char* p = buf;
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
    return buf;
}

// NullPointerException for null; NumberFormatException "empty String" for
// blank text, "multiple points" for a second point among the leading digits,
// `For input string: "<trimmed text>"` for anything else that is not a Java
// floating-point literal.
bool parse_fp(EE* ee, jhandle text, bool is_float, double* d, float* f)
{
    jref s = vm_deref(text);
    if (!s) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return false;
    }
    const u2* chars = vm_string_chars(s);
    s4 n = vm_string_length(s);
    s4 b = 0, e = 0;
    int rc = is_float ? vm_parse_float(chars, n, f, &b, &e) : vm_parse_double(chars, n, d, &b, &e);
    if (rc == FP_PARSE_OK)
        return true;
    if (rc == FP_PARSE_EMPTY || rc == FP_PARSE_MULTIPLE_POINTS) {
        vm_throw(ee, "java/lang/NumberFormatException",
                 rc == FP_PARSE_EMPTY ? "empty String" : "multiple points");
        return false;
    }
    char* quoted = utf8_of_chars(chars + b, e - b);
    vm_throwf(ee, "java/lang/NumberFormatException", "For input string: \"%s\"", quoted ? quoted : "");
    free(quoted);
    return false;
}

double Double_parseDouble(EE* ee, jhandle cls, jhandle text)
{
    double d = 0;
    return parse_fp(ee, text, false, &d, nullptr) ? d : 0.0;
}

float Float_parseFloat(EE* ee, jhandle cls, jhandle text)
{
    float f = 0;
    return parse_fp(ee, text, true, nullptr, &f) ? f : 0.0f;
}

}  // namespace

#define N(cls, name, sig, fn) {cls, name, sig, reinterpret_cast<void*>(fn)}
#define MATH_NATIVES(cls)                                                   \
    N(cls, "sin", "(D)D", Math_sin),                                        \
    N(cls, "cos", "(D)D", Math_cos),                                        \
    N(cls, "tan", "(D)D", Math_tan),                                        \
    N(cls, "asin", "(D)D", Math_asin),                                      \
    N(cls, "acos", "(D)D", Math_acos),                                      \
    N(cls, "atan", "(D)D", Math_atan),                                      \
    N(cls, "exp", "(D)D", Math_exp),                                        \
    N(cls, "log", "(D)D", Math_log),                                        \
    N(cls, "log10", "(D)D", Math_log10),                                    \
    N(cls, "sqrt", "(D)D", Math_sqrt),                                      \
    N(cls, "cbrt", "(D)D", Math_cbrt),                                      \
    N(cls, "ceil", "(D)D", Math_ceil),                                      \
    N(cls, "floor", "(D)D", Math_floor),                                    \
    N(cls, "rint", "(D)D", Math_rint),                                      \
    N(cls, "sinh", "(D)D", Math_sinh),                                      \
    N(cls, "cosh", "(D)D", Math_cosh),                                      \
    N(cls, "tanh", "(D)D", Math_tanh),                                      \
    N(cls, "expm1", "(D)D", Math_expm1),                                    \
    N(cls, "log1p", "(D)D", Math_log1p),                                    \
    N(cls, "atan2", "(DD)D", Math_atan2),                                   \
    N(cls, "pow", "(DD)D", Math_pow),                                       \
    N(cls, "IEEEremainder", "(DD)D", Math_IEEEremainder),                   \
    N(cls, "hypot", "(DD)D", Math_hypot)

const vm_native vm_natives_math[] = {
    MATH_NATIVES("java/lang/Math"),
    MATH_NATIVES("java/lang/StrictMath"),
    N("java/lang/Double", "doubleToRawLongBits", "(D)J", Double_doubleToRawLongBits),
    N("java/lang/Double", "longBitsToDouble", "(J)D", Double_longBitsToDouble),
    N("java/lang/Double", "toString", "(D)Ljava/lang/String;", Double_toString),
    N("java/lang/Double", "parseDouble", "(Ljava/lang/String;)D", Double_parseDouble),
    N("java/lang/Float", "floatToRawIntBits", "(F)I", Float_floatToRawIntBits),
    N("java/lang/Float", "intBitsToFloat", "(I)F", Float_intBitsToFloat),
    N("java/lang/Float", "toString", "(F)Ljava/lang/String;", Float_toString),
    N("java/lang/Float", "parseFloat", "(Ljava/lang/String;)F", Float_parseFloat),
    {nullptr, nullptr, nullptr, nullptr},
};

#undef MATH_NATIVES
#undef N
