// The neighbour and exact-arithmetic methods of Math and StrictMath: nextUp,
// nextDown, nextAfter, ulp and getExponent at zeros, subnormals, the
// largest values, infinities and NaN (the float overloads in particular:
// without them a float argument silently takes the double method), and
// incrementExact/decrementExact at the ends of the int and long ranges.
public class MathSteps {
    // Results as their bits: the shortest decimal text of some of these
    // values differs between JVM generations.
    static String b(float f) {
        return Integer.toHexString(Float.floatToRawIntBits(f));
    }

    static String b(double d) {
        return Long.toHexString(Double.doubleToRawLongBits(d));
    }

    static void floats() {
        float[] fs = {0.0f, -0.0f, Float.MIN_VALUE, -Float.MIN_VALUE, 1.0f, -1.0f, Float.MIN_NORMAL,
                      Float.MAX_VALUE, -Float.MAX_VALUE, Float.POSITIVE_INFINITY, Float.NEGATIVE_INFINITY, Float.NaN,
                      3.1415927f, 1.0e-40f};
        for (int i = 0; i < fs.length; i++) {
            float f = fs[i];
            System.out.println("f " + b(f) + ": up " + b(Math.nextUp(f)) + " down " + b(Math.nextDown(f)) + " ulp " + b(Math.ulp(f))
                               + " exp " + Math.getExponent(f) + " after+ " + b(Math.nextAfter(f, 1.0 / 0.0))
                               + " after- " + b(Math.nextAfter(f, -1.0 / 0.0)) + " after0 " + b(Math.nextAfter(f, -0.0))
                               + " strict " + (StrictMath.ulp(f) == Math.ulp(f)) + (StrictMath.nextUp(f) == Math.nextUp(f)));
        }
    }

    static void doubles() {
        double[] ds = {0.0, -0.0, Double.MIN_VALUE, -Double.MIN_VALUE, 1.0, -1.0, Double.MIN_NORMAL, Double.MAX_VALUE,
                       -Double.MAX_VALUE, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY, Double.NaN, 0.1, 1e300};
        for (int i = 0; i < ds.length; i++) {
            double d = ds[i];
            System.out.println("d " + b(d) + ": up " + b(Math.nextUp(d)) + " down " + b(Math.nextDown(d)) + " ulp " + b(Math.ulp(d))
                               + " exp " + Math.getExponent(d) + " after1 " + b(Math.nextAfter(d, 1.0))
                               + " afterNaN " + b(Math.nextAfter(d, Double.NaN)) + " afterSelf " + b(Math.nextAfter(d, d))
                               + " strict " + (Double.compare(StrictMath.nextDown(d), Math.nextDown(d)) == 0)
                               + (Double.compare(StrictMath.nextAfter(d, 0.0), Math.nextAfter(d, 0.0)) == 0));
        }
        System.out.println("zero signs " + (1 / Math.nextAfter(0.0, -0.0)) + " " + (1 / Math.nextAfter(-0.0, 0.0))
                           + " " + (1 / Math.nextAfter(0.0f, -0.0)) + " " + (1 / StrictMath.getExponent(0.0)));
    }

    interface Op {
        long run();
    }

    static void exact(String label, Op op) {
        try {
            System.out.println(label + " = " + op.run());
        } catch (ArithmeticException e) {
            System.out.println(label + ": " + e);
        }
    }

    static void exacts() {
        final int[] ints = {0, -1, Integer.MAX_VALUE, Integer.MIN_VALUE};
        final long[] longs = {0L, -1L, Long.MAX_VALUE, Long.MIN_VALUE};
        for (int i = 0; i < ints.length; i++) {
            final int v = ints[i];
            exact("incrementExact(" + v + ")", new Op() { public long run() { return Math.incrementExact(v); } });
            exact("decrementExact(" + v + ")", new Op() { public long run() { return Math.decrementExact(v); } });
            exact("negateExact(" + v + ")", new Op() { public long run() { return Math.negateExact(v); } });
        }
        for (int i = 0; i < longs.length; i++) {
            final long v = longs[i];
            exact("incrementExact(" + v + "L)", new Op() { public long run() { return Math.incrementExact(v); } });
            exact("decrementExact(" + v + "L)", new Op() { public long run() { return Math.decrementExact(v); } });
            exact("toIntExact(" + v + "L)", new Op() { public long run() { return Math.toIntExact(v); } });
        }
        exact("addExact", new Op() { public long run() { return StrictMath.addExact(Integer.MAX_VALUE, 1); } });
        exact("multiplyExact", new Op() { public long run() { return StrictMath.multiplyExact(1L << 32, 1L << 31); } });
        exact("subtractExact", new Op() { public long run() { return StrictMath.subtractExact(Long.MIN_VALUE + 1, 1L); } });
    }

    public static void main(String[] args) {
        System.out.println("ulp(1.0f) " + Math.ulp(1.0f) + " ulp(1.0) " + Math.ulp(1.0) + " nextUp(1.0f) " + Math.nextUp(1.0f));
        floats();
        doubles();
        exacts();
    }
}
