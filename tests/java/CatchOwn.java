// Methods that catch their own exceptions: try ranges that begin and end in
// the middle of straight code, nested handlers, finally, athrow of a new and
// of a caught exception, and rethrow to the caller.
public class CatchOwn {
    static int midBlock(int[] a, int i) {
        int r = i * 3;
        r += 1;
        try {
            r = a[i] + r;
        } catch (ArrayIndexOutOfBoundsException e) {
            r = -r;
        }
        r += 2;
        return r;
    }
    static int nested(int[] a, int i) {
        int r = 0;
        try {
            try {
                r = a[i];
            } catch (ArrayIndexOutOfBoundsException e) {
                r = -1;
            }
            r += a[0];
        } catch (NullPointerException e) {
            r = -2;
        }
        return r;
    }
    static int withFinally(int k) {
        int r = 1;
        try {
            if (k == 0) throw new IllegalStateException("zero");
            r = 10 / k;
        } catch (IllegalStateException e) {
            r = -100;
        } finally {
            r += 1000;
        }
        return r;
    }
    static int throwOwn(int k) {
        try {
            if (k > 0) throw new RuntimeException("k=" + k);
            return 0;
        } catch (RuntimeException e) {
            return e.getMessage().length();
        }
    }
    static void rethrow(int k) {
        try {
            if (k == 1) throw new IllegalArgumentException("one");
        } catch (IllegalArgumentException e) {
            throw new UnsupportedOperationException("re:" + e.getMessage());
        }
    }
    static int divide(int a, int b) {
        try {
            return a / b;
        } catch (ArithmeticException e) {
            return Integer.MIN_VALUE;
        }
    }

    public static void main(String[] args) {
        int[] a = {5, 6, 7};
        System.out.println(midBlock(a, 1) + " " + midBlock(a, 3) + " " + midBlock(a, -1));
        System.out.println(nested(a, 2) + " " + nested(a, 9) + " " + nested(null, 0));
        System.out.println(withFinally(0) + " " + withFinally(5));
        System.out.println(throwOwn(0) + " " + throwOwn(12345));
        for (int k = 0; k < 2; k++) {
            try {
                rethrow(k);
                System.out.println("rethrow " + k + ": none");
            } catch (UnsupportedOperationException e) {
                System.out.println("rethrow " + k + ": " + e.getMessage());
            }
        }
        System.out.println(divide(7, 2) + " " + divide(7, 0));
    }
}
