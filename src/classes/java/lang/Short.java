package java.lang;

/** Boxed short.  valueOf caches -128..127. */
public final class Short extends Number implements Comparable<Short> {
    private final short value;

    public static final short MIN_VALUE = -32768;
    public static final short MAX_VALUE = 32767;
    public static final int SIZE = 16;
    public static final int BYTES = 2;

    @SuppressWarnings("unchecked")
    public static final Class<Short> TYPE = (Class<Short>) Class.getPrimitiveClass("short");

    private static final Short[] CACHE = new Short[256];

    static {
        for (int i = 0; i < CACHE.length; i++) {
            CACHE[i] = new Short((short) (i - 128));
        }
    }

    public Short(short value) {
        this.value = value;
    }

    public Short(String s) throws NumberFormatException {
        this.value = parseShort(s, 10);
    }

    public static Short valueOf(short s) {
        if (s >= -128 && s <= 127) {
            return CACHE[s + 128];
        }
        return new Short(s);
    }

    public static Short valueOf(String s) throws NumberFormatException {
        return valueOf(parseShort(s, 10));
    }

    public static Short valueOf(String s, int radix) throws NumberFormatException {
        return valueOf(parseShort(s, radix));
    }

    public static short parseShort(String s) throws NumberFormatException {
        return parseShort(s, 10);
    }

    public static short parseShort(String s, int radix) throws NumberFormatException {
        int i = Integer.parseInt(s, radix);
        if (i < MIN_VALUE || i > MAX_VALUE) {
            throw new NumberFormatException("Value out of range. Value:\"" + s + "\" Radix:" + radix);
        }
        return (short) i;
    }

    public static Short decode(String nm) throws NumberFormatException {
        int i = Integer.decode(nm).intValue();
        if (i < MIN_VALUE || i > MAX_VALUE) {
            throw new NumberFormatException("Value " + i + " out of range from input " + nm);
        }
        return valueOf((short) i);
    }

    public static String toString(short s) {
        return Integer.toString(s);
    }

    public static short reverseBytes(short i) {
        return (short) (((i & 0xFF00) >> 8) | (i << 8));
    }

    public byte byteValue() {
        return (byte) value;
    }

    public short shortValue() {
        return value;
    }

    public int intValue() {
        return value;
    }

    public long longValue() {
        return value;
    }

    public float floatValue() {
        return value;
    }

    public double doubleValue() {
        return value;
    }

    public String toString() {
        return Integer.toString(value);
    }

    public int hashCode() {
        return value;
    }

    public static int hashCode(short value) {
        return value;
    }

    public boolean equals(Object obj) {
        if (obj instanceof Short) {
            return value == ((Short) obj).shortValue();
        }
        return false;
    }

    public int compareTo(Short anotherShort) {
        return compare(value, anotherShort.value);
    }

    public static int compare(short x, short y) {
        return x - y;
    }

    public static int toUnsignedInt(short x) {
        return x & 0xffff;
    }
}
