// Floating point: compares with NaN on either side (fcmpl/fcmpg/dcmpl/dcmpg),
// saturating conversions to int and long, float rounding of a double
// product, Math functions, and the printing of values whose shortest decimal
// form is unambiguous.  Intermediate values stay far from overflow and
// underflow so that x87 and SSE arithmetic give the same results.
public class FloatArith {
    static void p(String s) { System.out.println(s); }

    static String cmpf(float a, float b) {
        // javac emits fcmpg for < and <=, fcmpl for > and >=.
        return (a < b ? "lt " : "-- ") + (a <= b ? "le " : "-- ") + (a > b ? "gt " : "-- ")
             + (a >= b ? "ge " : "-- ") + (a == b ? "eq " : "-- ") + (a != b ? "ne" : "--");
    }

    static String cmpd(double a, double b) {
        return (a < b ? "lt " : "-- ") + (a <= b ? "le " : "-- ") + (a > b ? "gt " : "-- ")
             + (a >= b ? "ge " : "-- ") + (a == b ? "eq " : "-- ") + (a != b ? "ne" : "--");
    }

    static void compares() {
        float fnan = Float.NaN;
        double dnan = Double.NaN;
        float[] fs = {1.0f, fnan, -0.0f, 0.0f, Float.POSITIVE_INFINITY};
        for (int i = 0; i < fs.length; i++) {
            for (int j = 0; j < fs.length; j++) {
                p("f " + fs[i] + " ? " + fs[j] + " : " + cmpf(fs[i], fs[j]));
            }
        }
        double[] ds = {1.0, dnan, -0.0, Double.NEGATIVE_INFINITY};
        for (int i = 0; i < ds.length; i++) {
            for (int j = 0; j < ds.length; j++) {
                p("d " + ds[i] + " ? " + ds[j] + " : " + cmpd(ds[i], ds[j]));
            }
        }
        p("nan self: " + (fnan != fnan) + " " + (dnan != dnan) + " " + (fnan == fnan) + " " + (dnan == dnan));
        p("Double.compare " + Double.compare(dnan, 1.0) + " " + Double.compare(0.0, -0.0) + " " + Double.compare(-0.0, 0.0)
          + " " + Double.compare(dnan, dnan) + " Float.compare " + Float.compare(1.0f, fnan) + " " + Float.compare(-0.0f, 0.0f));
        p("Double.equals nan " + Double.valueOf(dnan).equals(Double.valueOf(dnan))
          + " zeros " + Double.valueOf(0.0).equals(Double.valueOf(-0.0)));
    }

    static void conversions() {
        float[] fv = {Float.NaN, Float.POSITIVE_INFINITY, Float.NEGATIVE_INFINITY, 3.0e9f, -3.0e9f, 1.0e19f, -1.0e19f,
                      2.5f, -2.5f, 0.99999f, -0.99999f, 2147483520f, 16777217f};
        for (float f : fv) {
            // Inputs printed as bits: some have no unambiguous short decimal form.
            p("f2i/f2l " + Float.floatToRawIntBits(f) + " -> " + (int) f + " " + (long) f);
        }
        double[] dv = {Double.NaN, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY, 3.0e9, -3.0e9, 1.0e19, -1.0e19,
                       2147483647.9, -2147483648.9, 2147483648.0, 9.2233720368547758E18, -9.2233720368547758E18,
                       1.5, -1.5, 123456789012.75};
        for (double d : dv) {
            p("d2i/d2l " + d + " -> " + (int) d + " " + (long) d);
        }
        // Narrowing through int.
        double big = 1.0e10;
        p("d2b " + (byte) big + " d2s " + (short) big + " d2c " + (int) (char) big);
        p("d2f " + (float) 0.1 + " " + (float) 1.0e10 + " " + (float) 1.0e-5 + " " + (float) -2.5);
        p("i2f " + (float) 16777217 + " " + Float.floatToRawIntBits((float) 2147483647) + " i2d " + (double) 2147483647
          + " " + (double) -2147483648);
        p("l2f " + Float.floatToRawIntBits((float) 9007199254740993L) + " " + Float.floatToRawIntBits((float) -123456789L)
          + " l2d " + (double) 9007199254740993L + " " + (double) Long.MIN_VALUE);
        p("f2d " + (double) 0.5f + " " + (double) 100.0f + " " + (double) 1234567.0f);
    }

    static void rounding() {
        // A double product rounded to float once: the result must be the float
        // nearest the exact double, computed in double first.
        double a = 1.1, b = 3.0;
        float f = (float) (a * b);
        p("float of double product " + f + " bits " + Float.floatToRawIntBits(f));
        float x = 0.1f, y = 3.0f;
        float z = x * y;
        p("float product " + z + " bits " + Float.floatToRawIntBits(z));
        double dsum = 0.0;
        for (int i = 0; i < 10; i++) dsum += 0.1;
        p("ten times 0.1 bits " + Double.doubleToRawLongBits(dsum) + " == 1.0 " + (dsum == 1.0));
        float fsum = 0.0f;
        for (int i = 0; i < 10; i++) fsum += 0.1f;
        p("ten times 0.1f bits " + Float.floatToRawIntBits(fsum));
        p("div " + (1.0 / 4.0) + " " + (10.0 / 4.0) + " " + (-7.0 / 2.0) + " " + (1.0f / 8.0f));
        double zero = 0.0;
        p("div by zero " + (1.0 / zero) + " " + (-1.0 / zero) + " " + (zero / zero) + " " + (1.0f / (float) zero));
        p("drem " + (7.5 % 2.0) + " " + (-7.5 % 2.0) + " " + (7.5 % -2.0) + " " + (5.0 % zero) + " frem " + (7.5f % 2.0f));
        p("neg zero " + (-zero) + " " + (0.0 - 0.0) + " " + (-zero + 0.0) + " " + (zero * -1.0));
    }

    static void printing() {
        double[] ds = {0.1, 1.0E10, 1.0E-5, 100.0, 1234567.0, 1.0E7, -0.0, 0.0, Double.NaN, Double.POSITIVE_INFINITY,
                       Double.NEGATIVE_INFINITY, Double.MAX_VALUE, Double.MIN_VALUE, 1.0, -1.5, 0.001, 9999999.0,
                       0.5, 0.25, 3.0E-10, 123.456, 2.0E20};
        for (double d : ds) p("d " + d);
        float[] fs = {0.1f, 1.0E10f, 1.0E-5f, 100.0f, 1234567.0f, 1.0E7f, -0.0f, Float.NaN, Float.POSITIVE_INFINITY,
                      Float.MIN_VALUE, Float.MAX_VALUE, 0.5f, 3.25f};
        for (float f : fs) p("f " + f);
        StringBuilder sb = new StringBuilder();
        sb.append(2.5).append(' ').append(-0.0f).append(' ').append(1.0E-5);
        p("sb " + sb);
        p("valueOf " + String.valueOf(0.1) + " " + Double.toString(1.0E10) + " " + Float.toString(1.0E7f));
        p("parse " + Double.parseDouble("0.1") + " " + Double.parseDouble("1e10") + " " + Double.parseDouble("-2.5")
          + " " + Float.parseFloat("100") + " " + Double.parseDouble("  7.25  "));
        p("parse bits " + Double.doubleToRawLongBits(Double.parseDouble("0.1")) + " "
          + Float.floatToRawIntBits(Float.parseFloat("0.1")));
        try {
            Double.parseDouble("abc");
            p("no exception");
        } catch (NumberFormatException e) {
            p("parseDouble abc: NumberFormatException");
        }
        p("bits -0.0 " + Double.doubleToRawLongBits(-0.0) + " 1.0 " + Double.doubleToRawLongBits(1.0)
          + " back " + Double.longBitsToDouble(0x4000000000000000L) + " " + Float.intBitsToFloat(0x3F800000));
    }

    static void math() {
        p("floor(-0.5) " + Math.floor(-0.5) + " ceil(-0.5) " + Math.ceil(-0.5) + " floor(2.5) " + Math.floor(2.5)
          + " ceil(2.1) " + Math.ceil(2.1));
        p("round(-2.5) " + Math.round(-2.5) + " round(2.5) " + Math.round(2.5) + " round(-2.6) " + Math.round(-2.6)
          + " round(0.49999999999999994) " + Math.round(0.49999999999999994) + " round(2.5f) " + Math.round(2.5f)
          + " round(NaN) " + Math.round(Double.NaN) + " round(1e20) " + Math.round(1.0e20));
        p("rint(2.5) " + Math.rint(2.5) + " rint(3.5) " + Math.rint(3.5) + " rint(-2.5) " + Math.rint(-2.5));
        p("sqrt(2) " + Math.sqrt(2) + " pow(2,0.5) " + Math.pow(2, 0.5) + " sqrt(-1) " + Math.sqrt(-1)
          + " sqrt(16) " + Math.sqrt(16.0));
        p("pow(2,10) " + Math.pow(2, 10) + " pow(10,-1) " + Math.pow(10, -1) + " pow(0,0) " + Math.pow(0, 0)
          + " pow(-8,1/3) " + Math.pow(-8, 1.0 / 3));
        p("abs " + Math.abs(-0.0) + " " + Math.abs(-2.5f) + " " + Math.abs(Double.NEGATIVE_INFINITY));
        p("max/min " + Math.max(-0.0, 0.0) + " " + Math.min(-0.0, 0.0) + " " + Math.max(1.0, Double.NaN)
          + " " + Math.min(Float.NaN, 1.0f) + " " + Math.max(2.5f, 1.5f));
        p("signum " + Math.signum(-3.5) + " " + Math.signum(0.0) + " " + Math.signum(2.0f));
        p("exact-ish sin(0) " + Math.sin(0.0) + " cos(0) " + Math.cos(0.0) + " exp(0) " + Math.exp(0.0)
          + " log(1) " + Math.log(1.0) + " atan2(0,1) " + Math.atan2(0.0, 1.0));
        // StrictMath bit for bit, on arguments where the C library and fdlibm
        // agree (exp(1.0) is one of the few where they differ in the last place).
        p("log bits " + Double.doubleToRawLongBits(StrictMath.log(10.0)) + " exp bits "
          + Double.doubleToRawLongBits(StrictMath.exp(0.5)) + " sin bits " + Double.doubleToRawLongBits(StrictMath.sin(1.0))
          + " atan bits " + Double.doubleToRawLongBits(StrictMath.atan(0.5)) + " cos bits "
          + Double.doubleToRawLongBits(StrictMath.cos(2.0)));
        p("PI " + Math.PI + " E " + Math.E);
    }

    // A small numeric kernel: a polynomial evaluated with Horner's rule and
    // a simple integration, results printed as raw bits.
    static void kernel() {
        double[] c = {1.0, -0.5, 0.25, -0.125, 0.0625};
        double acc = 0.0;
        for (int i = 0; i <= 100; i++) {
            double x = i / 100.0;
            double v = 0.0;
            for (int k = c.length - 1; k >= 0; k--) v = v * x + c[k];
            acc += v * 0.01;
        }
        p("horner sum bits " + Double.doubleToRawLongBits(acc));
        float fa = 0.0f;
        for (int i = 1; i <= 100; i++) fa += 1.0f / i;
        p("harmonic float bits " + Float.floatToRawIntBits(fa));
    }

    public static void main(String[] args) {
        compares();
        conversions();
        rounding();
        printing();
        math();
        kernel();
    }
}
