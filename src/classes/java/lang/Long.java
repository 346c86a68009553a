package java.lang;

/** Boxed long.  valueOf caches -128..127. */
public final class Long extends Number implements Comparable<Long> {
    private final long value;

    public static final long MIN_VALUE = 0x8000000000000000L;
    public static final long MAX_VALUE = 0x7fffffffffffffffL;
    public static final int SIZE = 64;
    public static final int BYTES = 8;

    @SuppressWarnings("unchecked")
    public static final Class<Long> TYPE = (Class<Long>) Class.getPrimitiveClass("long");

    private static final Long[] CACHE = new Long[256];

    static {
        for (int i = 0; i < CACHE.length; i++) {
            CACHE[i] = new Long(i - 128);
        }
    }

    public Long(long value) {
        this.value = value;
    }

    public Long(String s) throws NumberFormatException {
        this.value = parseLong(s, 10);
    }

    public static Long valueOf(long l) {
        if (l >= -128 && l <= 127) {
            return CACHE[(int) l + 128];
        }
        return new Long(l);
    }

    public static Long valueOf(String s) throws NumberFormatException {
        return valueOf(parseLong(s, 10));
    }

    public static Long valueOf(String s, int radix) throws NumberFormatException {
        return valueOf(parseLong(s, radix));
    }

    public static long parseLong(String s) throws NumberFormatException {
        return parseLong(s, 10);
    }

    public static long parseLong(String s, int radix) throws NumberFormatException {
        Integer.checkRadix(s, radix);
        int len = s.length();
        if (len == 0) {
            throw Integer.forInputString(s, radix);
        }
        int i = 0;
        boolean negative = false;
        long limit = -MAX_VALUE;
        char first = s.charAt(0);
        if (first < '0') {
            if (first == '-') {
                negative = true;
                limit = MIN_VALUE;
            } else if (first != '+') {
                throw Integer.forInputString(s, radix);
            }
            if (len == 1) {
                throw Integer.forInputString(s, radix);
            }
            i++;
        }
        long multmin = limit / radix;
        long result = 0;
        while (i < len) {
            int digit = Character.digit(s.charAt(i++), radix);
            if (digit < 0 || result < multmin) {
                throw Integer.forInputString(s, radix);
            }
            result *= radix;
            if (result < limit + digit) {
                throw Integer.forInputString(s, radix);
            }
            result -= digit;
        }
        return negative ? result : -result;
    }

    public static Long decode(String nm) throws NumberFormatException {
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
        return valueOf(parseLong(negative ? "-" + digits : digits, radix));
    }

    static int stringSize(long l) {
        int n = 1;
        if (l < 0) {
            n = 2;
            l = -l;
        }
        while (l >= 10) {
            l /= 10;
            n++;
        }
        return n;
    }

    /** Writes the decimal form of l (l != MIN_VALUE) so that it ends just before buf[end]. */
    static void getChars(long l, int end, char[] buf) {
        int pos = end;
        boolean negative = l < 0;
        if (negative) {
            l = -l;
        }
        do {
            buf[--pos] = (char) ('0' + (int) (l % 10));
            l /= 10;
        } while (l != 0);
        if (negative) {
            buf[--pos] = '-';
        }
    }

    public static String toString(long l) {
        if (l == MIN_VALUE) {
            return "-9223372036854775808";
        }
        int n = stringSize(l);
        char[] buf = new char[n];
        getChars(l, n, buf);
        return new String(0, n, buf);
    }

    public static String toString(long l, int radix) {
        if (radix < Character.MIN_RADIX || radix > Character.MAX_RADIX) {
            radix = 10;
        }
        if (radix == 10) {
            return toString(l);
        }
        char[] buf = new char[65];
        int pos = 64;
        boolean negative = l < 0;
        if (!negative) {
            l = -l;
        }
        while (l <= -radix) {
            buf[pos--] = Integer.DIGITS[(int) (-(l % radix))];
            l = l / radix;
        }
        buf[pos] = Integer.DIGITS[(int) (-l)];
        if (negative) {
            buf[--pos] = '-';
        }
        return new String(buf, pos, 65 - pos);
    }

    private static String toUnsignedString(long l, int shift) {
        char[] buf = new char[64];
        int pos = 64;
        int radix = 1 << shift;
        long mask = radix - 1;
        do {
            buf[--pos] = Integer.DIGITS[(int) (l & mask)];
            l >>>= shift;
        } while (l != 0);
        return new String(buf, pos, 64 - pos);
    }

    public static String toHexString(long l) {
        return toUnsignedString(l, 4);
    }

    public static String toOctalString(long l) {
        return toUnsignedString(l, 3);
    }

    public static String toBinaryString(long l) {
        return toUnsignedString(l, 1);
    }

    public static String toUnsignedString(long l) {
        if (l >= 0) {
            return toString(l);
        }
        long quot = (l >>> 1) / 5;
        long rem = l - quot * 10;
        return toString(quot) + rem;
    }

    public static int bitCount(long i) {
        return Integer.bitCount((int) i) + Integer.bitCount((int) (i >>> 32));
    }

    public static int numberOfLeadingZeros(long i) {
        int hi = (int) (i >>> 32);
        return hi != 0 ? Integer.numberOfLeadingZeros(hi) : 32 + Integer.numberOfLeadingZeros((int) i);
    }

    public static int numberOfTrailingZeros(long i) {
        int lo = (int) i;
        return lo != 0 ? Integer.numberOfTrailingZeros(lo) : 32 + Integer.numberOfTrailingZeros((int) (i >>> 32));
    }

    public static long highestOneBit(long i) {
        return i == 0 ? 0 : (0x8000000000000000L >>> numberOfLeadingZeros(i));
    }

    public static long lowestOneBit(long i) {
        return i & -i;
    }

    public static long rotateLeft(long i, int distance) {
        return (i << distance) | (i >>> -distance);
    }

    public static long rotateRight(long i, int distance) {
        return (i >>> distance) | (i << -distance);
    }

    public static long reverseBytes(long i) {
        return ((long) Integer.reverseBytes((int) i) << 32) | (Integer.reverseBytes((int) (i >>> 32)) & 0xffffffffL);
    }

    public static long reverse(long i) {
        return ((long) Integer.reverse((int) i) << 32) | (Integer.reverse((int) (i >>> 32)) & 0xffffffffL);
    }

    public static int signum(long i) {
        return (int) ((i >> 63) | (-i >>> 63));
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
        return value;
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
        return hashCode(value);
    }

    public static int hashCode(long value) {
        return (int) (value ^ (value >>> 32));
    }

    public boolean equals(Object obj) {
        if (obj instanceof Long) {
            return value == ((Long) obj).longValue();
        }
        return false;
    }

    public int compareTo(Long anotherLong) {
        return compare(value, anotherLong.value);
    }

    public static int compare(long x, long y) {
        return (x < y) ? -1 : ((x == y) ? 0 : 1);
    }

    public static int compareUnsigned(long x, long y) {
        return compare(x + MIN_VALUE, y + MIN_VALUE);
    }

    public static long sum(long a, long b) {
        return a + b;
    }

    public static long max(long a, long b) {
        return Math.max(a, b);
    }

    public static long min(long a, long b) {
        return Math.min(a, b);
    }
}
