// Fixtures of the invocation translation: one call of each kind.
public class SpCalls extends SpBase implements Runnable {
    public void run() {}
    private int secret(int x) { return x + 1; }
    final int sealed(int x) { return x + 2; }
    int plain(long a, int b) { return (int) a + b; }
    static int twice(int x) { return 2 * x; }
    static int mix(long a, int b) { return (int) a + b; }
    int base(int x) { return super.base(x) + 1; }

    static int callStatic() { return twice(3); }
    static int callMix() { return mix(1L, 2); }
    int callPrivate() { return secret(1); }
    int callFinal() { return sealed(1); }
    int callVirtual() { return plain(1L, 2); }
    int callSuper() { return base(2); }
    static int callInterface(Runnable r) { r.run(); return 0; }
    static int callObject(Object o) { return o.hashCode(); }
    static String callString(String s) { return s.toString(); }
    static String callBuffer(StringBuffer b) { return b.toString(); }
    static int callFinalClass(String s) { return s.length(); }
    static void callCopy(int[] a, int[] b) { System.arraycopy(a, 0, b, 0, 1); }
    static Class<?> callForName() throws Exception { return Class.forName("java.lang.String"); }
    static Object callNewInstance(Class<?> c) throws Exception { return c.newInstance(); }

    static int run(int v) throws Exception {
        SpCalls c = new SpCalls();
        int r = callStatic() + callMix() + c.callPrivate() + c.callFinal() + c.callVirtual() + c.callSuper();
        callInterface(c);
        r += callObject(c) == 0 ? 0 : 1;
        callString("s");
        callBuffer(new StringBuffer("b"));
        r += callFinalClass("abc");
        callCopy(new int[1], new int[1]);
        callForName();
        callNewInstance(SpCalls.class);
        return r + v;
    }
}

class SpBase {
    int base(int x) { return x; }
}
