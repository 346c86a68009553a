// Synchronized methods called in loops, shaped the way the compiler's
// monitor optimizations see them once the calls are inlined:
//  - "while (box.more()) box.work();" from two threads: the test's monitor
//    region and the body's follow each other around the back edge, neither
//    holds the other, so every update of the body must stay locked;
//  - a spin on a plain field with a synchronized call in the loop: the call
//    takes the monitor, so the field must be read again after it;
//  - a loop of synchronized calls that throws, caught inside and outside the
//    method: afterwards another thread must be able to take the monitor.
public class SyncRegions {
    static class Box {
        int budget;
        int value;
        boolean ready;

        synchronized boolean more() {
            if (budget == 0)
                return false;
            budget--;
            return true;
        }

        synchronized void work() {
            int v = value;
            Thread.yield();
            value = v + 1;
        }

        synchronized void touch() { }

        synchronized void step(int i) {
            value += i;
            if (i == 5)
                throw new IllegalStateException("step " + i);
        }
    }

    static void drain(Box box) {
        while (box.more())
            box.work();
    }

    static void backEdge() throws InterruptedException {
        final Box box = new Box();
        box.budget = 4000;
        Thread other = new Thread() {
            public void run() { drain(box); }
        };
        other.start();
        drain(box);
        other.join();
        System.out.println("back edge: value " + box.value + " budget " + box.budget);
    }

    static void spin() throws InterruptedException {
        final Box box = new Box();
        Thread setter = new Thread() {
            public void run() {
                synchronized (box) {
                    box.ready = true;
                }
            }
        };
        setter.start();
        long start = System.currentTimeMillis();
        int rounds = 0;
        while (!box.ready) {
            box.touch();
            if (++rounds % 1024 == 0 && System.currentTimeMillis() - start > 60000)
                break;
        }
        setter.join();
        System.out.println("spin: " + (box.ready ? "saw the store" : "gave up"));
    }

    static int loopCaught(Box box) {
        int i = 0;
        try {
            for (i = 0; i < 10; i++)
                box.step(i);
        } catch (IllegalStateException e) {
            return -i;
        }
        return i;
    }

    static int loopThrows(Box box) {
        int i;
        for (i = 0; i < 10; i++)
            box.step(i);
        return i;
    }

    // Whether another thread can take the box's monitor now.
    static String lockable(final Box box) throws InterruptedException {
        final boolean[] got = new boolean[1];
        Thread t = new Thread() {
            public void run() {
                synchronized (box) {
                    got[0] = true;
                }
            }
        };
        t.start();
        t.join(60000);
        return got[0] ? "free" : "still held";
    }

    static void throwing() throws InterruptedException {
        Box box = new Box();
        System.out.println("caught in the loop's method: " + loopCaught(box) + ", monitor " + lockable(box));
        try {
            loopThrows(box);
        } catch (IllegalStateException e) {
            System.out.println("caught by the caller: " + e.getMessage() + ", monitor " + lockable(box));
        }
        System.out.println("value " + box.value);
    }

    public static void main(String[] args) throws InterruptedException {
        for (int round = 0; round < 3; round++) {
            backEdge();
            spin();
            throwing();
        }
    }
}
