// Shapes that the late quadruple passes rewrite: a store skipped by a branch
// (a conditional move), branches whose taken side is laid out next (branch
// inversion), results tested by the next branch (fusion), index additions
// before array accesses, long and double locals among unused ones (table
// shrinking) and values that must survive calls in given registers.
public class LatePassShapes {
    static int clampLow(int x) {
        if (x < 0)
            x = 0;
        return x;
    }

    static int clampHigh(int x, int limit) {
        if (x > limit)
            x = limit;
        return x;
    }

    static int pick(int a, int b) {
        int r = a;
        if (a >= b)
            r = b;
        return r;
    }

    // a - b < 0 differs from a < b when the subtraction overflows.
    static boolean diffNegative(int a, int b) {
        if (a - b < 0)
            return true;
        return false;
    }

    static boolean diffZero(int a, int b) {
        return a - b == 0;
    }

    static int countDown(int n) {
        int steps = 0;
        while (--n > 0)
            steps++;
        return steps;
    }

    static int masked(int x) {
        if ((x & 6) < 0)
            return -1;
        if ((x & 6) == 0)
            return 0;
        return 1;
    }

    static int sumShifted(int[] a) {
        int s = 0;
        for (int i = 0; i + 2 < a.length; i++)
            s += a[i + 2] - a[i];
        return s;
    }

    static long mixed(int k) {
        long unusedLong = 5L;
        double d = k * 0.5;
        int unused = 3;
        long acc = 1L;
        for (int i = 0; i < k; i++)
            acc = acc * 3 + (long) d;
        return acc;
    }

    static int twice(int v) {
        return v + v;
    }

    static int acrossCalls(int a, int b) {
        int x = a * 7;
        int y = twice(b);
        int z = twice(x);
        return x + y + z;
    }

    public static void main(String[] args) {
        int[] xs = {-5, -1, 0, 1, 7, Integer.MIN_VALUE, Integer.MAX_VALUE};
        StringBuilder sb = new StringBuilder();
        for (int x : xs)
            sb.append(clampLow(x)).append(' ').append(clampHigh(x, 3)).append(' ').append(pick(x, 2)).append(' ')
                .append(masked(x)).append(';');
        System.out.println(sb);
        System.out.println(diffNegative(Integer.MIN_VALUE, 1) + " " + diffNegative(1, 2) + " "
                           + diffNegative(Integer.MAX_VALUE, -1) + " " + diffNegative(5, 5));
        System.out.println(diffZero(3, 3) + " " + diffZero(Integer.MIN_VALUE, Integer.MAX_VALUE));
        System.out.println(countDown(10) + " " + countDown(0) + " " + countDown(-3));
        System.out.println(sumShifted(new int[] {1, 4, 9, 16, 25, 36}) + " " + sumShifted(new int[] {1}));
        System.out.println(mixed(5) + " " + mixed(0));
        System.out.println(acrossCalls(3, 4) + " " + acrossCalls(-2, 100));
    }
}
