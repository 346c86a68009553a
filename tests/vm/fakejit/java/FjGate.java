// Invoker ABI, compiled to VM: each fj_call_ method is replaced by code that
// calls t_ (interpreted) exactly as the compiler's gates call a method that
// is not compiled, and returns its result.  An interpreted callee that throws
// returns the exception pending; the gate raises it in the compiled caller.
public class FjGate {
    int base = 1000;
    static int counter;

    static void t_V() { counter++; }
    static int t_II(int a, int b) { return a * 31 + b; }
    static long t_IJ(int a, long b) { return ((long) a * 1000000007L) ^ b; }
    static float t_F(float f) { return f * 0.5f + 2.0f; }
    static double t_DI(double d, int i) { return d * i + 0.25; }
    static Object t_OI(Object o, int i) { return (i & 1) == 0 ? o : null; }
    int t_I_i(int a) { return a + base; }
    static int t_throw(int x) {
        if (x < 0)
            throw new IllegalArgumentException("negative " + x);
        return x * 2;
    }

    static void fj_call_V() { t_V(); }
    static int fj_call_II(int a, int b) { return t_II(a, b); }
    static long fj_call_IJ(int a, long b) { return t_IJ(a, b); }
    static float fj_call_F(float f) { return t_F(f); }
    static double fj_call_DI(double d, int i) { return t_DI(d, i); }
    static Object fj_call_OI(Object o, int i) { return t_OI(o, i); }
    int fj_call_I_i(int a) { return t_I_i(a); }
    static int fj_call_throw(int x) { return t_throw(x); }

    public static void main(String[] args) {
        FjGate self = new FjGate();
        for (int round = 0; round < 2; round++) {
            fj_call_V();
            System.out.println("V " + counter);
            System.out.println("II " + fj_call_II(3, -4) + " " + fj_call_II(Integer.MIN_VALUE, 1));
            System.out.println("IJ " + fj_call_IJ(-7, 0x123456789ABCDEF0L) + " " + fj_call_IJ(2, -1L));
            System.out.println("F " + fj_call_F(3.5f) + " " + fj_call_F(-0.0f));
            System.out.println("DI " + fj_call_DI(1.5, 3) + " " + fj_call_DI(-2.25, -4));
            System.out.println("OI " + fj_call_OI("x", 0) + " " + fj_call_OI("x", 1));
            System.out.println("I_i " + self.fj_call_I_i(5));
            System.out.println("throw " + fj_call_throw(21));
            int partial = 100;
            try {
                partial += fj_call_throw(-round - 1);
                System.out.println("not thrown");
            } catch (IllegalArgumentException e) {
                System.out.println("caught " + e.getMessage() + " partial " + partial);
            }
        }
    }
}
