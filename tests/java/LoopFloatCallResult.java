// Float and double locals kept in x87 registers across a loop, and a call
// inside the loop that returns a float or double: the call empties the x87
// stack, the loop's locals are reloaded under the returned value, and the
// value must still be what the assignment stores.
public class LoopFloatCallResult {
    static final Object lock = new Object();
    static int calls;

    static float inc(float v) { calls++; return v + 1.0f; }
    static double half(double v) { calls++; return v / 2; }

    // One float local cached: assigned the call's result inside a monitor.
    static float oneFloat(float p, int n) {
        for (int k = 0; k < n; k++) {
            if (p < 1.0f) calls--;
            synchronized (lock) {
                p = inc(5.0f);
            }
        }
        return p;
    }

    // Two cached locals; the result goes to the lower one, then the upper.
    static double twoDoubles(double a, double b, int n) {
        for (int k = 0; k < n; k++) {
            if (a < b) calls--;
            a = half(b + k);
            b = b + a;
        }
        return a * 1000 + b;
    }

    public static void main(String[] args) {
        System.out.println(oneFloat(2.5f, 6) + " " + oneFloat(1e6f, 1) + " " + oneFloat(0.5f, 0));
        System.out.println(twoDoubles(1.0, 3.0, 5) + " " + twoDoubles(8.0, 2.0, 1));
        System.out.println("calls " + calls);
    }
}
