// Fixtures of the store-summary tests: methods that each write one kind of
// storage, throw, recurse into each other, copy arrays or take a monitor.
// The static drivers are run in the interpreter first, so that their calls
// are resolved as in a real compile.
public class DfStores {
    int count;
    static long total;
    static Object lock = new Object();

    void setCount(int v) { count = v; }
    static void addTotal(long v) { total += v; }
    static void fill(byte[] a, byte v) { a[0] = v; }
    static int pure(int a) { return a * 2 + 1; }

    // The store before the throw is on a path the caller sees only as an
    // exception.
    static void fail(int v) {
        if (v < 0) {
            total = v;
            throw new IllegalArgumentException();
        }
    }

    static int even(int n) { return n == 0 ? 1 : odd(n - 1); }
    static int odd(int n) { return n == 0 ? 0 : even(n - 1); }

    static void copy(int n) {
        int[] a = new int[n];
        int[] b = new int[n];
        System.arraycopy(a, 0, b, 0, n);
    }
    static void callsPure(int a) { pure(a); }

    // Writes nothing itself, but takes a monitor: other threads' writes
    // become visible to the caller.
    static void lockOnly() { synchronized (lock) { } }
    static synchronized void syncMethod() { }
    static void callsVirtual() { new DfStores().setCount(1); }
    final void finalSet(int v) { count = v; }
    static void callsFinal() { new DfStores().finalSet(2); }

    // Runs every method once, so that their references are resolved.
    static void drive() {
        new DfStores().setCount(1);
        addTotal(1);
        fill(new byte[1], (byte) 1);
        callsPure(1);
        try {
            fail(-1);
        } catch (IllegalArgumentException e) {
        }
        even(3);
        copy(2);
        lockOnly();
        syncMethod();
        callsVirtual();
        callsFinal();
    }
}
