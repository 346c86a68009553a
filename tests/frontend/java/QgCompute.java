// Methods for the differential test of the front half: each runs in our
// bytecode interpreter and, converted to final quadruples, in the test's
// quadruple interpreter; the results must agree.  Two int arguments, no
// calls, fields or arrays.
public class QgCompute {
    static int gcd(int a, int b) {
        if (a < 0) a = -a;
        if (b < 0) b = -b;
        while (b != 0) { int t = a % b; a = b; b = t; }
        return a;
    }
    static int collatz(int a, int b) {
        long n = (a & 0xFFFF) + 1;
        int steps = 0;
        while (n != 1 && steps < 1000) { n = (n & 1) == 0 ? n >> 1 : 3 * n + 1; steps++; }
        return steps + b;
    }
    static int primes(int a, int b) {
        int n = (a & 255) + 2, count = 0;
        for (int i = 2; i <= n; i++) {
            boolean p = true;
            for (int j = 2; j * j <= i; j++)
                if (i % j == 0) { p = false; break; }
            if (p) count++;
        }
        return count * 31 + b;
    }
    static int classify(int a, int b) {
        switch (a % 7) {
        case 0: return b;
        case 1: return b * 2;
        case 2: case 3: return b - a;
        case -1: return -b;
        default: return a ^ b;
        }
    }
    static int sparse(int a, int b) {
        switch (a) {
        case -1000: return 1;
        case 0: return 2;
        case 77: return 3;
        case 100000: return 4;
        default: return b & 15;
        }
    }
    static long lmath(int a, int b) {
        long x = ((long) a << 20) ^ (b * 0x9E3779B97F4A7C15L);
        x += x >>> 13;
        x *= 31L;
        x -= (long) b / (a | 1);
        return x % 1000003L + (x >> 40);
    }
    static int lcompare(int a, int b) {
        long x = (long) a * 100000L, y = (long) b * 99999L;
        int r = 0;
        if (x < y) r |= 1;
        if (x == y) r |= 2;
        if (x > y) r |= 4;
        return r + (x > y ? 1 : x < y ? -1 : 0);
    }
    static double dmath(int a, int b) {
        double x = a * 0.5 + b / 3.0;
        double y = x * x - 2.0 * x + 1.0;
        return y / ((x < 0 ? -x : x) + 1.0) + (double) (float) y;
    }
    static int fcompare(int a, int b) {
        float f = a / 7.0f, g = b / 5.0f;
        double nan = (a == b) ? 0.0 / 0.0 : 1.0;
        int r = 0;
        if (f < g) r += 1;
        if (f >= g) r += 2;
        if (nan > 0.5) r += 4;
        if (nan < 0.5) r += 8;
        if (!(nan <= 0.5)) r += 16;
        return r;
    }
    static int convert(int a, int b) {
        double d = a * 1.0e7 + b;
        float f = (float) d;
        long l = (long) d;
        int i = (int) f;
        short s = (short) (a * 1000);
        byte by = (byte) b;
        char c = (char) (a - b);
        return i ^ (int) l ^ (int) (l >>> 32) ^ s ^ by ^ c ^ (int) (double) f;
    }
    static int minmax(int a, int b) {
        int lo = a < b ? a : b;
        int hi = a > b ? a : b;
        int abs = a < 0 ? -a : a;
        return lo * 3 + hi * 5 + abs;
    }
    static int shifts(int a, int b) {
        return (a << (b & 31)) + (a >> 3) + (a >>> (b & 7)) - (b << 1);
    }
    static int bools(int a, int b) {
        boolean x = a > b, y = (a & 1) == 0, z = x ^ y;
        return (x ? 1 : 0) + (y ? 2 : 0) + (z ? 4 : 0) + (x && !y ? 8 : 0);
    }
}
