// Recursion until StackOverflowError, caught, then normal work; the overflow
// is provoked again (the guard must be armed once more) through other kinds
// of frames: an instance method with long and double arguments, a
// synchronized method, an interface call, and a catch at the deepest level.
public class StackOverflow {
    static int depth;

    static void recurse() {
        depth++;
        recurse();
    }

    long wide(int a, long b, double c, Object d) {
        depth++;
        return wide(a + 1, b * 3, c + 0.5, d) + a;
    }

    static synchronized int locked(int n) {
        depth++;
        return locked(n + 1) + 1;
    }

    interface Step {
        int step(int n);
    }

    static class Looper implements Step {
        public int step(int n) {
            depth++;
            return other.step(n + 1) + 1;
        }
        Step other = this;
    }

    // Catches at every level: the innermost frame that has room catches,
    // and every frame above returns normally.
    static int probe(int n) {
        try {
            return probe(n + 1);
        } catch (StackOverflowError e) {
            return n;
        }
    }

    static int fib(int n) {
        return n < 2 ? n : fib(n - 1) + fib(n - 2);
    }

    public static void main(String[] args) {
        for (int round = 1; round <= 3; round++) {
            depth = 0;
            try {
                recurse();
                System.out.println("no overflow");
            } catch (StackOverflowError e) {
                System.out.println("round " + round + ": StackOverflowError caught, deep: " + (depth > 1000)
                                   + ", message " + e.getMessage());
            }
        }
        System.out.println("fib(20) after overflow = " + fib(20));

        depth = 0;
        try {
            new StackOverflow().wide(1, 2L, 3.0, "x");
            System.out.println("no overflow");
        } catch (StackOverflowError e) {
            System.out.println("wide frames: caught, deep: " + (depth > 500));
        }

        depth = 0;
        try {
            locked(0);
            System.out.println("no overflow");
        } catch (StackOverflowError e) {
            System.out.println("synchronized frames: caught, class lock held afterwards: " + Thread.holdsLock(StackOverflow.class));
        }

        depth = 0;
        try {
            new Looper().step(0);
            System.out.println("no overflow");
        } catch (StackOverflowError e) {
            System.out.println("interface frames: caught, deep: " + (depth > 500));
        }

        int reached = probe(0);
        System.out.println("probe caught at depth > 500: " + (reached > 500));

        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 10; i++) sb.append(fib(i)).append(' ');
        System.out.println("work afterwards: " + sb);
    }
}
