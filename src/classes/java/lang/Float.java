package java.lang;

/** Boxed float.  Bit conversions, toString and parseFloat are natives. */
public final class Float extends Number implements Comparable<Float> {
    private final float value;

    public static final float POSITIVE_INFINITY = 1.0f / 0.0f;
    public static final float NEGATIVE_INFINITY = -1.0f / 0.0f;
    public static final float NaN = 0.0f / 0.0f;
    public static final float MAX_VALUE = 0x1.fffffeP+127f;
    public static final float MIN_NORMAL = 0x1.0p-126f;
    public static final float MIN_VALUE = 0x0.000002P-126f;
    public static final int MAX_EXPONENT = 127;
    public static final int MIN_EXPONENT = -126;
    public static final int SIZE = 32;
    public static final int BYTES = 4;

    @SuppressWarnings("unchecked")
    public static final Class<Float> TYPE = (Class<Float>) Class.getPrimitiveClass("float");

    public Float(float value) {
        this.value = value;
    }

    public Float(double value) {
        this.value = (float) value;
    }

    public Float(String s) throws NumberFormatException {
        this.value = parseFloat(s);
    }

    /** The raw IEEE bits (NaN payloads kept). */
    public static native int floatToRawIntBits(float value);

    public static native float intBitsToFloat(int bits);

    /**
     * Shortest decimal that reads back as f, laid out as Java does: plain
     * notation with at least one fractional digit for 1e-3 <= |f| < 1e7,
     * otherwise d.dddE[-]n; "NaN", "Infinity", "-Infinity", "-0.0".
     */
    public static native String toString(float f);

    /**
     * Java float syntax (leading/trailing whitespace, sign, digits,
     * exponent, optional f/F/d/D suffix, "NaN", "Infinity", hex form).
     * NullPointerException for null; NumberFormatException "empty String"
     * or "For input string: \"s\"".
     */
    public static native float parseFloat(String s) throws NumberFormatException;

    public static int floatToIntBits(float value) {
        if (value != value) {
            return 0x7fc00000;
        }
        return floatToRawIntBits(value);
    }

    public static Float valueOf(float f) {
        return new Float(f);
    }

    public static Float valueOf(String s) throws NumberFormatException {
        return new Float(parseFloat(s));
    }

    public static boolean isNaN(float v) {
        return v != v;
    }

    public static boolean isInfinite(float v) {
        return v == POSITIVE_INFINITY || v == NEGATIVE_INFINITY;
    }

    public static boolean isFinite(float f) {
        return Math.abs(f) <= MAX_VALUE;
    }

    public boolean isNaN() {
        return isNaN(value);
    }

    public boolean isInfinite() {
        return isInfinite(value);
    }

    public static String toHexString(float f) {
        if (Math.abs(f) < MIN_NORMAL && f != 0.0f) {
            String s = Double.toHexString(Math.scalb((double) f, -1022 + 126));
            return s.replace("p-1022", "p-126");
        }
        return Double.toHexString(f);
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
        return value;
    }

    public double doubleValue() {
        return (double) value;
    }

    public int hashCode() {
        return floatToIntBits(value);
    }

    public static int hashCode(float value) {
        return floatToIntBits(value);
    }

    public boolean equals(Object obj) {
        return (obj instanceof Float) && (floatToIntBits(((Float) obj).value) == floatToIntBits(value));
    }

    public int compareTo(Float anotherFloat) {
        return compare(value, anotherFloat.value);
    }

    /** Total order: -0.0 < 0.0, NaN above everything and equal to itself. */
    public static int compare(float f1, float f2) {
        if (f1 < f2) {
            return -1;
        }
        if (f1 > f2) {
            return 1;
        }
        int b1 = floatToIntBits(f1);
        int b2 = floatToIntBits(f2);
        return (b1 == b2 ? 0 : (b1 < b2 ? -1 : 1));
    }

    public static float sum(float a, float b) {
        return a + b;
    }

    public static float max(float a, float b) {
        return Math.max(a, b);
    }

    public static float min(float a, float b) {
        return Math.min(a, b);
    }
}
