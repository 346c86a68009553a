// Four threads run, at the same moment, code that nobody ran before: each
// round is a class of its own, so its constant-pool entries (static, virtual,
// private, super and interface methods; instance fields; volatile long and
// double statics; classes, strings) are resolved and its instructions
// quickened by all threads at once.  Every thread must compute the same sums.
public class ResolveRace {
    static final int THREADS = 4;
    static final int ROUNDS = 8;
    static final Object lock = new Object();
    static int arrived;
    static volatile int released;

    interface Shape { int area(); }

    static class Base {
        int base() { return 7; }
    }

    static final class R0 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 1;
        static volatile double vd = 0.25;
        static int si = 0;
        int f = 2;
        long g = 3L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 0; }
        static long run(int id) {
            R0 o = new R0();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 1;
            vd = 0.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r0";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }
    static final class R1 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 2;
        static volatile double vd = 1.25;
        static int si = 1;
        int f = 3;
        long g = 4L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 1; }
        static long run(int id) {
            R1 o = new R1();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 2;
            vd = 1.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r1";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }
    static final class R2 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 3;
        static volatile double vd = 2.25;
        static int si = 2;
        int f = 4;
        long g = 5L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 2; }
        static long run(int id) {
            R2 o = new R2();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 3;
            vd = 2.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r2";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }
    static final class R3 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 4;
        static volatile double vd = 3.25;
        static int si = 3;
        int f = 5;
        long g = 6L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 3; }
        static long run(int id) {
            R3 o = new R3();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 4;
            vd = 3.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r3";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }
    static final class R4 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 5;
        static volatile double vd = 4.25;
        static int si = 4;
        int f = 6;
        long g = 7L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 4; }
        static long run(int id) {
            R4 o = new R4();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 5;
            vd = 4.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r4";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }
    static final class R5 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 6;
        static volatile double vd = 5.25;
        static int si = 5;
        int f = 7;
        long g = 8L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 5; }
        static long run(int id) {
            R5 o = new R5();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 6;
            vd = 5.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r5";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }
    static final class R6 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 7;
        static volatile double vd = 6.25;
        static int si = 6;
        int f = 8;
        long g = 9L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 6; }
        static long run(int id) {
            R6 o = new R6();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 7;
            vd = 6.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r6";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }
    static final class R7 extends Base implements Shape {
        static volatile long vl = 0x100000000L * 8;
        static volatile double vd = 7.25;
        static int si = 7;
        int f = 9;
        long g = 10L;
        static int s(int x) { return x + si; }
        int v(int x) { return x * f; }
        private int p() { return f + 1; }
        public int area() { return f * f; }
        int base() { return super.base() + 7; }
        static long run(int id) {
            R7 o = new R7();
            Shape sh = o;
            Object any = o;
            vl = 0x100000000L * 8;
            vd = 7.25;
            o.g = o.g + 0;
            String[] names = new String[2];
            names[0] = "r7";
            long r = s(id) + o.v(id) + o.p() + sh.area() + o.base() + (vl >>> 32) + (long) (vd * 4) + o.g;
            if (any instanceof Shape) r += ((Shape) any).area();
            return r + names[0].length() + o.f;
        }
    }

    static long round(int r, int id) {
        switch (r) {
            case 0: return R0.run(id);
            case 1: return R1.run(id);
            case 2: return R2.run(id);
            case 3: return R3.run(id);
            case 4: return R4.run(id);
            case 5: return R5.run(id);
            case 6: return R6.run(id);
            case 7: return R7.run(id);
            default: return -1;
        }
    }

    // All threads leave the barrier of round r together.
    static void barrier(int r) {
        synchronized (lock) {
            arrived++;
            if (arrived == THREADS * (r + 1))
                released = r + 1;
        }
        while (released <= r) {
            // spin: the threads must start the round at the same moment
        }
    }

    static final long[][] results = new long[THREADS][ROUNDS];
    static final String[] failures = new String[THREADS];

    public static void main(String[] args) throws Exception {
        Thread[] ts = new Thread[THREADS];
        for (int t = 0; t < THREADS; t++) {
            final int id = t;
            ts[t] = new Thread() {
                public void run() {
                    for (int r = 0; r < ROUNDS; r++) {
                        barrier(r);
                        try {
                            results[id][r] = round(r, 1);
                        } catch (Throwable e) {
                            failures[id] = e.toString();
                        }
                    }
                }
            };
        }
        for (int t = 0; t < THREADS; t++)
            ts[t].start();
        for (int t = 0; t < THREADS; t++)
            ts[t].join();
        for (int t = 0; t < THREADS; t++) {
            if (failures[t] != null)
                System.out.println("thread " + t + " failed: " + failures[t]);
        }
        for (int r = 0; r < ROUNDS; r++) {
            boolean same = true;
            for (int t = 1; t < THREADS; t++)
                same &= results[t][r] == results[0][r];
            System.out.println("round " + r + ": " + results[0][r] + (same ? "" : " (threads disagree)"));
        }
    }
}
