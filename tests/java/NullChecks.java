// NullChecks: every kind of access through null raises NullPointerException
// in the method that makes it, after the side effects before it and before
// those after it, while the accesses through references that cannot be null
// (the receiver, new objects, String results, a reference checked earlier on
// every path) run on.  A static method's first argument and a receiver
// handed in as an argument may be null; a call of a private, final, super or
// interface method reaches its callee without touching the receiver, so the
// caller's check is what raises.
public class NullChecks {
    int f = 1;
    int[] a = {4, 5};
    static String trail = "";

    interface Run {
        int run();
    }

    static class Impl implements Run {
        public int run() {
            return 7;
        }
    }

    static class Base {
        int m() {
            return 10;
        }
    }

    static class Derived extends Base {
        int m() {
            return super.m() + 1;
        }
    }

    private int priv() {
        return 5;
    }

    final int fin() {
        return 6;
    }

    int virt() {
        return 8;
    }

    static void note(String s) {
        trail = trail + s;
    }

    static int getfield(NullChecks o) {
        note("a");
        int v = o.f;
        note("b");
        return v;
    }

    static int putfield(NullChecks o) {
        note("a");
        o.f = 3;
        note("b");
        return 0;
    }

    static int arrayload(int[] x) {
        note("a");
        int v = x[1];
        note("b");
        return v;
    }

    static int arraystore(int[] x) {
        note("a");
        x[0] = 9;
        note("b");
        return 0;
    }

    static int arraylength(int[] x) {
        note("a");
        int v = x.length;
        note("b");
        return v;
    }

    static int virtual(NullChecks o) {
        note("a");
        int v = o.virt();
        note("b");
        return v;
    }

    // Argument 0 of a static method: its copy proves nothing.
    static int direct(NullChecks o) {
        note("a");
        int v = o.priv();
        note("b");
        return v + o.fin();
    }

    static int finalCall(NullChecks o) {
        note("a");
        int v = o.fin();
        note("b");
        return v;
    }

    static int iface(Run r) {
        note("a");
        int v = r.run();
        note("b");
        return v;
    }

    static int monitor(Object o) {
        note("a");
        synchronized (o) {
            note("x");
        }
        note("b");
        return 0;
    }

    static int athrow(RuntimeException e) {
        note("a");
        if (e != null || trail.length() > 0)
            throw e;
        return 0;
    }

    // The receiver is never null: its checks may go.
    int self() {
        return priv() + fin() + f + a[0];
    }

    // Both arms read o: the check may move before the test, the exception
    // may not (the test itself has no effect, the notes do).
    static int arms(NullChecks o, boolean c) {
        note("a");
        int v;
        if (c)
            v = o.f;
        else
            v = o.a.length;
        note("b");
        return v;
    }

    // After o.f the test against null is decided.
    static int afterRead(NullChecks o) {
        int v = o.f;
        note("a");
        if (o == null)
            return -1;
        return v + o.priv();
    }

    // Fresh objects and String results are never null.
    static int fresh(String s) {
        NullChecks n = new NullChecks();
        String t = s.substring(1);
        String u = String.valueOf(s.length());
        return n.priv() + t.length() + u.length() + n.fin();
    }

    // A reference stored over in a loop: the check of the new value stays.
    static int loop(NullChecks o, int n) {
        int s = 0;
        NullChecks p = new NullChecks();
        for (int i = 0; i < n; i++) {
            s += p.priv();
            note(".");
            if (i == 2)
                p = o;
        }
        return s;
    }

    static final int ROUNDS = 2100;
    static final String[] NAMES = {"getfield", "putfield", "arrayload", "arraystore", "arraylength", "virtual",
                                   "direct", "final", "interface", "super", "monitor", "athrow", "self", "arms",
                                   "afterRead", "fresh", "loop"};

    static int run(int which, boolean nul, NullChecks o) {
        switch (which) {
        case 0: return getfield(nul ? null : o);
        case 1: return putfield(nul ? null : o);
        case 2: return arrayload(nul ? null : o.a);
        case 3: return arraystore(nul ? null : new int[2]);
        case 4: return arraylength(nul ? null : o.a);
        case 5: return virtual(nul ? null : o);
        case 6: return direct(nul ? null : o);
        case 7: return finalCall(nul ? null : o);
        case 8: return iface(nul ? null : new Impl());
        case 9: return (nul ? null : new Derived()).m();
        case 10: return monitor(nul ? null : o);
        case 11: return athrow(nul ? null : new IllegalStateException());
        case 12: return o.self();
        case 13: return arms(nul ? null : o, true) + arms(nul ? null : o, false);
        case 14: return afterRead(nul ? null : o);
        case 15: return fresh(nul ? null : "xyz");
        default: return loop(nul ? null : o, 5);
        }
    }

    public static void main(String[] args) {
        // Enough rounds for every method to be compiled under the default
        // threshold; the last round prints.
        for (int round = 0; round < ROUNDS; round++) {
            NullChecks o = new NullChecks();
            for (int which = 0; which < NAMES.length; which++) {
                for (int k = 0; k < 2; k++) {
                    boolean nul = k == 1;
                    trail = "";
                    String r;
                    try {
                        r = String.valueOf(run(which, nul, o));
                    } catch (NullPointerException e) {
                        r = "NPE";
                    } catch (IllegalStateException e) {
                        r = "ISE";
                    }
                    if (round == ROUNDS - 1)
                        System.out.println(NAMES[which] + (nul ? " null: " : ": ") + r + " " + trail);
                }
            }
        }
    }
}
