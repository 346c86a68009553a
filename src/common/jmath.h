/*
 * jmath.h - the math functions that compiled code, the compiler's constant
 * folder and the VM's Math/StrictMath natives share.
 *
 * Generated code calls these directly (cdecl, arguments on the stack with
 * only 4-byte alignment, result in st(0)), so one implementation gives the
 * same result whether a method is interpreted or compiled.  Every function
 * is independent of the caller's x87 control word (compiled code may call
 * them while running with 24-bit precision control) and follows the Java
 * special-case rules where the C library's answer differs.
 */
#ifndef ORVA_JMATH_H
#define ORVA_JMATH_H

#ifdef __cplusplus
extern "C" {
#endif

double jsin(double x);
double jcos(double x);
double jtan(double x);
double jasin(double x);
double jacos(double x);
double jatan(double x);
double jatan2(double y, double x);
double jexp(double x);
double jlog(double x);
double jlog10(double x);
double jpow(double x, double y);
double jsqrt(double x);
double jceil(double x);
double jfloor(double x);
double jrint(double x);
double jfabs(double x);
double jmod(double x, double y);        /* C fmod: Java's % on doubles */
double jremainder(double x, double y);  /* IEEE 754 remainder: Math.IEEEremainder */
double jsinh(double x);
double jcosh(double x);
double jtanh(double x);
double jcbrt(double x);
double jexpm1(double x);
double jlog1p(double x);
double jhypot(double x, double y);

#ifdef __cplusplus
}
#endif

#endif /* ORVA_JMATH_H */
