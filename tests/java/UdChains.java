// What the use-def chains let the compiler drop: casts and array-store checks
// of values whose class is known, and work nobody uses.  A class whose name
// begins with another's ("Foo", "FooBar") must never pass for it, and each
// check that must stay raises its exception.
public class UdChains {
    static class Foo { int v = 1; }
    static class FooBar extends Foo { FooBar() { v = 2; } }

    Foo[] foos = { new Foo() };
    FooBar[] fooBars = { new FooBar() };

    // x holds one of two fresh FooBar arrays; the value comes from a Foo[] field.
    Object[] twoFresh(boolean c, int k) {
        Object[] x;
        if (c)
            x = new FooBar[1];
        else
            x = new FooBar[2];
        x[0] = k == 0 ? foos[0] : fooBars[0];
        return x;
    }

    // The same with a field of the array's own element class: always fits.
    Object[] twoFreshFits(boolean c) {
        Object[] x;
        if (c)
            x = new FooBar[1];
        else
            x = new FooBar[2];
        x[0] = fooBars[0];
        return x;
    }

    Object[] twoFreshFromFoos(boolean c) {
        Object[] x;
        if (c)
            x = new FooBar[1];
        else
            x = new FooBar[2];
        x[0] = foos[0];
        return x;
    }

    static Object[] freshFoo() {
        Object[] x = new FooBar[1];
        x[0] = new Foo();
        return x;
    }

    static Object[] freshFooBar() {
        Object[] x = new Foo[1];
        x[0] = new FooBar();
        return x;
    }

    static Object[] freshString() {
        Object[] x = new Integer[1];
        x[0] = "text";
        return x;
    }

    static Object[] sameArray(Object[] a) {
        a[0] = a[1];
        return a;
    }

    static Object[] nullStore() {
        Object[] x = new FooBar[1];
        x[0] = null;
        return x;
    }

    static int castFresh() {
        Object o = new FooBar();
        return ((Foo) o).v + ((FooBar) o).v;
    }

    static int castWrong() {
        Object o = new Foo();
        return ((FooBar) o).v;
    }

    static int castString() {
        Object o = "abc";
        return ((String) o).length();
    }

    static int castStringWrong() {
        Object o = "abc";
        return ((Integer) o).intValue();
    }

    // Work whose results nobody reads.
    static int unused(int a, int b, int[] arr) {
        int t = a * b + 7;
        int u = t << 3;
        long l = (long) a * b;
        double d = a / 3.0;
        Foo f = new Foo();
        int w = arr[0] + arr[1];
        return a - b;
    }

    // Loads, an operation and a store back to the same element.
    static int readModifyWrite(int[] a, byte[] bs, char[] cs, short[] ss, int k) {
        for (int i = 0; i < a.length; i++) {
            a[i] += 5;
            a[i] -= k;
            a[i] ^= 3;
            a[i] |= 64;
            a[i] &= ~1;
            bs[i] += 100;
            cs[i] += 40000;
            ss[i] -= 30000;
        }
        int s = 0;
        for (int i = 0; i < a.length; i++) {
            a[i] = k - a[i];
            int t = a[i];
            t = t - k;
            a[i] = t;
            s += a[i] + bs[i] + cs[i] + ss[i];
        }
        return s;
    }

    // Single-use temporaries between arithmetic and copies.
    static long mix(int n) {
        long acc = 1;
        int x = 3;
        for (int i = 1; i <= n; i++) {
            int t = x * i;
            x = t;
            long l = t + acc;
            acc = l % 1000003;
            float f = i;
            double g = f;
            acc += (long) g;
        }
        return acc + x;
    }

    static String check(int c, UdChains u) {
        try {
            Object r;
            switch (c) {
            case 0: r = u.twoFresh(true, 0); break;
            case 1: r = u.twoFresh(false, 1); break;
            case 2: r = u.twoFreshFits(true); break;
            case 3: r = u.twoFreshFromFoos(false); break;
            case 4: r = freshFoo(); break;
            case 5: r = freshFooBar(); break;
            case 6: r = freshString(); break;
            case 7: r = sameArray(new FooBar[2]); break;
            case 8: r = nullStore(); break;
            case 9: r = Integer.valueOf(castFresh()); break;
            case 10: r = Integer.valueOf(castWrong()); break;
            case 11: r = Integer.valueOf(castString()); break;
            default: r = Integer.valueOf(castStringWrong()); break;
            }
            return "ok " + (r instanceof Object[] ? ((Object[]) r).length : ((Integer) r).intValue());
        } catch (RuntimeException e) {
            return e.getClass().getName();
        }
    }

    static final int ROUNDS = 2100;

    public static void main(String[] args) {
        UdChains u = new UdChains();
        // Enough rounds for every method to be compiled hot; the first and the
        // last print.
        for (int round = 0; round < ROUNDS; round++) {
            boolean print = round == 0 || round == ROUNDS - 1;
            StringBuilder out = new StringBuilder();
            for (int c = 0; c <= 12; c++)
                out.append("check " + c + ": " + check(c, u) + "\n");
            out.append("unused " + unused(7, 3, new int[] {1, 2}) + "\n");
            int[] a = {1, 2, 3, 4, 5, 6};
            byte[] bs = {1, 100, -100, 27, 0, -1};
            char[] cs = {1, 30000, 65535, 'a', 0, 7};
            short[] ss = {1, 30000, -30000, 5, 0, -1};
            out.append("rmw " + readModifyWrite(a, bs, cs, ss, 11) + " " + a[0] + " " + a[5] + " " + bs[2] + " "
                       + (int) cs[1] + " " + ss[2] + "\n");
            out.append("mix " + mix(50) + " " + mix(0) + "\n");
            if (print)
                System.out.print(out);
        }
    }
}
