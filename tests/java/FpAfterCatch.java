// Double arithmetic in a compiled method after it caught an exception: the
// catch block must leave the x87 unit in double precision, or sums such as
// sqrt(63) + 7 come out rounded once instead of twice and differ in the
// last bit.  Every kind of catch is followed by the same work, which also
// goes through long and double min/max and ternary selects.
public class FpAfterCatch {
    static double sd = 7.0;
    static long sl = 14L;
    static int zero = 0;
    static int[] none = null;
    static final RuntimeException PRE = new RuntimeException("pre");

    static void thrower(int k) {
        if (k >= 0) throw new IllegalStateException("k" + k);
    }

    // The work done after each catch; mixes every result bit into h.
    static long work(long h, int k) {
        double s = Math.sqrt(63.0 + k) + sd;
        double q = (1.0 + k) / 3.0 * 7.0 + 0.1;
        double m = Math.max(s, q) - Math.min(s * 0.5, q);
        double t = s > q ? s / q : q / s;
        long a = sl + k * 4294967296L;
        long b = -a ^ 0x5555L;
        long lm = Math.max(a | 4294967296L, Math.min(b, a));
        long lt = (a < b) ? a : b;
        h = h * 31 + Double.doubleToLongBits(s);
        h = h * 31 + Double.doubleToLongBits(q);
        h = h * 31 + Double.doubleToLongBits(m);
        h = h * 31 + Double.doubleToLongBits(t);
        return h * 31 + lm * 7 + lt;
    }

    static long afterThrow(int k) {
        long h = 0;
        try {
            if (k >= 0) throw PRE;
        } catch (RuntimeException e) {
            h = work(h, k);
            h = h * 31 + Double.doubleToLongBits(Math.sqrt(63.0) + sd);
        }
        return h;
    }

    static long afterCallee(int k) {
        long h = 0;
        try {
            thrower(k);
        } catch (IllegalStateException e) {
            h = h * 31 + Double.doubleToLongBits(Math.sqrt(63.0) + sd);
        }
        return work(h, k);
    }

    static long afterNull(int k) {
        long h = 0;
        try {
            none[k] = 1;
        } catch (NullPointerException e) {
            h = 5;
        }
        return work(h, k) * 31 + Double.doubleToLongBits(Math.sqrt(63.0) + sd);
    }

    static long afterDivide(int k) {
        long h = 0;
        try {
            h = k / zero;
        } catch (ArithmeticException e) {
            h = 3;
        }
        return work(h, k) * 31 + Double.doubleToLongBits(Math.sqrt(63.0) + sd);
    }

    // A loop whose every turn catches: the later turns run after a catch.
    static long loop() {
        long h = 0;
        for (int k = 0; k < 20; k++) {
            try {
                thrower(k);
            } catch (IllegalStateException e) {
                h += 1;
            }
            h = h * 31 + Double.doubleToLongBits(Math.sqrt(63.0 + k) + sd);
            h = h * 31 + Double.doubleToLongBits((k + 1.0) / 3.0 * 7.0 + 0.1);
        }
        return h;
    }

    public static void main(String[] args) {
        for (int r = 0; r < 3; r++) {
            System.out.println(r + " throw " + afterThrow(r));
            System.out.println(r + " callee " + afterCallee(r));
            System.out.println(r + " null " + afterNull(r));
            System.out.println(r + " divide " + afterDivide(r));
        }
        System.out.println("loop " + loop());
        System.out.println("sum " + (Math.sqrt(63.0) + sd));
    }
}
