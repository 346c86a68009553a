// Casts that class flow must keep: an element read from a local that holds
// arrays of two classes, and a local that an exception handler reaches with
// whatever the try region left in it.  Casts and instanceof tests it may
// decide (fresh objects, copies of them, elements of a fresh array) run
// beside them.  Each method is warmed up until it is compiled.
public class BcClassFacts {
    static class A { int v = 1; }
    static class B { int w = 2; int v2 = 3; }
    static class C extends A { int u = 4; }

    static int elementOfTwo(A[] pa, boolean k) {
        Object[] x = pa;
        if (k)
            x = new B[] { new B() };
        Object y = x[0];
        return ((A) y).v;
    }

    static void boom(boolean t) {
        if (t)
            throw new RuntimeException("boom");
    }

    static int afterHandler(boolean t) {
        Object o = new A();
        try {
            boom(t);
            o = new B();
        } catch (RuntimeException e) {
            System.out.print("");
        }
        return ((B) o).w;
    }

    // Decidable: a fresh object cast to its class and to a superclass, a copy
    // of it tested with instanceof, and an element of a fresh array.
    static int fresh(int n) {
        Object o = new C();
        Object p = o;
        int s = ((A) o).v + ((C) p).u;
        if (p instanceof A)
            s += 10;
        if (p instanceof B)
            s += 100;
        Object[] arr = new A[] { new C() };
        Object e = arr[0];
        s += ((A) e).v;
        String str = "x" + n;
        Object t = str;
        s += ((String) t).length();
        return s;
    }

    // A proven cast of a value a dup copied, stored back into its own local.
    static int dupCast(int n) {
        Object x = new C();
        Object w = new B();
        Object y;
        x = (A) (y = x);
        return ((A) x).v + (y == x ? 1 : 0) + ((C) y).u + (w != null ? n : 0);
    }

    public static void main(String[] args) {
        A[] as = { new A() };
        long sum = 0;
        for (int i = 0; i < 6000; i++)
            sum += elementOfTwo(as, false) + afterHandler(false) + fresh(i & 7) + dupCast(i & 3);
        System.out.println("warm " + sum);
        try {
            System.out.println("elementOfTwo " + elementOfTwo(as, true));
        } catch (ClassCastException e) {
            System.out.println("elementOfTwo CCE");
        }
        try {
            System.out.println("afterHandler " + afterHandler(true));
        } catch (ClassCastException e) {
            System.out.println("afterHandler CCE");
        }
        System.out.println("fresh " + fresh(12345));
        System.out.println("dupCast " + dupCast(100));
    }
}
