// Fixtures of the IA-32 transformation tests: integer and long arithmetic
// whose quadruples the transformation rewrites (multiplication by constants,
// operations whose destination is their second operand, absolute values).
public class DfArith {
    static int mulConstants(int a) {
        int s = a * 3;
        s ^= a * 5;
        s += a * 6;
        s ^= a * 7;
        s += a * 8;
        s ^= a * 9;
        s += a * 10;
        s ^= a * 11;
        s += a * 15;
        s ^= a * 24;
        s += a * -1;
        s ^= a * -8;
        s += a * -7;
        s ^= a * 0;
        s += a * 1;
        s ^= a * 65535;
        s += a * -65535;
        s ^= a * 0x7FFF;
        s += a * 0x8001;
        return s;
    }

    // The destination is also the multiplied local.
    static int mulInPlace(int a, int b) {
        a *= 10;
        b *= -3;
        a *= 7;
        return a - b;
    }

    // x = a - x and x = a op x, in int and long.
    static int reversed(int a, int x) {
        x = a - x;
        x = a + x;
        x = (a << 3) - x;
        x = a / (x | 1) - x;
        return x;
    }

    static long longs(int a, int b) {
        long x = a;
        long y = b;
        x = y - x;
        y = x * 31 + y;
        x = (y ^ x) - (x << 5);
        return x + y * y;
    }

    static int absolute(int a, int b) {
        int x = a < 0 ? -a : a;
        x = x - b;
        x = x < 0 ? -x : x;
        return x;
    }
}
