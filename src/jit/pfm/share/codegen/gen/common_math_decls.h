// The math-library functions of the VM (cdecl, double arguments on the
// stack, result in st(0)) that compiled code calls directly.  Weak: the
// compiler library does not link them; they resolve against the VM that
// loads it, and a missing one reads as null (the call is not replaced).
#ifndef ORVA_CODEGEN_COMMON_MATH_DECLS_H
#define ORVA_CODEGEN_COMMON_MATH_DECLS_H

#define ORVA_JMATH1(X) X(jsin) X(jcos) X(jtan) X(jasin) X(jacos) X(jatan) X(jexp) X(jrint) X(jfloor) \
    X(jceil) X(jlog) X(jsqrt) X(jcosh) X(jsinh) X(jtanh) X(jlog10) X(jfabs)
#define ORVA_JMATH2(X) X(jpow) X(jatan2) X(jremainder) X(jmod)

extern "C" {
#define X(f) __attribute__((weak)) double f(double);
ORVA_JMATH1(X)
#undef X
#define X(f) __attribute__((weak)) double f(double, double);
ORVA_JMATH2(X)
#undef X
}

#endif // ORVA_CODEGEN_COMMON_MATH_DECLS_H
