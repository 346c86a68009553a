// Constants that reach an operation through locals, so that the compiler's
// copy propagation makes its operands constant and folds it at compile time:
// the result must be the one Java computes at run time.  Covers Math.max and
// Math.min on signed zeros and NaN, double and float arithmetic that must be
// rounded once (an extended-precision product stored to double can differ in
// the last bit), the overflowing int and long cases, shift counts, saturating
// conversions, decided branches and switches, and facts that must die at a
// redefinition, at a join and around a loop.
public class ConstFold {
    // Output goes to the buffer only on the runs that main prints.
    static StringBuffer out = new StringBuffer();
    static boolean keep;
    static void p(String s) {
        if (keep) out.append(s).append('\n');
    }

    static String bits(double d) { return Long.toHexString(Double.doubleToLongBits(d)); }
    static String bits(float f) { return Integer.toHexString(Float.floatToIntBits(f)); }

    static void maxMinFloat() {
        float fz = 0.0f, fn = -0.0f, fnan = Float.NaN, fone = 1.0f;
        p("max f +0 -0 " + bits(Math.max(fz, fn)) + " -0 +0 " + bits(Math.max(fn, fz)));
        p("min f +0 -0 " + bits(Math.min(fz, fn)) + " -0 +0 " + bits(Math.min(fn, fz)));
        p("max f nan " + bits(Math.max(fnan, fone)) + " " + bits(Math.max(fone, fnan)));
        p("min f +0 +0 " + bits(Math.min(fz, fz)) + " 2 3 " + Math.min(2.0f, 3.0f));
    }

    static void maxMinDouble() {
        double dz = 0.0, dn = -0.0, dnan = Double.NaN, done = 1.0;
        p("max d +0 -0 " + bits(Math.max(dz, dn)) + " -0 +0 " + bits(Math.max(dn, dz)));
        p("min d +0 -0 " + bits(Math.min(dz, dn)) + " -0 +0 " + bits(Math.min(dn, dz)));
        p("min d nan " + bits(Math.min(dnan, done)) + " " + bits(Math.min(done, dnan)));
        p("max d -0 -0 " + bits(Math.max(dn, dn)) + " 2 3 " + Math.max(2.0, 3.0));
    }

    static void roundOnce() {
        // The exact product lies just past the midpoint of two doubles in
        // 64-bit precision and just below it in 53-bit precision.
        double a = 0x1.69395228d272ap+0, b = 0x1.5c172f50b82e6p+0;
        p("d mul " + bits(a * b));
        double c = 1.0, d = 3.0;
        p("d div " + bits(c / d) + " sub " + bits(0.1 - 0.3) + " add " + bits(0.1 + 0.2));
        float e = 1.0f, f = 3.0f, g = 16777216.0f;
        p("f div " + bits(e / f) + " add " + bits(g + e) + " mul " + bits(f * 1.1f));
        float h = 4.0f, k = 0.5f;
        double m = 0.5;
        float x = 6.0f;
        double y = 6.0;
        p("f/4 " + (x / h) + " d/0.5 " + (y / m) + " f/0.5 " + (x / k) + " f/1 " + (x / e) + " f*-1 " + (x * -1.0f));
        float big = 3.0e38f, tiny = 3.0e-39f;
        p("f overflow " + (big * 10.0f) + " subnormal " + bits(tiny * 1.0f) + " " + bits(tiny / 2.0f));
        float one = 1.0f, zero = 0.0f;
        p("1/0 " + (one / zero) + " -1/0 " + (-one / zero) + " 0/0 " + (zero / zero));
    }

    static void ints() {
        int min = Integer.MIN_VALUE, m1 = -1, big = 0x7FFFFFFF, one = 1;
        p("MIN/-1 " + (min / m1) + " MIN%-1 " + (min % m1) + " MAX+1 " + (big + one));
        int seven = 7, mseven = -7, two = 2, mtwo = -2;
        p("7/-2 " + (seven / mtwo) + " 7%-2 " + (seven % mtwo) + " -7%2 " + (mseven % two));
        int s32 = 32, s33 = 33, sm1 = -1, v = -8;
        p("shl32 " + (one << s32) + " shl33 " + (one << s33) + " shl-1 " + (one << sm1));
        p("shr " + (v >> two) + " ushr " + (v >>> two) + " ushr32 " + (v >>> s32) + " shr33 " + (v >> s33));
        int zero = 0;
        try {
            p("no " + (seven / zero));
        } catch (ArithmeticException ex) {
            p("7/0 throws");
        }
        p("b " + (byte) 0x80 + " c " + (int) (char) m1 + " s " + (short) 0x18000);
    }

    static void longs() {
        long min = Long.MIN_VALUE, m1 = -1L, max = Long.MAX_VALUE, one = 1L;
        p("LMIN/-1 " + (min / m1) + " LMIN%-1 " + (min % m1) + " LMAX+1 " + (max + one));
        long a = 0x123456789L, b = 0x987654321L;
        p("mul " + (a * b) + " xor " + (a ^ b) + " sub " + (a - b));
        int s64 = 64, s65 = 65, sm1 = -1;
        long v = -16L;
        p("shl64 " + (one << s64) + " shl65 " + (one << s65) + " shl-1 " + (one << sm1));
        p("shr " + (v >> 2) + " ushr " + (v >>> 2) + " ushr65 " + (v >>> s65));
        long zero = 0L;
        try {
            p("no " + (a / zero));
        } catch (ArithmeticException ex) {
            p("l/0 throws");
        }
        p("cmp " + (a < b) + " " + (a == a) + " " + Long.signum(b - a));
        long big = 3000000000L;
        p("l2i " + (int) big + " l2f " + (float) big + " l2d " + (double) big);
    }

    static void conversions() {
        double dbig = 3.0e10, dneg = -3.0e10, frac = 2.5, nan = Double.NaN;
        float fbig = 3.0e10f, fneg = -3.0e10f, f = 2.75f;
        p("d2i " + (int) dbig + " " + (int) dneg + " " + (int) frac + " " + (int) nan);
        p("f2i " + (int) fbig + " " + (int) fneg + " " + (int) f + " f2l " + (long) f + " d2l " + (long) frac);
        p("d2f " + bits((float) 0.1) + " f2d " + bits((double) 0.1f) + " i2f " + bits((float) 16777217));
    }

    static int branches(int n) {
        int three = 3, five = 5, r = 0;
        if (three < five) r += 1; else r += 100;
        if (three == five) r += 1000;
        int k = 2;
        switch (k) {
            case 1: r += 10; break;
            case 2: r += 20; break;
            case 3: r += 30; break;
            default: r += 40;
        }
        int low = -5;
        switch (low) {
            case 0: case 1: case 2: r += 1000; break;
            default: r += 50;
        }
        int key = 1000;
        switch (key) {
            case -7: r += 1; break;
            case 1000: r += 300; break;
            case 123456: r += 2; break;
            default: r += 3;
        }
        Object o = null;
        if (o == null) r += n;
        return r;
    }

    static int copies(int a, int b) {
        int x = a;
        int z = x;
        a = 5;
        int w = z + x + a;
        x = b;
        x = 7;
        int u = x + w;
        int t = a + b;
        int y = t;
        return u * 1000 + y + z;
    }

    static int joins(boolean c, int a) {
        int x;
        if (c) x = 5; else x = 5;
        int y = x;
        int z;
        if (c) z = a; else z = 9;
        return y * 100 + z;
    }

    static int loop(int n) {
        int x = 5, s = 0;
        for (int i = 0; i < n; i++) {
            s += x;
            x = i;
        }
        return s * 10 + x;
    }

    static int arrays() {
        int[] arr = new int[7];
        int[] copy = arr;
        arr = new int[3];
        return copy.length * 10 + arr.length;
    }

    // An operation on a stack temporary that a branch tests at once: with a
    // neutral constant propagated into it (x ^ 0, x & -1, x | 0) or a shift
    // count of 0, the operation sets no flags for the branch to read.
    static int fusedBranches(int x, int y, int n) {
        int z = 0, m = -1;
        if (((x + y) ^ z) == 0) return 1;
        if (((x - y) & m) != 0) return 2;
        if (((x * y) | z) == 0) return 3;
        if (((x + 1) << n) != 0) return 4;
        return 5;
    }

    static class Refused extends Exception {
        Refused(String s) { super(s); }
    }

    static class Account {
        long balance;
        void deposit(long amount) throws Refused {
            if (amount > 100) throw new Refused("too much " + amount);
            balance += amount;
        }
    }

    static Account from = new Account(), to = new Account();

    // The exception object of a callee is stored to a local and thrown again.
    static void rethrow(Account a, Account b, long amount) throws Refused {
        long before = a.balance;
        a.balance -= amount;
        try {
            b.deposit(amount);
        } catch (Refused e) {
            a.balance = before;
            throw e;
        }
    }

    static String catches(int amount) {
        try {
            rethrow(from, to, amount);
            return "kept " + amount + " " + from.balance % 1000 + " " + to.balance % 1000;
        } catch (Refused e) {
            return e.getMessage();
        }
    }

    // Every method runs often enough to be compiled under the default
    // threshold; the first and the last run are printed.
    public static void main(String[] args) {
        for (int i = 0; i < 2100; i++) {
            keep = i == 0 || i == 2099;
            int j = i % 3;
            maxMinFloat();
            maxMinDouble();
            roundOnce();
            ints();
            longs();
            conversions();
            p("branches " + branches(j) + " copies " + copies(j, 2 * j + 1) + " " + copies(-4, 9));
            p("joins " + joins(true, 3) + " " + joins(false, 3) + " loop " + loop(j) + " " + loop(4)
              + " arrays " + arrays());
            p("catches " + catches(50) + " / " + catches(150));
            p("fused " + fusedBranches(0, 0, 0) + fusedBranches(1, 0, 0) + fusedBranches(3, 3, 0)
              + fusedBranches(-1, 1, 32) + fusedBranches(5, 5, 0) + fusedBranches(-1, 0, 32));
            if (keep) {
                System.out.print(out.toString());
                out.setLength(0);
            }
        }
    }
}
