// jmath.cpp - the j* math functions (see jmath.h).
//
// Thin wrappers over the C library's libm, compiled with SSE2 double
// arithmetic.  The i386 libm computes several functions on the x87 and its
// results then depend on the precision-control bits of the caller's control
// word (with 24-bit precision control sin(0.7) is wrong in the 8th digit,
// and even 53-bit control changes asin in the last place).  Compiled Java
// code runs with 0x027F, and with 24-bit precision in float methods, so each
// wrapper runs the libm routine under the x87's default control word 0x037F
// (extended precision, round to nearest, all exceptions masked) and restores
// the caller's word afterwards.  The result is rounded to double when the
// wrapper stores it, which does not depend on precision control.
//
// floor, ceil, rint, fabs and sqrt need no libm: they are computed exactly
// on the bit pattern or with one SSE2 instruction.  pow follows the Java
// rules where C99 differs (a NaN exponent, and a base of magnitude 1 with an
// infinite or NaN exponent, give NaN).

#include "jmath.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint16_t kX87DefaultCw = 0x037F;   // extended precision, nearest, all masked

inline uint64_t bits_of(double x)
{
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double double_of(uint64_t b)
{
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// Sets the x87 control word libm expects; returns the caller's word.  The
// "memory" clobbers keep the libm call between the two control-word changes.
inline uint16_t x87_enter()
{
    uint16_t old;
    __asm__ volatile("fnstcw %0" : "=m"(old) : : "memory");
    if (old != kX87DefaultCw) {
        static const uint16_t cw = kX87DefaultCw;
        __asm__ volatile("fldcw %0" : : "m"(cw) : "memory");
    }
    return old;
}

// Puts the result in st(0) and then restores the caller's control word.  The
// load comes first: loading a double is exact on the processor, but qemu's
// x87 rounds loads to the precision in force, so a load after the restore
// would hand a 24-bit caller a rounded result there.
inline double x87_leave(uint16_t old, double r)
{
    double st0;
    __asm__ volatile("fldl %1\n\t"
                     "fldcw %2"
                     : "=t"(st0)
                     : "m"(r), "m"(old)
                     : "memory");
    return st0;
}

// GCC knows the libm functions as builtins that touch no memory and would
// move their calls across the control-word changes; calling through a
// pointer it cannot see through keeps the order.
template <typename F> inline F opaque(F fn)
{
    __asm__("" : "+r"(fn));
    return fn;
}

constexpr uint64_t kSignBit = 0x8000000000000000ull;
constexpr int kMantissaBits = 52;
constexpr int kExponentBias = 1023;

inline int unbiased_exponent(uint64_t b)
{
    return static_cast<int>((b >> kMantissaBits) & 0x7FF) - kExponentBias;
}

}  // namespace

// One-argument and two-argument libm wrappers under the default control word.
#define JMATH_WRAP1(jname, cname)                   \
    extern "C" double jname(double x)               \
    {                                               \
        double (*fn)(double) = cname;               \
        uint16_t cw = x87_enter();                  \
        double r = opaque(fn)(x);                   \
        return x87_leave(cw, r);                    \
    }
#define JMATH_WRAP2(jname, cname)                   \
    extern "C" double jname(double x, double y)     \
    {                                               \
        double (*fn)(double, double) = cname;       \
        uint16_t cw = x87_enter();                  \
        double r = opaque(fn)(x, y);                \
        return x87_leave(cw, r);                    \
    }

JMATH_WRAP1(jsin, std::sin)
JMATH_WRAP1(jcos, std::cos)
JMATH_WRAP1(jtan, std::tan)
JMATH_WRAP1(jasin, std::asin)
JMATH_WRAP1(jacos, std::acos)
JMATH_WRAP1(jatan, std::atan)
JMATH_WRAP1(jexp, std::exp)
JMATH_WRAP1(jlog, std::log)
JMATH_WRAP1(jlog10, std::log10)
JMATH_WRAP1(jsinh, std::sinh)
JMATH_WRAP1(jcosh, std::cosh)
JMATH_WRAP1(jtanh, std::tanh)
JMATH_WRAP1(jcbrt, std::cbrt)
JMATH_WRAP1(jexpm1, std::expm1)
JMATH_WRAP1(jlog1p, std::log1p)
JMATH_WRAP2(jatan2, std::atan2)
JMATH_WRAP2(jmod, std::fmod)
JMATH_WRAP2(jremainder, std::remainder)
JMATH_WRAP2(jhypot, std::hypot)

#undef JMATH_WRAP1
#undef JMATH_WRAP2

extern "C" double jpow(double x, double y)
{
    // C99 answers 1 for pow(1, y) with any y and for pow(-1, +-inf); Java
    // answers NaN whenever y is NaN, and for |x| == 1 with y infinite.
    double (*fn)(double, double) = std::pow;
    uint16_t cw = x87_enter();
    double r;
    if (y != y)
        r = y;
    else if ((x == 1.0 || x == -1.0) && (y == INFINITY || y == -INFINITY))
        r = NAN;
    else
        r = opaque(fn)(x, y);
    return x87_leave(cw, r);
}

// The functions below compute in SSE2 or on the bits and need no particular
// control word; they still load their result under the default word, for the
// reason given at x87_leave.

extern "C" double jsqrt(double x)
{
    uint16_t cw = x87_enter();
    double r;
    __asm__("sqrtsd %1, %0" : "=x"(r) : "x"(x));
    return x87_leave(cw, r);
}

extern "C" double jfabs(double x)
{
    uint16_t cw = x87_enter();
    return x87_leave(cw, double_of(bits_of(x) & ~kSignBit));
}

namespace {

// floor and ceil clear the fraction bits, first stepping one unit away from
// zero when the value lies on the side being rounded towards and has a
// fraction.  A carry out of the mantissa correctly bumps the exponent.
double floor_bits(double x)
{
    uint64_t b = bits_of(x);
    int e = unbiased_exponent(b);
    if (e >= kMantissaBits)
        return x;                               // integral, infinite or NaN
    if (e < 0) {
        if ((b & ~kSignBit) == 0)
            return x;                           // +-0
        return (b & kSignBit) ? -1.0 : 0.0;
    }
    uint64_t frac = (1ull << (kMantissaBits - e)) - 1;
    if ((b & frac) == 0)
        return x;
    if (b & kSignBit)
        b += frac + 1;
    return double_of(b & ~frac);
}

double ceil_bits(double x)
{
    uint64_t b = bits_of(x);
    int e = unbiased_exponent(b);
    if (e >= kMantissaBits)
        return x;
    if (e < 0) {
        if ((b & ~kSignBit) == 0)
            return x;
        return (b & kSignBit) ? -0.0 : 1.0;     // (-1, 0) rounds to -0.0
    }
    uint64_t frac = (1ull << (kMantissaBits - e)) - 1;
    if ((b & frac) == 0)
        return x;
    if (!(b & kSignBit))
        b += frac + 1;
    return double_of(b & ~frac);
}

// Round half to even.  Below 2^52 adding and subtracting 2^52 in SSE2 double
// arithmetic rounds the magnitude to an integer exactly that way; the sign
// is put back afterwards so that -0.3 gives -0.0.
double rint_sse(double x)
{
    uint64_t b = bits_of(x);
    int e = unbiased_exponent(b);
    if (e >= kMantissaBits)
        return x;
    volatile double two52 = 4503599627370496.0;
    volatile double m = double_of(b & ~kSignBit) + two52;
    double r = m - two52;
    return double_of(bits_of(r) | (b & kSignBit));
}

}  // namespace

extern "C" double jfloor(double x)
{
    uint16_t cw = x87_enter();
    return x87_leave(cw, floor_bits(x));
}

extern "C" double jceil(double x)
{
    uint16_t cw = x87_enter();
    return x87_leave(cw, ceil_bits(x));
}

extern "C" double jrint(double x)
{
    uint16_t cw = x87_enter();
    return x87_leave(cw, rint_sse(x));
}
