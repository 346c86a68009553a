// Hardware faults in compiled code (null field read, integer division by
// zero) taken repeatedly by a thread after other threads were started and
// had ended.  Returning from the fault signal reloads the thread's TLS
// segment; a stale descriptor gave the main thread the TLS of the last
// thread started (a dead one), and the next fault found "no Java thread".
// The started threads fault at the same time as each other.
public class FaultAfterThread {
    static class Box { int v = 5; }
    static Box[] boxes = { new Box(), null };
    static int shared;
    static final Object lock = new Object();

    static int read(int k) { return boxes[k].v; }
    static int div(int a, int b) { return a / b; }

    static int faults(int rounds) {
        int n = 0;
        for (int r = 0; r < rounds; r++) {
            try { n += read(r & 1); } catch (NullPointerException e) { n += 100; }
            try { n += div(r, r & 1); } catch (ArithmeticException e) { n += 1000; }
        }
        return n;
    }

    static void run2() throws InterruptedException {
        Thread[] ts = new Thread[2];
        for (int t = 0; t < 2; t++) {
            final int add = t + 1;
            ts[t] = new Thread() {
                public void run() {
                    for (int i = 0; i < 200; i++)
                        synchronized (lock) { shared += add; }
                    int f = faults(20);     // faulting together
                    synchronized (lock) { shared += f; }
                }
            };
            ts[t].start();
        }
        for (int t = 0; t < 2; t++) ts[t].join();
    }

    public static void main(String[] args) throws Exception {
        System.out.println("before " + faults(4));
        run2();
        System.out.println("shared " + shared);
        System.out.println("after " + faults(6));
        run2();
        System.out.println("shared " + shared);
        System.out.println("again " + faults(6));
    }
}
