// Activations that continue their long loop in compiled code, and what such
// a frame must still do right: carry parameters and locals of every kind
// over, call out with mixed argument words, catch exceptions raised in the
// loop, by callees and by hardware faults, let an exception escape to an
// interpreted caller, hold and release monitors (also when a raise leaves a
// synchronized block or method), return every kind of result, start a
// transfer of its own in a callee, sit below interpreted recursion and run
// on a second thread.  Every method with a loop is called once (or with its
// loop on one call only), so that under default options its loop moves to
// compiled code.
public class XferFrames {
    static class Boom extends RuntimeException {
        final int at;
        final long l;
        final double d;

        Boom(int at, long l, double d) {
            super("boom " + at);
            this.at = at;
            this.l = l;
            this.d = d;
        }
    }

    static final Object LOCK = new Object();
    static int counter;

    static int helper(int a, long b, double c, Object o, float f) {
        return a + (int) (b >>> 40) + (int) c + (o == null ? 1 : 2) + (int) f;
    }

    static String carried(int p, long q, float f, double d, String s, int[] arr) {
        long l = q ^ 0x0123456789ABCDEFL;
        double x = d * 3.25;
        float g = f;
        String t = s;
        int h = 0;
        for (int i = 0; i < 7000; i++) {
            l = l * 6364136223846793005L + 1442695040888963407L;
            x = x * 0.999 + (i & 3);
            g = g + 0.5f;
            h += helper(i, l, x, (i & 1) == 0 ? null : t, g);
            arr[i & 7] += p;
            if (i % 2500 == 0)
                t = t + i;
        }
        return p + " " + q + " " + f + " " + d + " " + s + " " + l + " " + x + " " + g + " " + t + " " + h
            + " " + arr[3];
    }

    static int thrower(int i) {
        if (i % 1500 == 1499)
            throw new Boom(i, i * 3L, i * 0.5);
        return i & 5;
    }

    static String catchInside(int[] a) {
        int bounds = 0;
        int nulls = 0;
        int booms = 0;
        int s = 0;
        for (int i = 0; i < 9000; i++) {
            try {
                s += a[i % (a.length + 1)];
            } catch (ArrayIndexOutOfBoundsException e) {
                bounds++;
            }
            int[] z = i % 3000 == 2999 ? null : a;
            try {
                s += z.length;
            } catch (NullPointerException e) {
                nulls++;
            }
            try {
                s += thrower(i);
            } catch (Boom b) {
                booms++;
                s -= b.at + (int) b.l;
            }
        }
        return bounds + " " + nulls + " " + booms + " " + s;
    }

    static long throwsOut(long seed, double d) {
        long l = seed;
        for (int i = 0;; i++) {
            l = l * 31 + i;
            d = d + 0.25;
            if (i == 6543)
                throw new Boom(i, l, d);
        }
    }

    static int throwThrough(int n) {
        int s = 0;
        for (int i = 0; i < n; i++)
            s += thrower(i < 5000 ? 0 : 1499);
        return s;
    }

    static int syncBlocks(Object lock) {
        int s = 0;
        for (int i = 0; i < 7000; i++) {
            synchronized (lock) {
                s += i ^ counter;
                counter++;
            }
        }
        return s;
    }

    static int syncThrowInside(Object lock) {
        int s = 0;
        for (int i = 0; i < 7000; i++) {
            try {
                synchronized (lock) {
                    s += i;
                    if (i % 2000 == 1999)
                        throw new Boom(i, 0, 0);
                }
            } catch (Boom b) {
                s -= b.at;
            }
        }
        return s;
    }

    synchronized int syncMethodThrows(int n, long k) {
        long s = k;
        for (int i = 0; i < n; i++) {
            s += i;
            if (i == n - 1)
                throw new Boom(i, s, 0);
        }
        return (int) s;
    }

    static synchronized int inner(int n, long k, double d) {
        long acc = k;
        for (int i = 0; i < n; i++)
            acc += i * d > 100 ? 1 : 2;
        if ((acc & 1) == 0)
            throw new Boom(n, acc, d);
        return (int) acc;
    }

    static String outer() {
        long total = 0;
        String note = "none";
        for (int i = 0; i < 6000; i++) {
            total += i;
            if (i == 3000) {
                try {
                    total += inner(4999, 8, 0.5);
                } catch (Boom b) {
                    note = "caught " + b.l + " " + b.at;
                }
            }
            if (i == 4000)
                total += inner(5000, 8, 0.5);
        }
        return total + " " + note;
    }

    static long rec(int depth, long v) {
        if (depth > 0)
            return rec(depth - 1, v * 3) + depth;
        for (int i = 0; i < 5000; i++)
            v += i ^ 0x55;
        return v;
    }

    static int recThrow(int depth) {
        if (depth == 2) {
            try {
                return recThrow(depth - 1);
            } catch (Boom b) {
                return -b.at;
            }
        }
        if (depth > 0)
            return recThrow(depth - 1) + 1;
        int s = 0;
        for (int i = 0;; i++) {
            s += i;
            if (i == 4321)
                throw new Boom(s, 0, 0);
        }
    }

    static double dloop(double x) {
        for (int i = 0; i < 5000; i++)
            x = x * 1.0001 + 0.5;
        return x;
    }

    static float floop(float x) {
        for (int i = 0; i < 5000; i++)
            x = x * 0.999f + 1.0f;
        return x;
    }

    static long sum;

    static void vloop(int n) {
        long s = 0;
        for (int i = 0; i < n; i++)
            s += (long) i * i;
        sum = s;
    }

    static class Worker implements Runnable {
        long result;

        public void run() {
            long r = 17;
            for (int i = 0; i < 8000; i++)
                r = r * 37 + (i ^ (r >>> 13));
            result = r;
        }
    }

    static void lockState(String what, Object lock) {
        System.out.println(what + (Thread.holdsLock(lock) ? " still held" : " released"));
    }

    public static void main(String[] args) throws InterruptedException {
        int[] arr = new int[8];
        System.out.println("carried " + carried(3, -77L, 1.25f, 2.5, "s", arr));
        System.out.println("catchInside " + catchInside(new int[] {1, 2, 3, 4, 5, 6, 7}));
        try {
            System.out.println("throwsOut returned " + throwsOut(5, 1.5));
        } catch (Boom b) {
            System.out.println("throwsOut " + b.getMessage() + " " + b.l + " " + b.d);
        }
        try {
            System.out.println("throwThrough returned " + throwThrough(8000));
        } catch (Boom b) {
            System.out.println("throwThrough " + b.getMessage());
        }
        Object lock = new Object();
        System.out.println("syncBlocks " + syncBlocks(lock) + " " + counter);
        lockState("syncBlocks lock", lock);
        System.out.println("syncThrowInside " + syncThrowInside(lock));
        lockState("syncThrowInside lock", lock);
        XferFrames x = new XferFrames();
        try {
            System.out.println("syncMethodThrows returned " + x.syncMethodThrows(6000, 9));
        } catch (Boom b) {
            System.out.println("syncMethodThrows " + b.getMessage() + " " + b.l);
        }
        lockState("syncMethodThrows lock", x);
        System.out.println("outer " + outer());
        lockState("inner lock", XferFrames.class);
        System.out.println("rec " + rec(3, 2));
        System.out.println("recThrow " + recThrow(4));
        System.out.println("dloop " + dloop(0.25));
        System.out.println("floop " + floop(2.0f));
        vloop(6000);
        System.out.println("vloop " + sum);
        Worker w = new Worker();
        Thread t = new Thread(w);
        t.start();
        t.join();
        System.out.println("worker " + w.result);
    }
}
