// Threads started and joined in rounds, each round running code that no
// thread ran before (a class of its own, released to all its threads at
// once), counting under a shared lock and under the class monitor of a
// static synchronized method.  Finished threads' numbers and stacks are
// reused by the next round.  A thread that dies early or a join that returns
// before its thread ended loses that thread's counts.  Then monitors are
// inflated while other threads contend for them (a wait inside the block,
// nesting past the thin count) and values are handed over by wait/notify.
public class ThreadJoinRace {
    static final int ROUNDS = 16;
    static final int THREADS = 3;
    static final int STEPS = 40;
    static final Object lock = new Object();
    static volatile boolean go;
    static int shared, bumps;

    static synchronized void bump(int v) { bumps += v; }

    abstract static class Work extends Thread {
        final int add;
        Work(int add) { this.add = add; }
    }

    // Copies on purpose: each round's threads must be the first to run the
    // body (its field and method references unresolved, its instructions not
    // yet quickened).
    static final class W0 extends Work {
        W0(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W1 extends Work {
        W1(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W2 extends Work {
        W2(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W3 extends Work {
        W3(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W4 extends Work {
        W4(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W5 extends Work {
        W5(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W6 extends Work {
        W6(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W7 extends Work {
        W7(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W8 extends Work {
        W8(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W9 extends Work {
        W9(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W10 extends Work {
        W10(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W11 extends Work {
        W11(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W12 extends Work {
        W12(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W13 extends Work {
        W13(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W14 extends Work {
        W14(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }
    static final class W15 extends Work {
        W15(int add) { super(add); }
        public void run() {
            while (!go) Thread.yield();
            for (int i = 0; i < STEPS; i++) { synchronized (lock) { shared += add; } bump(1); }
        }
    }

    static Work make(int round, int add) {
        switch (round) {
            case 0: return new W0(add);
            case 1: return new W1(add);
            case 2: return new W2(add);
            case 3: return new W3(add);
            case 4: return new W4(add);
            case 5: return new W5(add);
            case 6: return new W6(add);
            case 7: return new W7(add);
            case 8: return new W8(add);
            case 9: return new W9(add);
            case 10: return new W10(add);
            case 11: return new W11(add);
            case 12: return new W12(add);
            case 13: return new W13(add);
            case 14: return new W14(add);
            case 15: return new W15(add);
            default: return null;
        }
    }

    static boolean firstRuns() throws InterruptedException {
        boolean ok = true;
        for (int r = 0; r < ROUNDS; r++) {
            shared = 0;
            bumps = 0;
            go = false;
            Work[] ts = new Work[THREADS];
            for (int t = 0; t < THREADS; t++) {
                ts[t] = make(r, 1 << t);
                ts[t].start();
            }
            go = true;
            for (int t = 0; t < THREADS; t++)
                ts[t].join();
            int want = STEPS * ((1 << THREADS) - 1);
            if (shared != want || bumps != STEPS * THREADS) {
                System.out.println("round " + r + ": shared " + shared + " (want " + want + "), bumps " + bumps
                                   + " (want " + STEPS * THREADS + ")");
                ok = false;
            }
        }
        return ok;
    }

    static int counter;

    static void nest(Object o, int depth) {
        synchronized (o) {
            counter++;
            if (depth > 0)
                nest(o, depth - 1);
        }
    }

    // One thread waits inside the block, another nests past the thin count,
    // while the others keep entering: each round a fresh, thin lock.
    static boolean inflation() throws InterruptedException {
        boolean ok = true;
        for (int r = 0; r < 8; r++) {
            final Object o = new Object();
            final int round = r;
            counter = 0;
            Thread[] ts = new Thread[THREADS];
            for (int t = 0; t < THREADS; t++) {
                final int id = t;
                ts[t] = new Thread() {
                    public void run() {
                        for (int i = 0; i < 100; i++) {
                            synchronized (o) {
                                counter++;
                                if (id == round % THREADS && i == 30) {
                                    try {
                                        o.wait(1);
                                    } catch (InterruptedException e) {
                                        return;
                                    }
                                }
                                if (id == (round + 1) % THREADS && i == 60)
                                    nest(o, 299);
                            }
                        }
                    }
                };
            }
            for (int t = 0; t < THREADS; t++)
                ts[t].start();
            for (int t = 0; t < THREADS; t++)
                ts[t].join();
            if (counter != 100 * THREADS + 300) {
                System.out.println("inflation round " + r + ": counter " + counter);
                ok = false;
            }
        }
        return ok;
    }

    // Every value passes through a one-element slot.
    static long handOff(final int n) throws InterruptedException {
        final Object slot = new Object();
        final int[] box = {-1};
        final long[] sum = {0};
        Thread consumer = new Thread() {
            public void run() {
                for (int i = 0; i < n; i++) {
                    synchronized (slot) {
                        try {
                            while (box[0] < 0)
                                slot.wait();
                        } catch (InterruptedException e) {
                            return;
                        }
                        sum[0] += box[0];
                        box[0] = -1;
                        slot.notifyAll();
                    }
                }
            }
        };
        consumer.start();
        for (int i = 0; i < n; i++) {
            synchronized (slot) {
                while (box[0] >= 0)
                    slot.wait();
                box[0] = i;
                slot.notifyAll();
            }
        }
        consumer.join();
        return sum[0];
    }

    public static void main(String[] args) throws Exception {
        System.out.println("first runs complete: " + firstRuns());
        System.out.println("inflation under contention complete: " + inflation());
        System.out.println("hand-off sum " + handOff(1000));
    }
}
