package java.lang;

/** Boxed double.  Bit conversions, toString and parseDouble are natives. */
public final class Double extends Number implements Comparable<Double> {
    private final double value;

    public static final double POSITIVE_INFINITY = 1.0 / 0.0;
    public static final double NEGATIVE_INFINITY = -1.0 / 0.0;
    public static final double NaN = 0.0d / 0.0;
    public static final double MAX_VALUE = 0x1.fffffffffffffP+1023;
    public static final double MIN_NORMAL = 0x1.0p-1022;
    public static final double MIN_VALUE = 0x0.0000000000001P-1022;
    public static final int MAX_EXPONENT = 1023;
    public static final int MIN_EXPONENT = -1022;
    public static final int SIZE = 64;
    public static final int BYTES = 8;

    @SuppressWarnings("unchecked")
    public static final Class<Double> TYPE = (Class<Double>) Class.getPrimitiveClass("double");

    public Double(double value) {
        this.value = value;
    }

    public Double(String s) throws NumberFormatException {
        this.value = parseDouble(s);
    }

    /** The raw IEEE bits (NaN payloads kept). */
    public static native long doubleToRawLongBits(double value);

    public static native double longBitsToDouble(long bits);

    /**
     * Shortest decimal that reads back as d, laid out as Java does: plain
     * notation with at least one fractional digit for 1e-3 <= |d| < 1e7,
     * otherwise d.dddE[-]n; "NaN", "Infinity", "-Infinity", "-0.0".
     */
    public static native String toString(double d);

    /**
     * Java double syntax (leading/trailing whitespace, sign, digits,
     * exponent, optional f/F/d/D suffix, "NaN", "Infinity", hex form).
     * NullPointerException for null; NumberFormatException "empty String"
     * or "For input string: \"s\"".
     */
    public static native double parseDouble(String s) throws NumberFormatException;

    public static long doubleToLongBits(double value) {
        if (value != value) {
            return 0x7ff8000000000000L;
        }
        return doubleToRawLongBits(value);
    }

    public static Double valueOf(double d) {
        return new Double(d);
    }

    public static Double valueOf(String s) throws NumberFormatException {
        return new Double(parseDouble(s));
    }

    public static boolean isNaN(double v) {
        return v != v;
    }

    public static boolean isInfinite(double v) {
        return v == POSITIVE_INFINITY || v == NEGATIVE_INFINITY;
    }

    public static boolean isFinite(double d) {
        return Math.abs(d) <= MAX_VALUE;
    }

    public boolean isNaN() {
        return isNaN(value);
    }

    public boolean isInfinite() {
        return isInfinite(value);
    }

    /** "0x1.8p1" style, as the API documents. */
    public static String toHexString(double d) {
        if (d != d) {
            return "NaN";
        }
        if (d == POSITIVE_INFINITY) {
            return "Infinity";
        }
        if (d == NEGATIVE_INFINITY) {
            return "-Infinity";
        }
        long bits = doubleToRawLongBits(d);
        StringBuilder sb = new StringBuilder(24);
        if (bits < 0) {
            sb.append('-');
        }
        if (d == 0.0) {
            return sb.append("0x0.0p0").toString();
        }
        long exp = (bits >>> 52) & 0x7ff;
        long frac = bits & 0xfffffffffffffL;
        boolean subnormal = exp == 0;
        sb.append(subnormal ? "0x0." : "0x1.");
        String hex = Long.toHexString(frac | 0x10000000000000L).substring(1);
        int end = hex.length();
        while (end > 1 && hex.charAt(end - 1) == '0') {
            end--;
        }
        sb.append(hex, 0, end);
        sb.append('p').append(subnormal ? -1022 : (int) exp - 1023);
        return sb.toString();
    }

    public String toString() {
        return toString(value);
    }

    public byte byteValue() {
        return (byte) value;
    }

    public short shortValue() {
        return (short) value;
    }

    public int intValue() {
        return (int) value;
    }

    public long longValue() {
        return (long) value;
    }

    public float floatValue() {
        return (float) value;
    }

    public double doubleValue() {
        return value;
    }

    public int hashCode() {
        return hashCode(value);
    }

    public static int hashCode(double value) {
        long bits = doubleToLongBits(value);
        return (int) (bits ^ (bits >>> 32));
    }

    public boolean equals(Object obj) {
        return (obj instanceof Double)
            && (doubleToLongBits(((Double) obj).value) == doubleToLongBits(value));
    }

    public int compareTo(Double anotherDouble) {
        return compare(value, anotherDouble.value);
    }

    /** Total order: -0.0 < 0.0, NaN above everything and equal to itself. */
    public static int compare(double d1, double d2) {
        if (d1 < d2) {
            return -1;
        }
        if (d1 > d2) {
            return 1;
        }
        long b1 = doubleToLongBits(d1);
        long b2 = doubleToLongBits(d2);
        return (b1 == b2 ? 0 : (b1 < b2 ? -1 : 1));
    }

    public static double sum(double a, double b) {
        return a + b;
    }

    public static double max(double a, double b) {
        return Math.max(a, b);
    }

    public static double min(double a, double b) {
        return Math.min(a, b);
    }
}
