package java.lang;

/**
 * Boxed int.  The class is final and the constructor only stores value
 * (compiled code treats new Integer(i) as touching nothing but the new
 * object).  valueOf caches -128..127.
 */
public final class Integer extends Number implements Comparable<Integer> {
    private final int value;

    public static final int MIN_VALUE = 0x80000000;
    public static final int MAX_VALUE = 0x7fffffff;
    public static final int SIZE = 32;
    public static final int BYTES = 4;

    @SuppressWarnings("unchecked")
    public static final Class<Integer> TYPE = (Class<Integer>) Class.getPrimitiveClass("int");

    static final char[] DIGITS = {
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
        'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z'
    };

    private static final Integer[] CACHE = new Integer[256];

    static {
        for (int i = 0; i < CACHE.length; i++) {
            CACHE[i] = new Integer(i - 128);
        }
    }

    public Integer(int value) {
        this.value = value;
    }

    public Integer(String s) throws NumberFormatException {
        this.value = parseInt(s, 10);
    }

    public static Integer valueOf(int i) {
        if (i >= -128 && i <= 127) {
            return CACHE[i + 128];
        }
        return new Integer(i);
    }

    public static Integer valueOf(String s) throws NumberFormatException {
        return valueOf(parseInt(s, 10));
    }

    public static Integer valueOf(String s, int radix) throws NumberFormatException {
        return valueOf(parseInt(s, radix));
    }

    // ---- parsing ----

    static NumberFormatException forInputString(String s, int radix) {
        return new NumberFormatException("For input string: \"" + s + "\""
            + (radix == 10 ? "" : " under radix " + radix));
    }

    static void checkRadix(String s, int radix) {
        if (s == null) {
            throw new NumberFormatException("Cannot parse null string");
        }
        if (radix < Character.MIN_RADIX) {
            throw new NumberFormatException("radix " + radix + " less than Character.MIN_RADIX");
        }
        if (radix > Character.MAX_RADIX) {
            throw new NumberFormatException("radix " + radix + " greater than Character.MAX_RADIX");
        }
    }

    public static int parseInt(String s) throws NumberFormatException {
        return parseInt(s, 10);
    }

    public static int parseInt(String s, int radix) throws NumberFormatException {
        checkRadix(s, radix);
        int len = s.length();
        if (len == 0) {
            throw forInputString(s, radix);
        }
        int i = 0;
        boolean negative = false;
        int limit = -MAX_VALUE;
        char first = s.charAt(0);
        if (first < '0') {
            if (first == '-') {
                negative = true;
                limit = MIN_VALUE;
            } else if (first != '+') {
                throw forInputString(s, radix);
            }
            if (len == 1) {
                throw forInputString(s, radix);
            }
            i++;
        }
        // Accumulate negatively so that MIN_VALUE fits.
        int multmin = limit / radix;
        int result = 0;
        while (i < len) {
            int digit = Character.digit(s.charAt(i++), radix);
            if (digit < 0 || result < multmin) {
                throw forInputString(s, radix);
            }
            result *= radix;
            if (result < limit + digit) {
                throw forInputString(s, radix);
            }
            result -= digit;
        }
        return negative ? result : -result;
    }

    public static Integer decode(String nm) throws NumberFormatException {
        int radix = 10;
        int index = 0;
        boolean negative = false;
        if (nm.length() == 0) {
            throw new NumberFormatException("Zero length string");
        }
        char first = nm.charAt(0);
        if (first == '-') {
            negative = true;
            index++;
        } else if (first == '+') {
            index++;
        }
        if (nm.startsWith("0x", index) || nm.startsWith("0X", index)) {
            index += 2;
            radix = 16;
        } else if (nm.startsWith("#", index)) {
            index++;
            radix = 16;
        } else if (nm.startsWith("0", index) && nm.length() > 1 + index) {
            index++;
            radix = 8;
        }
        if (nm.startsWith("-", index) || nm.startsWith("+", index)) {
            throw new NumberFormatException("Sign character in wrong position");
        }
        String digits = nm.substring(index);
        return valueOf(parseInt(negative ? "-" + digits : digits, radix));
    }

    // ---- formatting ----

    /** Number of chars of the decimal form of i (i != MIN_VALUE). */
    static int stringSize(int i) {
        int n = 1;
        if (i < 0) {
            n = 2;
            i = -i;
        }
        while (i >= 10) {
            i /= 10;
            n++;
        }
        return n;
    }

    /** Writes the decimal form of i (i != MIN_VALUE) so that it ends just before buf[end]. */
    static void getChars(int i, int end, char[] buf) {
        int pos = end;
        boolean negative = i < 0;
        if (negative) {
            i = -i;
        }
        do {
            buf[--pos] = (char) ('0' + i % 10);
            i /= 10;
        } while (i != 0);
        if (negative) {
            buf[--pos] = '-';
        }
    }

    public static String toString(int i) {
        if (i == MIN_VALUE) {
            return "-2147483648";
        }
        int n = stringSize(i);
        char[] buf = new char[n];
        getChars(i, n, buf);
        return new String(0, n, buf);
    }

    public static String toString(int i, int radix) {
        if (radix < Character.MIN_RADIX || radix > Character.MAX_RADIX) {
            radix = 10;
        }
        if (radix == 10) {
            return toString(i);
        }
        char[] buf = new char[33];
        int pos = 32;
        boolean negative = i < 0;
        if (!negative) {
            i = -i;
        }
        while (i <= -radix) {
            buf[pos--] = DIGITS[-(i % radix)];
            i = i / radix;
        }
        buf[pos] = DIGITS[-i];
        if (negative) {
            buf[--pos] = '-';
        }
        return new String(buf, pos, 33 - pos);
    }

    private static String toUnsignedString(int i, int shift) {
        char[] buf = new char[32];
        int pos = 32;
        int radix = 1 << shift;
        int mask = radix - 1;
        do {
            buf[--pos] = DIGITS[i & mask];
            i >>>= shift;
        } while (i != 0);
        return new String(buf, pos, 32 - pos);
    }

    public static String toHexString(int i) {
        return toUnsignedString(i, 4);
    }

    public static String toOctalString(int i) {
        return toUnsignedString(i, 3);
    }

    public static String toBinaryString(int i) {
        return toUnsignedString(i, 1);
    }

    public static String toUnsignedString(int i) {
        return Long.toString(i & 0xffffffffL);
    }

    // ---- bit twiddling ----

    public static int bitCount(int i) {
        i = i - ((i >>> 1) & 0x55555555);
        i = (i & 0x33333333) + ((i >>> 2) & 0x33333333);
        i = (i + (i >>> 4)) & 0x0f0f0f0f;
        i = i + (i >>> 8);
        i = i + (i >>> 16);
        return i & 0x3f;
    }

    public static int numberOfLeadingZeros(int i) {
        if (i == 0) {
            return 32;
        }
        int n = 0;
        while ((i & 0x80000000) == 0) {
            n++;
            i <<= 1;
        }
        return n;
    }

    public static int numberOfTrailingZeros(int i) {
        if (i == 0) {
            return 32;
        }
        int n = 0;
        while ((i & 1) == 0) {
            n++;
            i >>>= 1;
        }
        return n;
    }

    public static int highestOneBit(int i) {
        return i == 0 ? 0 : (0x80000000 >>> numberOfLeadingZeros(i));
    }

    public static int lowestOneBit(int i) {
        return i & -i;
    }

    public static int rotateLeft(int i, int distance) {
        return (i << distance) | (i >>> -distance);
    }

    public static int rotateRight(int i, int distance) {
        return (i >>> distance) | (i << -distance);
    }

    public static int reverse(int i) {
        i = (i & 0x55555555) << 1 | (i >>> 1) & 0x55555555;
        i = (i & 0x33333333) << 2 | (i >>> 2) & 0x33333333;
        i = (i & 0x0f0f0f0f) << 4 | (i >>> 4) & 0x0f0f0f0f;
        return reverseBytes(i);
    }

    public static int reverseBytes(int i) {
        return (i << 24) | ((i & 0xff00) << 8) | ((i >>> 8) & 0xff00) | (i >>> 24);
    }

    public static int signum(int i) {
        return (i >> 31) | (-i >>> 31);
    }

    // ---- value access and comparison ----

    public byte byteValue() {
        return (byte) value;
    }

    public short shortValue() {
        return (short) value;
    }

    public int intValue() {
        return value;
    }

    public long longValue() {
        return (long) value;
    }

    public float floatValue() {
        return (float) value;
    }

    public double doubleValue() {
        return (double) value;
    }

    public String toString() {
        return toString(value);
    }

    public int hashCode() {
        return value;
    }

    public static int hashCode(int value) {
        return value;
    }

    public boolean equals(Object obj) {
        if (obj instanceof Integer) {
            return value == ((Integer) obj).intValue();
        }
        return false;
    }

    public int compareTo(Integer anotherInteger) {
        return compare(value, anotherInteger.value);
    }

    public static int compare(int x, int y) {
        return (x < y) ? -1 : ((x == y) ? 0 : 1);
    }

    public static int compareUnsigned(int x, int y) {
        return compare(x + MIN_VALUE, y + MIN_VALUE);
    }

    public static int sum(int a, int b) {
        return a + b;
    }

    public static int max(int a, int b) {
        return Math.max(a, b);
    }

    public static int min(int a, int b) {
        return Math.min(a, b);
    }

    public static Integer getInteger(String nm) {
        return getInteger(nm, null);
    }

    public static Integer getInteger(String nm, Integer val) {
        String v = null;
        if (nm != null && nm.length() > 0) {
            v = System.getProperty(nm);
        }
        if (v != null) {
            try {
                return decode(v);
            } catch (NumberFormatException e) {
            }
        }
        return val;
    }
}
