// A user's JNI library (liborvajni.so, built from JniLoad.c beside the
// classes) loaded with System.loadLibrary, its natives bound lazily by their
// short and long JNI names on first call, interpreted and from compiled code.
public class JniLoad {
    static native int add(int a, int b);
    static native int scale(int x);
    static native double scale(double x);
    static native long mix(long a, int b, long c);
    static native int sumAndSquare(int[] values);
    static native void fail(String message);
    native String greet(String name);
    native int under_score();
    static native int missing();

    static int loop(int n) {
        int acc = 0;
        for (int i = 0; i < n; i++) {
            acc = add(acc, i) ^ scale(i & 7);
        }
        return acc;
    }

    public static void main(String[] args) {
        try {
            add(1, 2);
        } catch (UnsatisfiedLinkError e) {
            System.out.println("before loading: UnsatisfiedLinkError");
        }
        try {
            System.loadLibrary("orva-no-such-library");
        } catch (UnsatisfiedLinkError e) {
            System.out.println("absent: " + e.getMessage().startsWith("no orva-no-such-library in java.library.path: "));
        }
        try {
            System.load("liborvajni.so");
        } catch (UnsatisfiedLinkError e) {
            System.out.println("relative load: " + e.getMessage());
        }
        System.out.println("mapped " + System.mapLibraryName("orvajni"));
        System.loadLibrary("orvajni");
        System.loadLibrary("orvajni");
        System.out.println("add " + add(40, 2) + " " + add(Integer.MAX_VALUE, 1));
        System.out.println("scale " + scale(7) + " " + scale(3.0));
        System.out.println("mix " + mix(1L << 40, 3, -5L) + " " + mix(-1L, -1, Long.MIN_VALUE));
        JniLoad self = new JniLoad();
        System.out.println(self.greet("orva") + " " + self.under_score());
        int[] values = {1, 2, 3, 4};
        System.out.println("sum " + sumAndSquare(values) + " squares " + values[0] + " " + values[1] + " " + values[2] + " " + values[3]);
        try {
            fail("from C");
        } catch (IllegalStateException e) {
            System.out.println("thrown: " + e.getMessage());
        }
        try {
            missing();
        } catch (UnsatisfiedLinkError e) {
            System.out.println("missing: UnsatisfiedLinkError");
        }
        int total = 0;
        for (int r = 0; r < 50; r++) {
            total += loop(100);
        }
        System.out.println("loop " + total);
    }
}
