// Conversions at their edges and long arithmetic (shifts, division by
// MIN_VALUE and -1, max/min), Math functions on special arguments.
public class NumConvEdges {
    static int d2i(double d) { return (int) d; }
    static long d2l(double d) { return (long) d; }
    static int f2i(float f) { return (int) f; }
    static long f2l(float f) { return (long) f; }
    static float l2f(long l) { return (float) l; }
    static double l2d(long l) { return (double) l; }
    static float i2f(int i) { return (float) i; }
    static long i2l(int i) { return i; }
    static int l2i(long l) { return (int) l; }
    static double idd(double a) { return a; }
    static double mid(int x, double a, long y, double b) { return a - b + x + y; }
    static long ldiv(long a, long b) { return a / b; }
    static long lrem(long a, long b) { return a % b; }
    static long ldivi(long a, int b) { return a / b; }
    static long lremi(long a, int b) { return a % b; }
    static long shl(long a, long s) { return a << s; }
    static long shr(long a, long s) { return a >> s; }
    static long ushr(long a, int s) { return a >>> s; }
    static long lmax(long a, long b) { return Math.max(a, b); }
    static long lmin(long a, long b) { return Math.min(a, b); }
    static float fsum(long a, float b) { return (float) a + b; }

    public static void main(String[] args) {
        double[] ds = {0.0, -0.0, 2.5, -2.5, 3.7, -3.7, Double.NaN, Double.POSITIVE_INFINITY,
                       Double.NEGATIVE_INFINITY, 2147483647.0, 2147483648.0, -2147483648.0, -2147483649.0,
                       9.2233720368547748e18, -9.223372036854775808e18, -9.2233720368547738e18, 1e19, -1e19,
                       4.9e-324, 0.9999999999999999};
        for (double d : ds)
            System.out.println("d " + d + " -> " + d2i(d) + " " + d2l(d) + " " + f2i((float) d) + " " + f2l((float) d));
        long[] ls = {0, 1, -1, Integer.MAX_VALUE, Integer.MIN_VALUE, 2147483648L, -2147483649L,
                     (1L << 53) + 1, (1L << 24) + 1, Long.MAX_VALUE, Long.MIN_VALUE, 0x123456789ABCDEFL};
        for (long l : ls)
            System.out.println("l " + l + " -> " + l2f(l) + " " + l2d(l) + " " + l2i(l) + " " + fsum(l, 1.0f));
        int[] is = {0, -1, 16777217, -16777217, Integer.MAX_VALUE, Integer.MIN_VALUE};
        for (int i : is)
            System.out.println("i " + i + " -> " + i2f(i) + " " + i2l(i) + " " + (i2f(i) + 1.0f));
        System.out.println(idd(1.5) + " " + idd(-0.0) + " " + mid(3, 10.5, 7L, 0.25));
        long[] as = {0, 7, -7, 100, Long.MAX_VALUE, Long.MIN_VALUE, 0x7FFFFFFFFFFFFFFFL, 1L << 40, -(1L << 40)};
        long[] bs = {1, -1, 3, -3, 7, Integer.MIN_VALUE, Integer.MAX_VALUE, Long.MIN_VALUE, 1L << 33, -(1L << 33)};
        for (long a : as)
            for (long b : bs)
                System.out.println(a + " / " + b + " = " + ldiv(a, b) + " r " + lrem(a, b)
                                   + (b == (int) b ? " int " + ldivi(a, (int) b) + " r " + lremi(a, (int) b) : ""));
        try {
            System.out.println(ldiv(5, 0));
        } catch (ArithmeticException e) {
            System.out.println("div0 " + e.getMessage());
        }
        try {
            System.out.println(lremi(5, 0));
        } catch (ArithmeticException e) {
            System.out.println("rem0 " + e.getMessage());
        }
        long[] ss = {0, 1, 31, 32, 33, 63, 64, 65, -1, 0x100000021L};
        for (long s : ss)
            System.out.println("s " + s + ": " + shl(0x8123456789ABCDEFL, s) + " " + shr(0x8123456789ABCDEFL, s) + " "
                               + ushr(0x8123456789ABCDEFL, (int) s));
        for (long a : as)
            System.out.println("mm " + a + " " + lmax(a, -7) + " " + lmin(a, -7) + " " + lmax(a, 1L << 40) + " "
                               + lmin(a, Long.MIN_VALUE));
        double[] xs = {0.0, -0.0, 0.5, 1e19, -1e19, 1e300, Double.NaN, Double.POSITIVE_INFINITY, -700, 710};
        for (double x : xs)
            System.out.println("m " + x + " " + Math.sin(x) + " " + Math.cos(x) + " " + Math.exp(x) + " "
                               + Math.sqrt(x) + " " + Math.pow(x, 2.0) + " " + Math.pow(2.0, x));
        System.out.println(Math.pow(-8, 1.0 / 3) + " " + Math.pow(0, -1) + " " + Math.pow(Double.NaN, 0)
                           + " " + Math.pow(-2, 3) + " " + Math.pow(1, Double.NaN));
    }
}
