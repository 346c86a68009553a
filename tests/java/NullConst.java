// NullConst: every kind of dereference of a local that holds null from
// aconst_null.  Once copies and constants are propagated the access names
// the null constant itself; each one must raise NullPointerException right
// there, and nothing after it in the same try may run.
public class NullConst {
    static void p(String s) { System.out.println(s); }

    interface Shape { int area(); }

    static class Box implements Shape {
        int i; long l; float f; double d; Object o;
        byte b; char c; short s; boolean z;
        public int area() { return i; }
        private int hidden() { return i + 1; }
        final int fixed() { return i + 2; }
    }

    // Seen by no other method before fieldsOfUnloaded runs, so its fields
    // may still be unresolved when that method is compiled.
    static class Unloaded {
        int i; long l; double d;
    }

    static int steps;

    static void report(String what, Throwable t) {
        p(what + ": " + (t == null ? "no exception" : t.getClass().getName()) + " steps=" + steps);
        steps = 0;
    }

    static void fieldLoads() {
        String[] names = {"int", "long", "float", "double", "ref", "byte", "char", "short", "boolean",
                          "unused int", "unused double", "folded add", "folded long add"};
        for (int k = 0; k < names.length; k++) {
            Throwable t = null;
            int acc = k;
            long lacc = k;
            try {
                Box h = null;
                switch (k) {
                    case 0: acc += h.i; break;
                    case 1: lacc = h.l; break;
                    case 2: acc = (int) h.f; break;
                    case 3: acc = (int) h.d; break;
                    case 4: acc = h.o == null ? 1 : 2; break;
                    case 5: acc = h.b; break;
                    case 6: acc = h.c; break;
                    case 7: acc = h.s; break;
                    case 8: acc = h.z ? 1 : 2; break;
                    case 9: { int u = h.i; break; }
                    case 10: { double u = h.d; break; }
                    case 11: acc = acc * 3 + h.i; break;
                    case 12: lacc = lacc * 3 + h.l; break;
                }
                steps++;
            } catch (NullPointerException e) {
                t = e;
            }
            report("load " + names[k] + " " + acc + " " + lacc, t);
        }
    }

    static void fieldStores(int v) {
        String[] names = {"int const", "int reg", "long const", "long reg", "float", "double", "ref null",
                          "ref obj", "byte", "char", "short", "boolean"};
        for (int k = 0; k < names.length; k++) {
            Throwable t = null;
            try {
                Box h = null;
                switch (k) {
                    case 0: h.i = 7; break;
                    case 1: h.i = v; break;
                    case 2: h.l = -1L; break;
                    case 3: h.l = v * 5L; break;
                    case 4: h.f = v; break;
                    case 5: h.d = v * 0.5; break;
                    case 6: h.o = null; break;
                    case 7: h.o = names; break;
                    case 8: h.b = (byte) v; break;
                    case 9: h.c = 'x'; break;
                    case 10: h.s = (short) v; break;
                    case 11: h.z = true; break;
                }
                steps++;
            } catch (NullPointerException e) {
                t = e;
            }
            report("store " + names[k], t);
        }
    }

    static void fieldsOfUnloaded(int v) {
        for (int k = 0; k < 5; k++) {
            Throwable t = null;
            int acc = 0;
            try {
                Unloaded u = null;
                switch (k) {
                    case 0: acc = u.i; break;
                    case 1: acc = (int) u.l; break;
                    case 2: u.i = v; break;
                    case 3: u.l = 9L; break;
                    case 4: u.d = v; break;
                }
                steps++;
            } catch (NullPointerException e) {
                t = e;
            }
            report("unresolved " + k + " " + acc, t);
        }
    }

    static void arrays(int v) {
        String[] names = {"iaload", "laload", "faload", "daload", "baload", "caload", "saload", "aaload",
                          "iastore", "lastore", "dastore", "bastore", "aastore", "arraylength"};
        for (int k = 0; k < names.length; k++) {
            Throwable t = null;
            long acc = 0;
            try {
                int[] ia = null; long[] la = null; float[] fa = null; double[] da = null;
                byte[] ba = null; char[] ca = null; short[] sa = null; Object[] oa = null;
                switch (k) {
                    case 0: acc = ia[v]; break;
                    case 1: acc = la[1]; break;
                    case 2: acc = (long) fa[v]; break;
                    case 3: acc = (long) da[0]; break;
                    case 4: acc = ba[v]; break;
                    case 5: acc = ca[2]; break;
                    case 6: acc = sa[v]; break;
                    case 7: acc = oa[v] == null ? 1 : 2; break;
                    case 8: ia[v] = 3; break;
                    case 9: la[0] = v; break;
                    case 10: da[v] = 1.5; break;
                    case 11: ba[1] = (byte) v; break;
                    case 12: oa[v] = names; break;
                    case 13: acc = ia.length; break;
                }
                steps++;
            } catch (NullPointerException e) {
                t = e;
            }
            report(names[k] + " " + acc, t);
        }
    }

    static void callsAndMonitors() {
        String[] names = {"virtual", "interface", "private", "final", "monitor", "athrow"};
        for (int k = 0; k < names.length; k++) {
            Throwable t = null;
            int acc = 0;
            try {
                Box h = null;
                Shape s = null;
                switch (k) {
                    case 0: acc = h.hashCode(); break;
                    case 1: acc = s.area(); break;
                    case 2: acc = h.hidden(); break;
                    case 3: acc = h.fixed(); break;
                    case 4: synchronized (h) { steps += 100; } break;
                    case 5: { RuntimeException e = null; throw e; }
                }
                steps++;
            } catch (NullPointerException e) {
                t = e;
            }
            report(names[k] + " " + acc, t);
        }
    }

    public static void main(String[] args) {
        fieldLoads();
        fieldStores(args.length + 3);
        fieldsOfUnloaded(args.length + 4);
        arrays(args.length);
        callsAndMonitors();
        Box b = new Box();
        b.i = 5;
        p("live box " + b.area() + " " + b.hidden() + " " + b.fixed());
        p("done");
    }
}
