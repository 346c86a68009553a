// FieldCache: fields of `this` and statics kept in locals by the compiler.
// Each case reads and writes fields around the things that must see memory
// current or must drop a cached value: a write through another reference to
// the same object, calls, monitors, volatile fields, exceptions thrown in the
// middle of a method whose caller looks at the fields, and class
// initialization that writes the field.  Every method runs often enough to
// be compiled.
public class FieldCache {
    static void p(String s) { System.out.println(s); }

    int v;
    int count;
    long lf;
    long total;
    double dsum;
    volatile int vol;
    int[] data = {3, 1, 4, 1, 5, 9, 2, 6};
    static int sv;
    static long sink;
    static FieldCache current;

    static class Sub extends FieldCache {}

    // Its initializer writes the field of the object being worked on.
    static class Lazy {
        static int seen;
        static {
            current.count += 100;
            seen = current.count;
        }
    }

    // A write through `other` (the same object) changes what the next block
    // reads through `this`.
    int alias(FieldCache other, int n) {
        int r = 0;
        for (int i = 0; i < n; i++) {
            r += v;
            if ((i & 1) == 0)
                other.v = i * 3 + r;
            r += v;
            r += v;
        }
        return r;
    }

    int sum() {
        total = 0;
        for (int i = 0; i < data.length; i++)
            total += data[i];
        return (int) total;
    }

    void bump() { count += 7; }

    // The call changes the field between two reads.
    int withCalls(int n) {
        int r = 0;
        for (int i = 0; i < n; i++) {
            r += count;
            if (i == 2)
                bump();
            r += count + count;
        }
        return r;
    }

    // Reads inside a monitor are not carried across it.
    int withMonitor(int n) {
        int r = 0;
        for (int i = 0; i < n; i++) {
            r += count;
            synchronized (this) {
                count = count + 1;
                r += count;
            }
            r += count;
        }
        return r;
    }

    int withVolatile(int n) {
        int r = 0;
        for (int i = 0; i < n; i++) {
            vol = vol + i;
            r += vol + vol;
        }
        return r;
    }

    // The write stays in the cache local only where later writes follow;
    // the cast may throw, and the caller must see the write.
    int castAfterWrite(FieldCache h, int c) {
        int x = h.v;
        count = count + 1;
        Sub s = (Sub) h;
        if (x > c) {
            count = count + 2;
            return count;
        }
        count = count + 3;
        return count + (s == null ? 0 : 1);
    }

    // The same for a store into an array that may not take the value.
    int storeAfterWrite(Object[] a, Object o, int n) {
        for (int i = 0; i < n; i++) {
            count = count + 1;
            a[i] = o;
            count = count + 1;
        }
        return count;
    }

    // Creating the first Lazy runs its initializer, which adds 100.
    int newRunsInitializer() {
        int before = count + count + count;
        Object o = new Lazy();
        int after = count + count + count;
        return after - before + (o == null ? 1 : 0);
    }

    // A long field loaded before a compare whose operands are on the stack.
    long pick(int c, int i, int n) {
        if (c > 0) {
            sink = lf;
            sink = lf;
            sink = lf;
        } else if (i < n) {
            c = 1;
        }
        return lf;
    }

    // A long field written in a loop and written back at the return.
    long longLoop(int n) {
        for (int i = 0; i < n; i++)
            lf = lf + i;
        if (n > 3)
            return lf + lf;
        return lf;
    }

    double doubles(int n) {
        for (int i = 0; i < n; i++)
            dsum = dsum + i * 0.5;
        return dsum;
    }

    static int statics(int n) {
        for (int i = 0; i < n; i++)
            sv = sv + sv % 7 + i;
        return sv + sv;
    }

    // A field of an object that may be null: the read must throw where the
    // program reads it, after the earlier writes.
    static int nullBase(FieldCache q, int n) {
        int r = 0;
        for (int i = 0; i < n; i++) {
            sv = i;
            r += q.v + q.v + q.v;
        }
        return r;
    }

    public static void main(String[] args) {
        FieldCache a = new FieldCache();
        current = a;
        long h = 0;
        for (int k = 0; k < 3000; k++) {
            a.v = k;
            h = h * 31 + a.alias(a, 5);
            h = h * 31 + a.sum();
            a.count = k;
            h = h * 31 + a.withCalls(4);
            h = h * 31 + a.withMonitor(3);
            h = h * 31 + a.withVolatile(3);
            h = h * 31 + a.pick(k % 3 - 1, k % 5, 2);
            a.lf = k;
            h = h * 31 + a.longLoop(k % 6);
            h = h * 31 + (long) a.doubles(2);
            h = h * 31 + statics(3);
        }
        p("hash " + h);
        a.v = 2;
        p("alias " + a.alias(a, 6) + " v=" + a.v);
        a.count = 10;
        p("calls " + a.withCalls(5) + " count=" + a.count);
        p("monitor " + a.withMonitor(4) + " count=" + a.count);
        p("volatile " + a.withVolatile(5) + " vol=" + a.vol);
        a.lf = 5;
        p("pick " + a.pick(1, 0, 0) + " " + a.pick(0, 1, 2) + " " + a.pick(0, 3, 2));
        p("long " + a.longLoop(5) + " lf=" + a.lf);
        p("statics " + statics(4) + " sv=" + sv);

        FieldCache plain = new FieldCache();
        Sub sub = new Sub();
        int r = 0;
        for (int k = 0; k < 3000; k++) {
            sub.count = 0;
            sub.v = k & 1;
            r += sub.castAfterWrite(sub, 0);
        }
        p("cast ok " + r);
        a.count = 20;
        a.v = 5;
        try {
            a.castAfterWrite(plain, 0);
            p("cast no exception");
        } catch (ClassCastException e) {
            p("cast threw, count=" + a.count);
        }

        Object[] objs = new Object[4];
        for (int k = 0; k < 3000; k++)
            a.storeAfterWrite(objs, "x", 4);
        a.count = 0;
        try {
            a.storeAfterWrite(new String[4], Integer.valueOf(1), 4);
            p("store no exception");
        } catch (ArrayStoreException e) {
            p("store threw, count=" + a.count);
        }

        a.count = 1;
        p("initializer " + a.newRunsInitializer() + " count=" + a.count + " seen=" + Lazy.seen);

        int nr = 0;
        for (int k = 0; k < 3000; k++)
            nr += nullBase(a, 2);
        p("null base ok " + nr);
        sv = -1;
        try {
            nullBase(null, 3);
            p("null base no exception");
        } catch (NullPointerException e) {
            p("null base threw, sv=" + sv);
        }
    }
}
