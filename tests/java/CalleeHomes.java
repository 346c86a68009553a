// Callers whose arguments all travel in registers: the callee may keep a
// parameter in its home slot, which lies in the caller's argument area, so
// the caller's own saved registers and locals must not be there.  Also
// interface calls on a receiver with one interface and with several (the
// guessed site and its miss path).
public class CalleeHomes {
    static int fib(int n) {
        return n < 2 ? n : fib(n - 1) + fib(n - 2);
    }

    static int mix(int a, int b, int c) {
        int r = a * 31 + b;
        return r * 31 + c;
    }

    interface Step { int step(int n); }
    interface Other { int other(); }

    static class One implements Step {
        public int step(int n) { return n > 40 ? n : next.step(n + 1) + 1; }
        Step next = this;
    }

    static class Two implements Other, Step {
        public int other() { return 7; }
        public int step(int n) { return n > 40 ? n : next.step(n + 2) + other(); }
        Step next = this;
    }

    public static void main(String[] args) {
        System.out.println("fib(20) = " + fib(20));
        int sum = 0, keep = 1000;
        for (int i = 0; i < 50; i++) {
            sum += mix(i, keep, sum);
            keep -= i;
        }
        System.out.println("mix: " + sum + " " + keep);
        System.out.println("one: " + new One().step(0));
        System.out.println("two: " + new Two().step(1));
    }
}
