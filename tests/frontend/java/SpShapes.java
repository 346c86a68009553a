// Fixtures of the stack pass on whole methods.
public class SpShapes {
    static long one() { return 1L; }
    static int args(int a, long b, Object c) { return a + (int) b + (c == null ? 0 : 1); }
    int inst(int a, int b) { return a + b; }
    static int loads(SpShapes s, Object[] a, Object o) { a[0] = o; return s.inst(1, 2); }
    static long shuffle(long[] a, int i) { return a[i]++; }
    static int handler(int x) {
        try {
            return 10 / x;
        } catch (ArithmeticException e) {
            return -1;
        }
    }
}
