// Kernel: method calls: recursive static calls, virtual calls through an
// abstract class with three receivers at one call site, interface calls
// and small instance methods (getters) that a compiler would inline.
public class Calls {
    static abstract class Shape {
        abstract int area();
        int scaled(int k) { return area() * k; }
    }

    static final class Sq extends Shape {
        final int s;
        Sq(int s) { this.s = s; }
        int area() { return s * s; }
    }

    static final class Rect extends Shape {
        final int w, h;
        Rect(int w, int h) { this.w = w; this.h = h; }
        int area() { return w * h; }
    }

    static final class Tri extends Shape {
        final int b, h;
        Tri(int b, int h) { this.b = b; this.h = h; }
        int area() { return b * h / 2; }
    }

    interface Counter {
        int next(int x);
    }

    static final class Step implements Counter {
        private int calls;
        public int next(int x) { calls++; return x + 3; }
        int calls() { return calls; }
    }

    static int fib(int n) {
        return n < 2 ? n : fib(n - 1) + fib(n - 2);
    }

    static long run(int n) {
        Shape[] shapes = {new Sq(3), new Rect(2, 5), new Tri(4, 6)};
        Step step = new Step();
        Counter c = step;
        long acc = 0;
        for (int i = 0; i < n; i++) {
            Shape s = shapes[i % 3];
            acc += s.scaled(i & 7);
            acc = c.next((int) acc) & 0xFFFFFFF;
        }
        return acc + fib(22) + step.calls();
    }

    public static void main(String[] args) {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 300000;
        long t0 = System.nanoTime();
        long r = run(n);
        long t1 = System.nanoTime();
        System.out.println("checksum " + r);
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
