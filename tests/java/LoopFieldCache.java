// LoopFieldCache: fields that a method only reads, kept in locals across its
// loops by the compiler.  Each case reads a field in a loop while something
// else may change it or must see it current: another thread writing it
// under a lock (the reader takes the lock, or calls a synchronized method),
// a call that writes it, a write through another reference to the same
// object, a class whose initializer prints when the loop first touches it,
// and a null reference field whose use must throw at the original place.
// Every method runs often enough to be compiled.
public class LoopFieldCache {
    static void p(String s) { System.out.println(s); }

    // ---- a writer thread and a reader that polls under the lock ------------

    static final int ITEMS = 200;
    static final long BUDGET = 400000000L;

    final Object lock = new Object();
    int sent;           // written by the feeder thread only
    int received;       // written by the reader only
    long spins;

    // Polls `sent` inside a synchronized block; no call in the loop.
    int drainLocked(int n) {
        int sum = 0;
        int got = 0;
        long budget = BUDGET;
        while (got < n && budget > 0) {
            synchronized (lock) {
                if (sent != received) {
                    received = sent;
                    sum += sent;
                    got++;
                }
            }
            budget--;
        }
        spins = BUDGET - budget;
        return sum;
    }

    synchronized void tick() { spins++; }

    // Polls `sent` outside any block; the synchronized call in the loop is
    // where another thread's writes become visible.
    int drainCalling(int n) {
        int sum = 0;
        int got = 0;
        long budget = BUDGET;
        while (got < n && budget > 0) {
            int s = sent;
            if (s != received) {
                received = s;
                sum += s;
                got++;
            }
            tick();
            budget--;
        }
        return sum;
    }

    // Runs in the feeder thread: hands out 1..n, one at a time, each after
    // the reader took the last one.
    void feed(int n) {
        int i = 1;
        long budget = BUDGET;
        while (i <= n && budget > 0) {
            synchronized (lock) {
                if (received == sent) {
                    sent = i;
                    i++;
                }
            }
            budget--;
        }
    }

    static void threads(boolean calling) throws InterruptedException {
        final LoopFieldCache c = new LoopFieldCache();
        Thread feeder = new Thread() {
            public void run() { c.feed(ITEMS); }
        };
        feeder.start();
        int sum = calling ? c.drainCalling(ITEMS) : c.drainLocked(ITEMS);
        feeder.join();
        p((calling ? "calling" : "locked") + " sum=" + sum + " last=" + c.received);
    }

    // ---- a call that writes the field ------------------------------------------

    int level;
    int[] steps = new int[4];

    void raise() {
        // Not small enough to be expanded in the caller.
        level++;
        steps[level & 3]++;
        if (level > 1000000) throw new IllegalStateException("runaway");
    }

    int climb(int target) {
        int n = 0;
        while (level < target && n < 1000) {
            raise();
            n++;
        }
        return n;
    }

    // ---- a write through another reference ---------------------------------------

    int shared;

    int aliasLoop(LoopFieldCache other, int n) {
        int sum = 0;
        for (int i = 0; i < n; i++) {
            sum += shared;
            other.shared = i;
        }
        return sum;
    }

    // ---- class initialization inside the loop ------------------------------------

    static class Late {
        static int base = 7;
        static {
            stamp = 100;
            p("Late initialized");
        }
    }

    static int stamp;

    // Touches Late only from the fourth iteration on; runs often with fewer
    // iterations first, so that it is compiled before Late is initialized.
    // The iterations before the first touch must not see the initializer's
    // write.
    int lateLoop(int n) {
        int sum = 0;
        for (int i = 0; i < n; i++) {
            sum = sum * 3 + stamp;
            if (i >= 3)
                sum += Late.base;
        }
        return sum;
    }

    // A class whose initialization fails: every later use of it throws
    // NoClassDefFoundError, which must come from the loop's fourth
    // iteration, not from the method's entry.
    static class Broken {
        static int value = 5;
        static {
            if (value == 5)
                throw new IllegalStateException("Broken");
        }
    }

    int progress;

    int brokenLoop(int n) {
        int sum = 0;
        for (int i = 0; i < n; i++) {
            progress = i;
            if (i >= 3)
                sum += Broken.value;
            sum += i;
        }
        return sum;
    }

    // ---- read-only fields that may be cached ---------------------------------------

    int scale = 3;
    long wide = 5000000000L;
    double ratio = 0.5;
    int[] table;
    static int offset = 11;
    static long bias = -3;

    long sums(int n) {
        long r = 0;
        double d = 0;
        for (int i = 0; i < n; i++) {
            r += scale * i + wide + offset + bias;
            d += ratio;
        }
        return r + (long) d;
    }

    // A field read three times outside any loop, then a loop of its own.
    int thrice(int n) {
        int a = scale + 1;
        int b = scale * 2;
        int c = scale - 1;
        int s = 0;
        for (int i = 0; i < n; i++)
            s += i;
        return a + b + c + s;
    }

    // `table` is null: the loop must throw at its first use, after the
    // output of the iterations before it.
    int tableLoop(int n) {
        int s = 0;
        for (int i = 0; i < n; i++) {
            if (i == 2)
                p("tableLoop reaches i=" + i);
            if (i >= 2)
                s += table.length;
            else
                s += scale;
        }
        return s;
    }

    // A handler in the method: the loop reads the field before and after
    // the exception.
    int guarded(int[] a) {
        int s = 0;
        for (int i = 0; i < 6; i++) {
            try {
                s += a[i] * scale;
            } catch (ArrayIndexOutOfBoundsException e) {
                s += 1000 * scale;
            }
        }
        return s;
    }

    public static void main(String[] args) throws InterruptedException {
        LoopFieldCache c = new LoopFieldCache();
        LoopFieldCache d = new LoopFieldCache();
        int[] a = {1, 2, 3, 4};
        long h = 0;
        try {
            p("Broken " + Broken.value);
        } catch (ExceptionInInitializerError e) {
            p("Broken: " + e.getCause().getMessage());
        }
        for (int k = 0; k < 2100; k++) {
            h = h * 31 + c.brokenLoop(3);
            c.level = k % 7;
            h = h * 31 + c.climb(10);
            c.shared = k;
            h = h * 31 + c.aliasLoop(c, 4);
            d.shared = k;
            h = h * 31 + d.aliasLoop(c, 3);
            h = h * 31 + c.lateLoop(3);
            h = h * 31 + c.sums(k % 5);
            h = h * 31 + c.thrice(k % 4);
            h = h * 31 + c.guarded(a);
            h = h * 31 + c.tableLoop(2);
        }
        p("hash " + h);
        c.level = 0;
        p("climb " + c.climb(10) + " level=" + c.level);
        c.shared = 100;
        p("alias " + c.aliasLoop(c, 5) + " shared=" + c.shared);
        d.shared = 4;
        p("alias other " + d.aliasLoop(c, 5));
        c.progress = -1;
        try {
            p("brokenLoop " + c.brokenLoop(5));
        } catch (NoClassDefFoundError e) {
            p("brokenLoop NoClassDefFoundError, progress=" + c.progress);
        }
        p("before Late");
        p("late " + c.lateLoop(5));
        p("late again " + c.lateLoop(5));
        p("sums " + c.sums(10) + " thrice " + c.thrice(4));
        p("guarded " + c.guarded(a));
        try {
            p("tableLoop " + c.tableLoop(4));
        } catch (NullPointerException e) {
            p("tableLoop NullPointerException");
        }
        c.table = new int[5];
        p("tableLoop " + c.tableLoop(4));
        for (int r = 0; r < 3; r++) {
            threads(false);
            threads(true);
        }
    }
}
