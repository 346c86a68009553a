package java.lang;

/**
 * Elementary functions.  The transcendental functions are natives that call
 * the same fdlibm port as compiled code, so interpreted and compiled results
 * agree; abs, max, min, round and the rest are Java (compiled code replaces
 * some of them by operators with the same results).
 */
public final class Math {
    private Math() {}

    public static final double E = 2.7182818284590452354;
    public static final double PI = 3.14159265358979323846;

    private static final long NEGATIVE_ZERO_DOUBLE_BITS = 0x8000000000000000L;
    private static final int NEGATIVE_ZERO_FLOAT_BITS = 0x80000000;

    public static int abs(int a) {
        return (a < 0) ? -a : a;
    }

    public static long abs(long a) {
        return (a < 0) ? -a : a;
    }

    public static float abs(float a) {
        return (a <= 0.0F) ? 0.0F - a : a;
    }

    public static double abs(double a) {
        return (a <= 0.0D) ? 0.0D - a : a;
    }

    public static int max(int a, int b) {
        return (a >= b) ? a : b;
    }

    public static long max(long a, long b) {
        return (a >= b) ? a : b;
    }

    public static float max(float a, float b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0f && b == 0.0f && Float.floatToRawIntBits(a) == NEGATIVE_ZERO_FLOAT_BITS) {
            return b;
        }
        return (a >= b) ? a : b;
    }

    public static double max(double a, double b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0d && b == 0.0d && Double.doubleToRawLongBits(a) == NEGATIVE_ZERO_DOUBLE_BITS) {
            return b;
        }
        return (a >= b) ? a : b;
    }

    public static int min(int a, int b) {
        return (a <= b) ? a : b;
    }

    public static long min(long a, long b) {
        return (a <= b) ? a : b;
    }

    public static float min(float a, float b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0f && b == 0.0f && Float.floatToRawIntBits(b) == NEGATIVE_ZERO_FLOAT_BITS) {
            return b;
        }
        return (a <= b) ? a : b;
    }

    public static double min(double a, double b) {
        if (a != a) {
            return a;
        }
        if (a == 0.0d && b == 0.0d && Double.doubleToRawLongBits(b) == NEGATIVE_ZERO_DOUBLE_BITS) {
            return b;
        }
        return (a <= b) ? a : b;
    }

    /** floor(a + 1/2) computed exactly; NaN gives 0, out of range saturates. */
    public static long round(double a) {
        if (a != a) {
            return 0L;
        }
        if (!(a > -4503599627370496.0 && a < 4503599627370496.0)) {
            return (long) a;                  // already integral (or infinite)
        }
        double f = floor(a);
        if (a - f >= 0.5) {                   // exact: see the note below
            f += 1.0;
        }
        // For |a| >= 1, a - floor(a) is exact; for -1 < a < 0 it is a + 1,
        // whose rounding cannot cross 0.5 because no double lies within
        // half an ulp of -0.5 on the far side.
        return (long) f;
    }

    public static int round(float a) {
        if (a != a) {
            return 0;
        }
        // (double) a + 0.5 is exact for every float below 2^52.
        return (int) floor((double) a + 0.5);
    }

    public static double signum(double d) {
        return (d == 0.0 || d != d) ? d : (d > 0.0 ? 1.0 : -1.0);
    }

    public static float signum(float f) {
        return (f == 0.0f || f != f) ? f : (f > 0.0f ? 1.0f : -1.0f);
    }

    private static final double DEGREES_TO_RADIANS = 0.017453292519943295;
    private static final double RADIANS_TO_DEGREES = 57.29577951308232;

    public static double toRadians(double angdeg) {
        return angdeg * DEGREES_TO_RADIANS;
    }

    public static double toDegrees(double angrad) {
        return angrad * RADIANS_TO_DEGREES;
    }

    public static double copySign(double magnitude, double sign) {
        long s = Double.doubleToRawLongBits(sign) & NEGATIVE_ZERO_DOUBLE_BITS;
        long m = Double.doubleToRawLongBits(magnitude) & ~NEGATIVE_ZERO_DOUBLE_BITS;
        return Double.longBitsToDouble(s | m);
    }

    public static float copySign(float magnitude, float sign) {
        int s = Float.floatToRawIntBits(sign) & NEGATIVE_ZERO_FLOAT_BITS;
        int m = Float.floatToRawIntBits(magnitude) & ~NEGATIVE_ZERO_FLOAT_BITS;
        return Float.intBitsToFloat(s | m);
    }

    /** d * 2^scaleFactor, in steps that stay exact until the last one. */
    public static double scalb(double d, int scaleFactor) {
        if (scaleFactor > 2100) {
            scaleFactor = 2100;
        } else if (scaleFactor < -2100) {
            scaleFactor = -2100;
        }
        while (scaleFactor > 512) {
            d *= 0x1.0p512;
            scaleFactor -= 512;
        }
        while (scaleFactor < -512) {
            d *= 0x1.0p-512;
            scaleFactor += 512;
        }
        return d * Double.longBitsToDouble((long) (scaleFactor + 1023) << 52);
    }

    public static double hypot(double x, double y) {
        if (Double.isInfinite(x) || Double.isInfinite(y)) {
            return Double.POSITIVE_INFINITY;
        }
        if (x != x || y != y) {
            return Double.NaN;
        }
        x = abs(x);
        y = abs(y);
        // Scale by a power of two (exact) so that the squares neither
        // overflow nor lose bits to underflow, then undo the scaling.
        double big = max(x, y);
        int shift = 0;
        if (big > 0x1.0p500) {
            shift = 600;
        } else if (big < 0x1.0p-500) {
            shift = -600;
        }
        if (shift != 0) {
            x = scalb(x, -shift);
            y = scalb(y, -shift);
        }
        return scalb(sqrt(x * x + y * y), shift);
    }

    public static double log1p(double x) {
        double u = 1.0 + x;
        if (u == 1.0) {
            return x;
        }
        return log(u) * x / (u - 1.0);
    }

    public static double expm1(double x) {
        if (abs(x) < 1e-5) {
            return x + x * x / 2.0 + x * x * x / 6.0;
        }
        return exp(x) - 1.0;
    }

    public static double ulp(double d) {
        if (d != d) {
            return d;
        }
        if (Double.isInfinite(d)) {
            return Double.POSITIVE_INFINITY;
        }
        d = abs(d);
        if (d == Double.MAX_VALUE) {
            return 0x1.0p971;
        }
        long bits = Double.doubleToRawLongBits(d);
        return Double.longBitsToDouble(bits + 1) - d;
    }

    /** The distance from |f| to the next float away from zero (2^104 at Float.MAX_VALUE). */
    public static float ulp(float f) {
        if (f != f) {
            return f;
        }
        if (Float.isInfinite(f)) {
            return Float.POSITIVE_INFINITY;
        }
        f = abs(f);
        if (f == Float.MAX_VALUE) {
            return 0x1.0p104f;
        }
        int bits = Float.floatToRawIntBits(f);
        return Float.intBitsToFloat(bits + 1) - f;
    }

    /** Unbiased exponent; MAX_EXPONENT + 1 for NaN and infinities, MIN_EXPONENT - 1 for zero and subnormals. */
    public static int getExponent(double d) {
        return (int) ((Double.doubleToRawLongBits(d) >>> 52) & 0x7FF) - 1023;
    }

    public static int getExponent(float f) {
        return ((Float.floatToRawIntBits(f) >>> 23) & 0xFF) - 127;
    }

    // The neighbours of a finite value are one step of its bit pattern away:
    // toward larger magnitude for the sign's direction.  Both zeros step to
    // the smallest subnormal of the direction's sign.

    public static double nextUp(double d) {
        if (d != d || d == Double.POSITIVE_INFINITY) {
            return d;
        }
        if (d == 0.0) {
            return Double.MIN_VALUE;
        }
        long bits = Double.doubleToRawLongBits(d);
        return Double.longBitsToDouble(d > 0.0 ? bits + 1 : bits - 1);
    }

    public static float nextUp(float f) {
        if (f != f || f == Float.POSITIVE_INFINITY) {
            return f;
        }
        if (f == 0.0f) {
            return Float.MIN_VALUE;
        }
        int bits = Float.floatToRawIntBits(f);
        return Float.intBitsToFloat(f > 0.0f ? bits + 1 : bits - 1);
    }

    public static double nextDown(double d) {
        if (d != d || d == Double.NEGATIVE_INFINITY) {
            return d;
        }
        if (d == 0.0) {
            return -Double.MIN_VALUE;
        }
        long bits = Double.doubleToRawLongBits(d);
        return Double.longBitsToDouble(d > 0.0 ? bits - 1 : bits + 1);
    }

    public static float nextDown(float f) {
        if (f != f || f == Float.NEGATIVE_INFINITY) {
            return f;
        }
        if (f == 0.0f) {
            return -Float.MIN_VALUE;
        }
        int bits = Float.floatToRawIntBits(f);
        return Float.intBitsToFloat(f > 0.0f ? bits - 1 : bits + 1);
    }

    /** The neighbour of start toward direction; direction itself when they compare equal (so the sign of zero comes from direction). */
    public static double nextAfter(double start, double direction) {
        if (start > direction) {
            return nextDown(start);
        }
        if (start < direction) {
            return nextUp(start);
        }
        if (start == direction) {
            return direction;
        }
        return start + direction;
    }

    public static float nextAfter(float start, double direction) {
        if (start > direction) {
            return nextDown(start);
        }
        if (start < direction) {
            return nextUp(start);
        }
        if (start == direction) {
            return (float) direction;
        }
        return start + (float) direction;
    }

    public static int incrementExact(int a) {
        if (a == Integer.MAX_VALUE) {
            throw new ArithmeticException("integer overflow");
        }
        return a + 1;
    }

    public static long incrementExact(long a) {
        if (a == Long.MAX_VALUE) {
            throw new ArithmeticException("long overflow");
        }
        return a + 1L;
    }

    public static int decrementExact(int a) {
        if (a == Integer.MIN_VALUE) {
            throw new ArithmeticException("integer overflow");
        }
        return a - 1;
    }

    public static long decrementExact(long a) {
        if (a == Long.MIN_VALUE) {
            throw new ArithmeticException("long overflow");
        }
        return a - 1L;
    }

    public static int addExact(int x, int y) {
        int r = x + y;
        if (((x ^ r) & (y ^ r)) < 0) {
            throw new ArithmeticException("integer overflow");
        }
        return r;
    }

    public static long addExact(long x, long y) {
        long r = x + y;
        if (((x ^ r) & (y ^ r)) < 0) {
            throw new ArithmeticException("long overflow");
        }
        return r;
    }

    public static int subtractExact(int x, int y) {
        int r = x - y;
        if (((x ^ y) & (x ^ r)) < 0) {
            throw new ArithmeticException("integer overflow");
        }
        return r;
    }

    public static long subtractExact(long x, long y) {
        long r = x - y;
        if (((x ^ y) & (x ^ r)) < 0) {
            throw new ArithmeticException("long overflow");
        }
        return r;
    }

    public static int multiplyExact(int x, int y) {
        long r = (long) x * (long) y;
        if ((int) r != r) {
            throw new ArithmeticException("integer overflow");
        }
        return (int) r;
    }

    public static long multiplyExact(long x, long y) {
        long r = x * y;
        long ax = abs(x);
        long ay = abs(y);
        if (((ax | ay) >>> 31 != 0)) {
            if (((y != 0) && (r / y != x)) || (x == Long.MIN_VALUE && y == -1)) {
                throw new ArithmeticException("long overflow");
            }
        }
        return r;
    }

    public static int negateExact(int a) {
        if (a == Integer.MIN_VALUE) {
            throw new ArithmeticException("integer overflow");
        }
        return -a;
    }

    public static long negateExact(long a) {
        if (a == Long.MIN_VALUE) {
            throw new ArithmeticException("long overflow");
        }
        return -a;
    }

    public static int toIntExact(long value) {
        if ((int) value != value) {
            throw new ArithmeticException("integer overflow");
        }
        return (int) value;
    }

    public static int floorDiv(int x, int y) {
        int r = x / y;
        if ((x ^ y) < 0 && (r * y != x)) {
            r--;
        }
        return r;
    }

    public static long floorDiv(long x, long y) {
        long r = x / y;
        if ((x ^ y) < 0 && (r * y != x)) {
            r--;
        }
        return r;
    }

    public static int floorMod(int x, int y) {
        return x - floorDiv(x, y) * y;
    }

    public static long floorMod(long x, long y) {
        return x - floorDiv(x, y) * y;
    }

    // ---- natives: the shared fdlibm port ----

    public static native double sin(double a);

    public static native double cos(double a);

    public static native double tan(double a);

    public static native double asin(double a);

    public static native double acos(double a);

    public static native double atan(double a);

    public static native double exp(double a);

    public static native double log(double a);

    public static native double log10(double a);

    public static native double sqrt(double a);

    public static native double cbrt(double a);

    public static native double ceil(double a);

    public static native double floor(double a);

    public static native double rint(double a);

    public static native double sinh(double a);

    public static native double cosh(double a);

    public static native double tanh(double a);

    public static native double atan2(double y, double x);

    public static native double pow(double a, double b);

    public static native double IEEEremainder(double f1, double f2);

    private static java.util.Random randomGenerator;

    public static double random() {
        java.util.Random r = randomGenerator;
        if (r == null) {
            synchronized (Math.class) {
                r = randomGenerator;
                if (r == null) {
                    r = new java.util.Random();
                    randomGenerator = r;
                }
            }
        }
        return r.nextDouble();
    }
}
