// Synchronized blocks and methods: nesting, re-entry, static and instance
// locks, exceptions thrown inside them (the monitor must be released on the
// way out), and two threads counting under one lock.
public class SyncBlocks {
    static final Object LOCK = new Object();
    static int counter;
    int value;

    synchronized void add(int n) { value += n; }
    static synchronized int twice(int n) { return 2 * n; }

    static int nested(Object a, Object b, int depth) {
        synchronized (a) {
            synchronized (b) {
                if (depth == 0) return 1;
                return 1 + nested(a, b, depth - 1);
            }
        }
    }

    static void throwInside(Object o) {
        synchronized (o) {
            throw new IllegalStateException("inside");
        }
    }

    synchronized void throwInMethod() {
        throw new RuntimeException("method");
    }

    static boolean lockFree(final Object o) throws InterruptedException {
        final boolean[] got = new boolean[1];
        Thread t = new Thread() {
            public void run() {
                synchronized (o) { got[0] = true; }
            }
        };
        t.start();
        t.join();
        return got[0];
    }

    public static void main(String[] args) throws Exception {
        SyncBlocks s = new SyncBlocks();
        for (int i = 1; i <= 10; i++) s.add(i);
        System.out.println("value " + s.value + " twice " + twice(21));
        System.out.println("nested " + nested(LOCK, s, 300));

        try { throwInside(LOCK); } catch (IllegalStateException e) { System.out.println("caught " + e.getMessage()); }
        System.out.println("lock free after throw: " + lockFree(LOCK));
        try { s.throwInMethod(); } catch (RuntimeException e) { System.out.println("caught " + e.getMessage()); }
        System.out.println("receiver free after throw: " + lockFree(s));

        try {
            synchronized ((Object) null) { System.out.println("entered"); }
        } catch (NullPointerException e) { System.out.println("NullPointerException"); }

        Thread[] ts = new Thread[4];
        for (int k = 0; k < ts.length; k++) {
            ts[k] = new Thread() {
                public void run() {
                    for (int i = 0; i < 2000; i++) {
                        synchronized (LOCK) { counter++; }
                    }
                }
            };
            ts[k].start();
        }
        for (Thread t : ts) t.join();
        System.out.println("counter " + counter);
    }
}
