package java.lang;

/**
 * Boxed char and character classification.  Classification and case
 * mapping cover Latin-1 (U+0000..U+00FF); other characters are neither
 * letters nor digits nor whitespace and map to themselves, except the two
 * Latin-1 letters whose upper case lies outside Latin-1 (U+00B5, U+00FF).
 */
public final class Character implements java.io.Serializable, Comparable<Character> {
    private final char value;

    public static final int MIN_RADIX = 2;
    public static final int MAX_RADIX = 36;
    public static final char MIN_VALUE = '\u0000';
    public static final char MAX_VALUE = '\uFFFF';
    public static final int SIZE = 16;
    public static final int BYTES = 2;
    public static final char MIN_HIGH_SURROGATE = '\uD800';
    public static final char MAX_HIGH_SURROGATE = '\uDBFF';
    public static final char MIN_LOW_SURROGATE = '\uDC00';
    public static final char MAX_LOW_SURROGATE = '\uDFFF';
    public static final char MIN_SURROGATE = MIN_HIGH_SURROGATE;
    public static final char MAX_SURROGATE = MAX_LOW_SURROGATE;
    public static final int MIN_SUPPLEMENTARY_CODE_POINT = 0x010000;
    public static final int MIN_CODE_POINT = 0x000000;
    public static final int MAX_CODE_POINT = 0X10FFFF;

    @SuppressWarnings("unchecked")
    public static final Class<Character> TYPE = (Class<Character>) Class.getPrimitiveClass("char");

    private static final Character[] CACHE = new Character[128];

    static {
        for (int i = 0; i < CACHE.length; i++) {
            CACHE[i] = new Character((char) i);
        }
    }

    public Character(char value) {
        this.value = value;
    }

    public static Character valueOf(char c) {
        if (c < 128) {
            return CACHE[c];
        }
        return new Character(c);
    }

    public char charValue() {
        return value;
    }

    public int hashCode() {
        return value;
    }

    public static int hashCode(char value) {
        return value;
    }

    public boolean equals(Object obj) {
        if (obj instanceof Character) {
            return value == ((Character) obj).charValue();
        }
        return false;
    }

    public String toString() {
        return String.valueOf(value);
    }

    public static String toString(char c) {
        return String.valueOf(c);
    }

    public int compareTo(Character anotherCharacter) {
        return compare(value, anotherCharacter.value);
    }

    public static int compare(char x, char y) {
        return x - y;
    }

    // ---- classification (Latin-1) ----

    private static boolean isLatin1Upper(int ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7);
    }

    private static boolean isLatin1Lower(int ch) {
        return (ch >= 'a' && ch <= 'z') || ch == 0xAA || ch == 0xB5 || ch == 0xBA
            || (ch >= 0xDF && ch <= 0xFF && ch != 0xF7);
    }

    public static boolean isLowerCase(char ch) {
        return isLatin1Lower(ch);
    }

    public static boolean isLowerCase(int codePoint) {
        return isLatin1Lower(codePoint);
    }

    public static boolean isUpperCase(char ch) {
        return isLatin1Upper(ch);
    }

    public static boolean isUpperCase(int codePoint) {
        return isLatin1Upper(codePoint);
    }

    public static boolean isDigit(char ch) {
        return ch >= '0' && ch <= '9';
    }

    public static boolean isDigit(int codePoint) {
        return codePoint >= '0' && codePoint <= '9';
    }

    public static boolean isLetter(char ch) {
        return isLetter((int) ch);
    }

    public static boolean isLetter(int codePoint) {
        return isLatin1Upper(codePoint) || isLatin1Lower(codePoint);
    }

    public static boolean isLetterOrDigit(char ch) {
        return isLetter((int) ch) || isDigit((int) ch);
    }

    public static boolean isLetterOrDigit(int codePoint) {
        return isLetter(codePoint) || isDigit(codePoint);
    }

    public static boolean isAlphabetic(int codePoint) {
        return isLetter(codePoint);
    }

    /** Letters, currency symbols ($, U+00A2..U+00A5) and '_'. */
    public static boolean isJavaIdentifierStart(char ch) {
        return isLetter((int) ch) || ch == '$' || ch == '_' || (ch >= 0xA2 && ch <= 0xA5);
    }

    /** Identifier starts, digits, and the ignorable controls and U+00AD. */
    public static boolean isJavaIdentifierPart(char ch) {
        return isJavaIdentifierStart(ch) || isDigit((int) ch)
            || (ch <= 8) || (ch >= 0x0E && ch <= 0x1B) || (ch >= 0x7F && ch <= 0x9F) || ch == 0xAD;
    }

    public static boolean isWhitespace(char ch) {
        return isWhitespace((int) ch);
    }

    public static boolean isWhitespace(int codePoint) {
        return codePoint == ' ' || (codePoint >= 0x09 && codePoint <= 0x0D)
            || (codePoint >= 0x1C && codePoint <= 0x1F);
    }

    public static boolean isSpaceChar(char ch) {
        return ch == ' ' || ch == 0xA0;
    }

    public static boolean isISOControl(char ch) {
        return ch <= 0x1F || (ch >= 0x7F && ch <= 0x9F);
    }

    public static char toUpperCase(char ch) {
        return (char) toUpperCase((int) ch);
    }

    public static int toUpperCase(int codePoint) {
        if ((codePoint >= 'a' && codePoint <= 'z')
            || (codePoint >= 0xE0 && codePoint <= 0xFE && codePoint != 0xF7)) {
            return codePoint - 32;
        }
        if (codePoint == 0xB5) {
            return 0x39C;
        }
        if (codePoint == 0xFF) {
            return 0x178;
        }
        return codePoint;
    }

    public static char toLowerCase(char ch) {
        return (char) toLowerCase((int) ch);
    }

    public static int toLowerCase(int codePoint) {
        if ((codePoint >= 'A' && codePoint <= 'Z')
            || (codePoint >= 0xC0 && codePoint <= 0xDE && codePoint != 0xD7)) {
            return codePoint + 32;
        }
        return codePoint;
    }

    public static char toTitleCase(char ch) {
        return toUpperCase(ch);
    }

    public static int digit(char ch, int radix) {
        return digit((int) ch, radix);
    }

    public static int digit(int codePoint, int radix) {
        if (radix < MIN_RADIX || radix > MAX_RADIX) {
            return -1;
        }
        int d;
        if (codePoint >= '0' && codePoint <= '9') {
            d = codePoint - '0';
        } else if (codePoint >= 'a' && codePoint <= 'z') {
            d = codePoint - 'a' + 10;
        } else if (codePoint >= 'A' && codePoint <= 'Z') {
            d = codePoint - 'A' + 10;
        } else {
            return -1;
        }
        return d < radix ? d : -1;
    }

    public static int getNumericValue(char ch) {
        int d = digit(ch, MAX_RADIX);
        return d;
    }

    public static char forDigit(int digit, int radix) {
        if (digit >= radix || digit < 0 || radix < MIN_RADIX || radix > MAX_RADIX) {
            return '\0';
        }
        if (digit < 10) {
            return (char) ('0' + digit);
        }
        return (char) ('a' - 10 + digit);
    }

    // ---- UTF-16 ----

    public static boolean isHighSurrogate(char ch) {
        return ch >= MIN_HIGH_SURROGATE && ch <= MAX_HIGH_SURROGATE;
    }

    public static boolean isLowSurrogate(char ch) {
        return ch >= MIN_LOW_SURROGATE && ch <= MAX_LOW_SURROGATE;
    }

    public static boolean isSurrogate(char ch) {
        return ch >= MIN_SURROGATE && ch <= MAX_SURROGATE;
    }

    public static boolean isSurrogatePair(char high, char low) {
        return isHighSurrogate(high) && isLowSurrogate(low);
    }

    public static boolean isValidCodePoint(int codePoint) {
        return codePoint >= MIN_CODE_POINT && codePoint <= MAX_CODE_POINT;
    }

    public static boolean isBmpCodePoint(int codePoint) {
        return (codePoint >>> 16) == 0;
    }

    public static boolean isSupplementaryCodePoint(int codePoint) {
        return codePoint >= MIN_SUPPLEMENTARY_CODE_POINT && codePoint <= MAX_CODE_POINT;
    }

    public static int charCount(int codePoint) {
        return codePoint >= MIN_SUPPLEMENTARY_CODE_POINT ? 2 : 1;
    }

    public static int toCodePoint(char high, char low) {
        return ((high - MIN_HIGH_SURROGATE) << 10) + (low - MIN_LOW_SURROGATE) + MIN_SUPPLEMENTARY_CODE_POINT;
    }

    public static char highSurrogate(int codePoint) {
        return (char) ((codePoint >>> 10) + (MIN_HIGH_SURROGATE - (MIN_SUPPLEMENTARY_CODE_POINT >>> 10)));
    }

    public static char lowSurrogate(int codePoint) {
        return (char) ((codePoint & 0x3ff) + MIN_LOW_SURROGATE);
    }

    public static int toChars(int codePoint, char[] dst, int dstIndex) {
        if (isBmpCodePoint(codePoint)) {
            dst[dstIndex] = (char) codePoint;
            return 1;
        }
        if (isValidCodePoint(codePoint)) {
            dst[dstIndex + 1] = lowSurrogate(codePoint);
            dst[dstIndex] = highSurrogate(codePoint);
            return 2;
        }
        throw new IllegalArgumentException("Not a valid Unicode code point: 0x"
            + Integer.toHexString(codePoint).toUpperCase());
    }

    public static char[] toChars(int codePoint) {
        if (isBmpCodePoint(codePoint)) {
            return new char[] { (char) codePoint };
        }
        if (isValidCodePoint(codePoint)) {
            return new char[] { highSurrogate(codePoint), lowSurrogate(codePoint) };
        }
        throw new IllegalArgumentException("Not a valid Unicode code point: 0x"
            + Integer.toHexString(codePoint).toUpperCase());
    }

    public static char reverseBytes(char ch) {
        return (char) (((ch & 0xFF00) >> 8) | (ch << 8));
    }
}
