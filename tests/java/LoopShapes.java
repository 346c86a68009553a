// Loop shapes that the loop stage lays out and records: nests entered at
// the bottom test, loops with handlers inside and loops re-entered from a
// handler, labeled breaks and continues out of nests, do-while and while
// loops with several exits, sibling inner loops, a loop whose condition
// compares floating values (NaN must keep its sense when a branch is
// inverted), and hot loops entered from the interpreter in their middle.
public class LoopShapes {
    static int nest(int n) {
        int s = 0;
        for (int i = 0; i < n; i++)
            for (int j = i; j < n; j++)
                for (int k = j; k < n; k += 2)
                    s += i * 31 + j * 7 + k;
        return s;
    }

    static int siblings(int n) {
        int s = 0;
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < i; j++) s += j;
            for (int k = i; k > 0; k /= 2) s ^= k << 3;
        }
        return s;
    }

    static int labeled(int[][] grid, int limit) {
        int found = 0;
        outer:
        for (int i = 0; i < grid.length; i++) {
            for (int j = 0; j < grid[i].length; j++) {
                if (grid[i][j] < 0) continue outer;
                if (grid[i][j] > limit) break outer;
                found += grid[i][j];
            }
            found *= 3;
        }
        return found;
    }

    static int handlers(int[] a) {
        int s = 0;
        for (int i = 0; i <= a.length + 1; i++) {
            try {
                s += 100 / a[i];
            } catch (ArithmeticException e) {
                s -= 7;
                continue;
            } catch (ArrayIndexOutOfBoundsException e) {
                s += 1000;
            }
            s++;
        }
        return s;
    }

    static int retry(int[] a) {
        int tries = 0, i = 0;
        while (true) {
            try {
                while (i < a.length) {
                    if (a[i] == 0) throw new IllegalStateException("zero at " + i);
                    i++;
                }
                return tries * 1000 + i;
            } catch (IllegalStateException e) {
                tries++;
                i++;
            }
        }
    }

    static int doWhile(int x) {
        int steps = 0;
        do {
            if ((x & 1) == 0) x >>= 1;
            else x = 3 * x + 1;
            steps++;
            if (steps > 500) return -1;
        } while (x != 1);
        return steps;
    }

    static int whileExits(long v) {
        int n = 0;
        while (v != 0) {
            if ((v & 0xFF) == 0x5A) break;
            if (n > 40) return -n;
            v >>>= 3;
            n++;
        }
        return n;
    }

    static int nanLoop(double[] xs, float lim) {
        int c = 0;
        for (int i = 0; i < xs.length; i++) {
            double x = xs[i];
            while (!(x >= lim)) {          // NaN stays in the loop only once
                if (x != x) { c += 100; break; }
                x += 1.5;
                c++;
            }
            if (x < lim || x != x) c += 1000;
        }
        return c;
    }

    static long hot(int n) {
        long acc = 1;
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < 50; j++) acc = acc * 6364136223846793005L + (i ^ j);
            if ((acc & 7) == 3) acc ^= i;
        }
        return acc;
    }

    static synchronized int locked(int n) {
        int s = 0;
        Object o = new Object();
        for (int i = 0; i < n; i++)
            synchronized (o) { s += i % 7; }
        return s;
    }

    public static void main(String[] args) {
        System.out.println("nest " + nest(9) + " " + nest(0) + " " + nest(1));
        System.out.println("siblings " + siblings(20));
        int[][] grid = {{1, 2, 3}, {4, -1, 5}, {6, 7, 8}, {9, 100, 10}, {11}};
        System.out.println("labeled " + labeled(grid, 50) + " " + labeled(grid, 5) + " " + labeled(new int[0][], 1));
        System.out.println("handlers " + handlers(new int[] {5, 0, 3, 0, 1}) + " " + handlers(new int[0]));
        System.out.println("retry " + retry(new int[] {1, 0, 2, 0, 0, 3}) + " " + retry(new int[] {4}));
        System.out.println("dowhile " + doWhile(27) + " " + doWhile(1) + " " + doWhile(97));
        System.out.println("while " + whileExits(0) + " " + whileExits(0x5AL << 12) + " " + whileExits(-1L));
        double[] xs = {0.0, Double.NaN, -3.25, 10.0, -1e3};
        System.out.println("nan " + nanLoop(xs, 2.0f) + " " + nanLoop(new double[] {Double.NaN}, Float.NaN));
        long h = 0;
        for (int r = 0; r < 40; r++) h += hot(200 + r);
        System.out.println("hot " + h);
        System.out.println("locked " + locked(1000));
    }
}
