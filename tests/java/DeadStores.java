// Stores into locals that nothing reads again: the work behind them may go,
// but never an exception it would raise, a static initialiser it would run,
// or a value an exception handler reads.  Each dead computation sits in a
// method of its own without handlers, called from a catcher.
public class DeadStores {
    static class Late {
        static int seed = init("Late");
    }
    static class LateNew {
        static int seed = init("LateNew");
    }
    static class Cell { int v; long w; }

    static int init(String who) {
        System.out.println("init " + who);
        return 7;
    }

    static void deadDiv(int a, int b) { int x = a / b; }
    static void deadRem(int a, int b) { int x = a % b; }
    static void deadLongDiv(long a, long b) { long x = a / b; }
    static void deadLength(int[] a) { int n = a.length; }
    static void deadField(Cell c) { int v = c.v; }
    static void deadLongField(Cell c) { long w = c.w; }
    static void deadLoad(int[] a, int i) { int v = a[i]; }
    static void deadNewArray(int n) { int[] a = new int[n]; }
    static void deadNewMinusOne() { int[] a = new int[-1]; }
    static void deadNewLarge() { int[] a = new int[-100000]; }
    static void deadNewObjects() { Object[] a = new Object[-7]; }
    static void deadCast(Object o) { String s = (String) o; }
    static void deadStatic() { int s = Late.seed; }
    static void deadNew() { LateNew n = new LateNew(); }
    static void deadIndexOf(String s, String t) { int i = s.indexOf(t); }
    static void deadLengthOfString(String s) { int n = s.length(); }

    // The handler reads x: the store of 2 is live although the normal path
    // overwrites it, because the array store between them may raise.
    static int handlerReads(int[] a, int i) {
        int x = 1;
        try {
            x = 2;
            a[i] = 7;
            x = 3;
        } catch (ArrayIndexOutOfBoundsException e) {
            return x;
        }
        return x * 10;
    }

    // The same through a call that throws, with a long the handler reads.
    static long handlerReadsLong(int k) {
        long v = 10L;
        try {
            v = 20L;
            thrower(k);
            v = 30L;
            thrower(k + 1);
            v = 40L;
        } catch (IllegalStateException e) {
            return v;
        }
        return -v;
    }

    static void thrower(int k) {
        if (k == 0)
            throw new IllegalStateException();
    }

    // Live and dead stores mixed over a loop: the results must not change.
    static int loopMix(int n) {
        int dead = 0, sum = 0, last = 0;
        for (int i = 0; i < n; i++) {
            dead = i * 3;
            last = i;
            sum += last;
            dead = sum;
        }
        long l = 5;
        l = sum;
        return (int) l + last;
    }

    static final String[] CASES = {"div", "rem", "ldiv", "div ok", "length", "field", "long field", "load",
                                   "load null", "new n", "new ok", "new -1", "new large", "new objects", "cast",
                                   "cast ok", "static", "new late", "indexOf", "indexOf ok", "length null"};

    static void run(int c) {
        switch (c) {
        case 0: deadDiv(5, 0); break;
        case 1: deadRem(5, 0); break;
        case 2: deadLongDiv(5L, 0L); break;
        case 3: deadDiv(5, 2); break;
        case 4: deadLength(null); break;
        case 5: deadField(null); break;
        case 6: deadLongField(null); break;
        case 7: deadLoad(new int[2], 2); break;
        case 8: deadLoad(null, 0); break;
        case 9: deadNewArray(-3); break;
        case 10: deadNewArray(3); break;
        case 11: deadNewMinusOne(); break;
        case 12: deadNewLarge(); break;
        case 13: deadNewObjects(); break;
        case 14: deadCast(Integer.valueOf(1)); break;
        case 15: deadCast("s"); break;
        case 16: deadStatic(); break;
        case 17: deadNew(); break;
        case 18: deadIndexOf("abc", null); break;
        case 19: deadIndexOf("abc", "b"); break;
        default: deadLengthOfString(null); break;
        }
    }

    static final int ROUNDS = 2100;

    public static void main(String[] args) {
        // Enough rounds for every method to be compiled hot; the first and the
        // last print.
        for (int round = 0; round < ROUNDS; round++) {
            boolean print = round == 0 || round == ROUNDS - 1;
            for (int c = 0; c < CASES.length; c++) {
                String line;
                try {
                    run(c);
                    line = CASES[c] + ": no exception";
                } catch (Throwable e) {
                    line = CASES[c] + ": " + e.getClass().getName();
                }
                if (print)
                    System.out.println(line);
            }
            String h = "handler " + handlerReads(new int[1], 5) + " " + handlerReads(new int[1], 0);
            String hl = "handler long " + handlerReadsLong(0) + " " + handlerReadsLong(-1) + " " + handlerReadsLong(1);
            String l = "loop " + loopMix(10) + " " + loopMix(0);
            if (print) {
                System.out.println(h);
                System.out.println(hl);
                System.out.println(l);
            }
        }
    }
}
