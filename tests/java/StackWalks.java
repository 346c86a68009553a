// Stack traces of exceptions made at several depths and through every kind
// of frame boundary: plain recursion, a static initializer run for a field
// access or an allocation (Java code called back from a resolver), errors
// the VM builds while initializing a class, a hardware-fault
// NullPointerException deep in a recursion, monitors inflated past the thin
// count or by a wait (the exit slow path) with traces taken inside, and
// recursions on other threads that end in a failed bounds check.  Each trace is printed as the run of
// this program's frames, newest first, with repeats counted: the walk must
// neither lose nor invent frames nor stop early.
public class StackWalks {
    static void p(String s) { System.out.println(s); }

    // "down x5, at, main": this program's frames of the trace.
    static String frames(Throwable t) {
        StackTraceElement[] st = t.getStackTrace();
        StringBuilder sb = new StringBuilder();
        String last = null;
        int run = 0;
        for (int i = 0; i <= st.length; i++) {
            String m = null;
            if (i < st.length) {
                String c = st[i].getClassName();
                if (!c.startsWith("StackWalks"))
                    continue;
                m = c.substring("StackWalks".length()) + "." + st[i].getMethodName();
            }
            if (m != null && m.equals(last)) {
                run++;
                continue;
            }
            if (last != null) {
                if (sb.length() > 0)
                    sb.append(", ");
                sb.append(last);
                if (run > 1)
                    sb.append(" x").append(run);
            }
            last = m;
            run = 1;
        }
        return sb.toString();
    }

    static Throwable down(int n) {
        if (n == 0)
            return new Throwable("bottom");
        return down(n - 1);
    }

    static int lengthAt(int[] a, int n) {
        if (n == 0)
            return a.length;
        return lengthAt(a, n - 1) + 1;
    }

    // Each holder is first touched by exactly one access below, so its
    // initializer runs inside that access's resolution.
    static class ByGet {
        static Throwable made = down(2);
        static int value = 7;
    }
    static class ByNew {
        static Throwable made;
        static { made = down(1); }
        int x = 5;
    }
    static class ByCall {
        static Throwable made = down(3);
        static int twice(int v) { return 2 * v; }
    }
    static class Bad {
        static int value = Integer.parseInt("not a number");
    }

    static int touchGet() { return ByGet.value; }
    static int touchNew() { return new ByNew().x; }
    static int touchCall() { return ByCall.twice(4); }
    static int touchBad() { return Bad.value; }

    static int counter;

    static Throwable deepest;

    static void nest(Object o, int depth) {
        synchronized (o) {
            counter++;
            if (depth > 0)
                nest(o, depth - 1);
            else if (deepest == null)
                deepest = new Throwable("deep");
        }
    }

    // A monitor held fat from the start: every exit takes the slow path.
    // The shape (a handler inside the block) matters to the code layout.
    static final Object fat = new Object();
    static int fatCount;
    static Throwable fatTrace;

    static void underFat(int id) {
        for (int i = 0; i < 10; i++) {
            synchronized (fat) {
                fatCount++;
                if (id == -1 && i == 3) {
                    try {
                        fat.wait(1);
                    } catch (InterruptedException e) {
                        return;
                    }
                }
                if (id == 2999 && i == 9)
                    fatTrace = down(2);
            }
        }
    }

    static int pastEnd(int[] a, int n) {
        if (n == 0)
            return a[a.length];
        return pastEnd(a, n - 1) + 1;
    }

    // The other threads raise in software only (a bounds check): a
    // hardware fault on a second thread is a different matter.
    static class Walker extends Thread {
        final int depth;
        String result;
        Walker(int depth) { this.depth = depth; }
        public void run() {
            Throwable t = down(depth);
            try {
                pastEnd(new int[2], depth);
                result = frames(t) + " / no exception";
            } catch (ArrayIndexOutOfBoundsException e) {
                result = frames(t) + " / " + frames(e);
            }
        }
    }

    public static void main(String[] args) throws Exception {
        int[] depths = {0, 1, 5, 40};
        for (int round = 0; round < 2; round++) {
            for (int d : depths)
                p("down " + d + ": " + frames(down(d)));
        }

        p("getstatic " + touchGet() + ": " + frames(ByGet.made));
        p("new " + touchNew() + ": " + frames(ByNew.made));
        p("invokestatic " + touchCall() + ": " + frames(ByCall.made));
        for (int i = 0; i < 2; i++) {
            try {
                p("bad " + touchBad());
            } catch (Error e) {
                p(e.getClass().getName() + ": " + frames(e));
            }
        }

        for (int round = 0; round < 2; round++) {
            for (int d : depths) {
                try {
                    p("npe " + d + ": length " + lengthAt(null, d));
                } catch (NullPointerException e) {
                    p("npe " + d + ": " + frames(e));
                }
            }
        }

        // Past the thin count the monitors inflate; their exits take the
        // slow path from then on.
        for (int r = 0; r < 20; r++)
            nest(new Object(), 299);
        p("nest counter " + counter + ": " + frames(deepest));

        underFat(-1);
        for (int i = 0; i < 3000; i++)
            underFat(i);
        p("fat count " + fatCount + ": " + frames(fatTrace));

        Walker[] ws = new Walker[4];
        for (int i = 0; i < ws.length; i++)
            ws[i] = new Walker(depths[i]);
        for (Walker w : ws)
            w.start();
        for (Walker w : ws)
            w.join();
        for (Walker w : ws)
            p("thread " + w.depth + ": " + w.result);
    }
}
