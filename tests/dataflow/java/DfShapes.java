// Fixtures of the dataflow tests: methods with loops, nested loops, handlers,
// switches and calls whose call sites, block structure and DFS order the
// tests check, and a small class hierarchy for the invoke kinds.
public class DfShapes {
    static int counter;
    static int[] squares = new int[8];

    // <clinit> with a loop: more than three blocks, still no analyses.
    static {
        for (int i = 0; i < squares.length; i++)
            squares[i] = i * i;
    }

    static int leaf(int a) { return a * 3 + 1; }

    // No invoke instruction at all.
    static int straight(int a, int b) {
        int c = a + b;
        if (c > 10)
            c -= 10;
        return c;
    }

    // A call inside a loop and one after it.
    static int loopCall(int n) {
        int s = 0;
        for (int i = 0; i < n; i++)
            s += leaf(i);
        return s + leaf(n);
    }

    // Calls in an inner and an outer loop, and one before both.
    static int nested(int n) {
        int s = leaf(0);
        for (int i = 0; i < n; i++) {
            s += leaf(i);
            for (int j = 0; j < i; j++)
                s += leaf(j);
        }
        return s;
    }

    // A forward branch only: nothing is in a loop.
    static int forward(int n) {
        int s = leaf(n);
        if (n > 3)
            s = leaf(s);
        return s;
    }

    static int tryCatch(int[] a, int i) {
        try {
            return a[i] + leaf(i);
        } catch (ArrayIndexOutOfBoundsException e) {
            return -1;
        }
    }

    static int nestedTry(int[] a, int i) {
        int r = 0;
        try {
            try {
                r = a[i];
            } catch (ArrayIndexOutOfBoundsException e) {
                r = -1;
            }
            r += a[0];
        } catch (NullPointerException e) {
            r = -2;
        }
        return r;
    }

    static int sw(int x) {
        switch (x) {
        case 1: return 10;
        case 2: return 20;
        case 3: return 30;
        case 100: return 1000;
        default: return -1;
        }
    }

    static int whileLoop(int n) {
        int k = 0;
        while (n > 1) {
            n = (n & 1) == 0 ? n / 2 : 3 * n + 1;
            k++;
        }
        return k;
    }

    static long longs(long a, double d) {
        long x = a * 2;
        double y = d + 1.5;
        return x + (long) y;
    }

    static double math(double d, int i, long l, float f) {
        return Math.abs(d) + Math.abs(i) + Math.abs(l) + Math.abs(f) + Math.max(i, 3) + Math.sqrt(d) + Math.tan(d);
    }

    static int constants() {
        float f = 1.25f;
        double d = 3.0e10;
        long l = 123456789012L;
        return (int) (f + d + l);
    }

    static Object reflective(String name) throws Exception {
        return Class.forName(name);
    }

    static int indexOfCall(String s) {
        return s.indexOf('x');
    }

    static void thrower() {
        throw new IllegalStateException("x");
    }

    static int tail(int n) {
        return leaf(n);
    }

    // A callee longer than 16 bytes.
    static int big(int a) {
        int s = a;
        s = s * 7 + 3;
        s = s ^ (s >>> 3);
        s = s + a * 11;
        return s - 5;
    }

    static int callsBig(int n) { return big(n) + 1; }

    static int selfRec(int n) { return n <= 0 ? 0 : selfRec(n - 1) + 1; }

    static int exceptionNames() { return DfTenCharsException.code() + DfTenCharException.code(); }

    static int drive() {
        DfBase b = new DfDerived();
        return b.callAll(b, b);
    }

    static int sum(int[] a) {
        int s = 0;
        for (int v : a)
            s += v;
        return s;
    }
}

interface DfShape {
    int area();
}

class DfBase implements DfShape {
    int w = 2, h = 3;

    public int area() { return w * h; }

    final int fin() { return w; }

    private int priv() { return h; }

    static int stat() { return 7; }

    public String toString() { return "base"; }

    int callAll(DfShape s, Object o) {
        return area() + fin() + priv() + stat() + s.area() + o.hashCode();
    }
}

final class DfDerived extends DfBase {
    public int area() { return super.area() + 1; }
}

// Class names of 19 and 18 characters that end in "Exception".
class DfTenCharsException {
    static int code() { return 19; }
}

class DfTenCharException {
    static int code() { return 18; }
}
