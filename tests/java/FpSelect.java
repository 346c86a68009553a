// Float and double selections written as conditionals: they must keep
// Java's comparison semantics, not those of Math.max, Math.min and Math.abs
// (which order -0.0 below +0.0 and let NaN win): a < b ? b : a keeps a for
// equal zeros and when either side is NaN.  Each method runs often enough to
// be compiled under the default threshold; the first and last runs print.
public class FpSelect {
    static String bits(float f) { return Integer.toHexString(Float.floatToIntBits(f)); }
    static String bits(double d) { return Long.toHexString(Double.doubleToLongBits(d)); }

    static float maxf(float a, float b) { return a < b ? b : a; }
    static float minf(float a, float b) { return a > b ? b : a; }
    static double maxd(double a, double b) { return a >= b ? a : b; }
    static double mind(double a, double b) { return a <= b ? a : b; }
    static float absf(float a) { return a < 0 ? -a : a; }
    static double absd(double a) { return a <= 0 ? -a : a; }
    static long maxl(long a, long b) { return a < b ? b : a; }

    static String run() {
        float fn = -0.0f, fz = 0.0f, fnan = Float.NaN;
        double dn = -0.0, dz = 0.0, dnan = Double.NaN;
        return "maxf " + bits(maxf(fn, fz)) + " " + bits(maxf(fz, fn)) + " " + bits(maxf(fnan, 1.0f)) + " "
               + bits(maxf(1.0f, fnan)) + " " + bits(maxf(2.0f, 3.0f))
               + "\nminf " + bits(minf(fz, fn)) + " " + bits(minf(fn, fz)) + " " + bits(minf(1.0f, fnan))
               + "\nmaxd " + bits(maxd(dz, dn)) + " " + bits(maxd(dn, dz)) + " " + bits(maxd(dnan, 1.0))
               + "\nmind " + bits(mind(dn, dz)) + " " + bits(mind(dz, dn)) + " " + bits(mind(1.0, dnan))
               + "\nabs " + bits(absf(fn)) + " " + bits(absf(-2.5f)) + " " + bits(absd(dn)) + " " + bits(absd(dz))
               + " " + bits(absd(-4.0)) + "\nmaxl " + maxl(-5L, 7L) + " " + maxl(Long.MIN_VALUE, Long.MAX_VALUE);
    }

    public static void main(String[] args) {
        for (int i = 0; i < 2100; i++) {
            String s = run();
            if (i == 0 || i == 2099)
                System.out.println(s);
        }
    }
}
