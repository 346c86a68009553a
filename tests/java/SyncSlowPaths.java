// The out-of-line paths of compiled monitor enter and exit, in code compiled
// with the default options: a hold nested past the inline count (the enter
// and exit calls of the VM), a lock inflated by wait (the exit call), and
// threads contending for one lock (the enter call, and the exit that wakes
// the waiters).  The methods run often enough to be compiled midway, and one
// loop continues in compiled code with a return inside its handler.
public class SyncSlowPaths {
    static int depthCount;
    static long shared;

    static void nest(Object o, int depth) {
        synchronized (o) {
            depthCount++;
            if (depth > 0)
                nest(o, depth - 1);
        }
    }

    static int waitOnce(Object o, int i) throws InterruptedException {
        synchronized (o) {
            if (i % 500 == 0)
                o.wait(1);
            return i & 3;
        }
    }

    static void add(Object lock, int v) {
        synchronized (lock) {
            shared += v;
        }
    }

    // Called once: the loop moves to compiled code before the wait and the
    // deep nesting, which leave the lock inflated and held by this frame.
    static int transferred(Object o) {
        int s = 0;
        for (int i = 0; i < 5000; i++) {
            synchronized (o) {
                s++;
                if (i == 3000) {
                    try {
                        o.wait(1);
                    } catch (InterruptedException e) {
                        return -1;
                    }
                }
                if (i == 4000)
                    nest(o, 299);
            }
        }
        return s;
    }

    public static void main(String[] args) throws InterruptedException {
        Object o = new Object();
        for (int r = 0; r < 12; r++)
            nest(o, 299);
        System.out.println("nested " + depthCount + " held " + Thread.holdsLock(o));

        Object w = new Object();
        int s = 0;
        for (int i = 0; i < 3000; i++)
            s += waitOnce(w, i);
        System.out.println("waited " + s + " held " + Thread.holdsLock(w));

        Object x = new Object();
        System.out.println("transferred " + transferred(x) + " " + depthCount + " held " + Thread.holdsLock(x));

        final Object lock = new Object();
        Thread[] ts = new Thread[4];
        for (int t = 0; t < ts.length; t++) {
            final int v = t + 1;
            ts[t] = new Thread() {
                public void run() {
                    for (int i = 0; i < 5000; i++)
                        add(lock, v);
                }
            };
        }
        for (int t = 0; t < ts.length; t++)
            ts[t].start();
        for (int t = 0; t < ts.length; t++)
            ts[t].join();
        System.out.println("contended " + shared);
    }
}
