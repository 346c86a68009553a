package java.lang;

/**
 * Immutable character strings.
 *
 * Layout (compiled code and the replacement String.equals body read these at
 * fixed offsets): value at +8, offset at +12, count at +16, hash at +20.  The
 * characters are value[offset .. offset+count).
 *
 * The compiler drops the null and bounds checks of caload/castore inside
 * this class, so every method checks its indexes itself before touching
 * value.  Messages follow the usual forms: "String index out of range: i",
 * "begin b, end e, length n", "offset o, count c, length n".
 *
 * byte[] conversions use UTF-8 unless a charset name says otherwise
 * ("UTF-8", "ISO-8859-1", "US-ASCII" are known).
 */
public final class String implements java.io.Serializable, Comparable<String>, CharSequence {
    private final char[] value;
    private final int offset;
    private final int count;
    private int hash;

    public static final java.util.Comparator<String> CASE_INSENSITIVE_ORDER = new CaseInsensitiveComparator();

    private static final char[] EMPTY = new char[0];

    public String() {
        this.value = EMPTY;
        this.offset = 0;
        this.count = 0;
    }

    public String(String original) {
        this.value = original.value;
        this.offset = original.offset;
        this.count = original.count;
        this.hash = original.hash;
    }

    public String(char[] value) {
        int n = value.length;
        char[] v = new char[n];
        System.arraycopy(value, 0, v, 0, n);
        this.value = v;
        this.offset = 0;
        this.count = n;
    }

    public String(char[] value, int offset, int count) {
        checkOffsetCount(offset, count, value.length);
        char[] v = new char[count];
        System.arraycopy(value, offset, v, 0, count);
        this.value = v;
        this.offset = 0;
        this.count = count;
    }

    public String(int[] codePoints, int offset, int count) {
        checkOffsetCount(offset, count, codePoints.length);
        int n = 0;
        for (int i = offset; i < offset + count; i++) {
            int c = codePoints[i];
            if (c < 0 || c > Character.MAX_CODE_POINT) {
                throw new IllegalArgumentException(Integer.toString(c));
            }
            n += c >= 0x10000 ? 2 : 1;
        }
        char[] v = new char[n];
        int j = 0;
        for (int i = offset; i < offset + count; i++) {
            j += Character.toChars(codePoints[i], v, j);
        }
        this.value = v;
        this.offset = 0;
        this.count = n;
    }

    public String(byte[] bytes) {
        this(bytes, 0, bytes.length);
    }

    public String(byte[] bytes, int offset, int length) {
        checkOffsetCount(offset, length, bytes.length);
        char[] v = decodeUtf8(bytes, offset, length);
        this.value = v;
        this.offset = 0;
        this.count = v.length;
    }

    public String(byte[] bytes, String charsetName) throws java.io.UnsupportedEncodingException {
        this(bytes, 0, bytes.length, charsetName);
    }

    public String(byte[] bytes, int offset, int length, String charsetName)
        throws java.io.UnsupportedEncodingException {
        checkOffsetCount(offset, length, bytes.length);
        int cs = charsetOf(charsetName);
        char[] v;
        if (cs == CS_UTF8) {
            v = decodeUtf8(bytes, offset, length);
        } else {
            v = new char[length];
            for (int i = 0; i < length; i++) {
                int b = bytes[offset + i] & 0xFF;
                v[i] = (cs == CS_ASCII && b >= 0x80) ? '\uFFFD' : (char) b;
            }
        }
        this.value = v;
        this.offset = 0;
        this.count = v.length;
    }

    public String(StringBuffer buffer) {
        this(buffer.toString());
    }

    public String(StringBuilder builder) {
        this(builder.toString());
    }

    /** Takes ownership of v (no copy); for the library's own builders. */
    String(int offset, int count, char[] v) {
        this.value = v;
        this.offset = offset;
        this.count = count;
    }

    private static void checkOffsetCount(int offset, int count, int length) {
        if (offset < 0 || count < 0 || offset > length - count) {
            throw new StringIndexOutOfBoundsException(
                "offset " + offset + ", count " + count + ", length " + length);
        }
    }

    static void checkBoundsBeginEnd(int begin, int end, int length) {
        if (begin < 0 || begin > end || end > length) {
            throw new StringIndexOutOfBoundsException(
                "begin " + begin + ", end " + end + ", length " + length);
        }
    }

    // ---- charsets ----

    private static final int CS_UTF8 = 0;
    private static final int CS_LATIN1 = 1;
    private static final int CS_ASCII = 2;

    private static int charsetOf(String name) throws java.io.UnsupportedEncodingException {
        if (name == null) {
            throw new NullPointerException("charsetName");
        }
        String n = name.toUpperCase();
        if (n.equals("UTF-8") || n.equals("UTF8")) {
            return CS_UTF8;
        }
        if (n.equals("ISO-8859-1") || n.equals("ISO8859_1") || n.equals("LATIN1") || n.equals("ISO-LATIN-1")) {
            return CS_LATIN1;
        }
        if (n.equals("US-ASCII") || n.equals("ASCII")) {
            return CS_ASCII;
        }
        throw new java.io.UnsupportedEncodingException(name);
    }

    /**
     * UTF-8 to UTF-16.  Each maximal ill-formed subsequence (a lead byte and
     * the continuation bytes that were still valid for it) becomes one
     * U+FFFD; overlong forms and values above U+10FFFF are ill-formed at
     * their second byte; an encoded surrogate becomes one U+FFFD.
     */
    static char[] decodeUtf8(byte[] b, int off, int len) {
        char[] out = new char[len];
        int n = 0;
        int i = off;
        int end = off + len;
        while (i < end) {
            int c = b[i] & 0xFF;
            if (c < 0x80) {
                out[n++] = (char) c;
                i++;
                continue;
            }
            int need = utf8Trailing(c);
            if (need == 0) {
                out[n++] = '\uFFFD';
                i++;
                continue;
            }
            int cp = c & (0x3F >> need);
            int k = 1;
            for (; k <= need; k++) {
                if (i + k >= end) {
                    break;
                }
                int t = b[i + k] & 0xFF;
                int lo = 0x80;
                int hi = 0xBF;
                if (k == 1) {
                    lo = utf8SecondLow(c);
                    hi = utf8SecondHigh(c);
                }
                if (t < lo || t > hi) {
                    break;
                }
                cp = (cp << 6) | (t & 0x3F);
            }
            if (k <= need) {
                out[n++] = '\uFFFD';
                i += k;
                continue;
            }
            if (cp >= 0x10000) {
                out[n++] = Character.highSurrogate(cp);
                out[n++] = Character.lowSurrogate(cp);
            } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                out[n++] = '\uFFFD';       // an encoded surrogate: one replacement
            } else {
                out[n++] = (char) cp;
            }
            i += need + 1;
        }
        if (n == out.length) {
            return out;
        }
        char[] r = new char[n];
        System.arraycopy(out, 0, r, 0, n);
        return r;
    }

    /** Continuation bytes after lead byte c (0: c cannot start a sequence). */
    static int utf8Trailing(int c) {
        if (c >= 0xC2 && c <= 0xDF) {
            return 1;
        }
        if (c >= 0xE0 && c <= 0xEF) {
            return 2;
        }
        if (c >= 0xF0 && c <= 0xF4) {
            return 3;
        }
        return 0;
    }

    /** Range of the second byte after lead c (excludes overlongs and values above U+10FFFF). */
    static int utf8SecondLow(int c) {
        return c == 0xE0 ? 0xA0 : (c == 0xF0 ? 0x90 : 0x80);
    }

    static int utf8SecondHigh(int c) {
        return c == 0xF4 ? 0x8F : 0xBF;
    }

    /** Number of UTF-8 bytes of chars[off .. off+len) (lone surrogates count as '?'). */
    static int utf8Length(char[] v, int off, int len) {
        int n = 0;
        int end = off + len;
        for (int i = off; i < end; i++) {
            char c = v[i];
            if (c < 0x80) {
                n += 1;
            } else if (c < 0x800) {
                n += 2;
            } else if (Character.isHighSurrogate(c) && i + 1 < end && Character.isLowSurrogate(v[i + 1])) {
                n += 4;
                i++;
            } else if (Character.isSurrogate(c)) {
                n += 1;
            } else {
                n += 3;
            }
        }
        return n;
    }

    /** Encodes v[off .. off+len) as UTF-8 into dst at dpos; returns the new dpos. */
    static int encodeUtf8(char[] v, int off, int len, byte[] dst, int dpos) {
        int end = off + len;
        for (int i = off; i < end; i++) {
            char c = v[i];
            if (c < 0x80) {
                dst[dpos++] = (byte) c;
            } else if (c < 0x800) {
                dst[dpos++] = (byte) (0xC0 | (c >> 6));
                dst[dpos++] = (byte) (0x80 | (c & 0x3F));
            } else if (Character.isHighSurrogate(c) && i + 1 < end && Character.isLowSurrogate(v[i + 1])) {
                int cp = Character.toCodePoint(c, v[i + 1]);
                i++;
                dst[dpos++] = (byte) (0xF0 | (cp >> 18));
                dst[dpos++] = (byte) (0x80 | ((cp >> 12) & 0x3F));
                dst[dpos++] = (byte) (0x80 | ((cp >> 6) & 0x3F));
                dst[dpos++] = (byte) (0x80 | (cp & 0x3F));
            } else if (Character.isSurrogate(c)) {
                dst[dpos++] = (byte) '?';
            } else {
                dst[dpos++] = (byte) (0xE0 | (c >> 12));
                dst[dpos++] = (byte) (0x80 | ((c >> 6) & 0x3F));
                dst[dpos++] = (byte) (0x80 | (c & 0x3F));
            }
        }
        return dpos;
    }

    public byte[] getBytes() {
        byte[] b = new byte[utf8Length(value, offset, count)];
        encodeUtf8(value, offset, count, b, 0);
        return b;
    }

    public byte[] getBytes(String charsetName) throws java.io.UnsupportedEncodingException {
        int cs = charsetOf(charsetName);
        if (cs == CS_UTF8) {
            return getBytes();
        }
        int limit = cs == CS_ASCII ? 0x80 : 0x100;
        byte[] b = new byte[count];
        int n = 0;
        for (int i = 0; i < count; i++) {
            char c = value[offset + i];
            if (Character.isHighSurrogate(c) && i + 1 < count && Character.isLowSurrogate(value[offset + i + 1])) {
                i++;
                b[n++] = (byte) '?';
            } else {
                b[n++] = c < limit ? (byte) c : (byte) '?';
            }
        }
        if (n == count) {
            return b;
        }
        byte[] r = new byte[n];
        System.arraycopy(b, 0, r, 0, n);
        return r;
    }

    // ---- basic access ----

    public int length() {
        return count;
    }

    public boolean isEmpty() {
        return count == 0;
    }

    public char charAt(int index) {
        if (index < 0 || index >= count) {
            throw charIndexError(index);
        }
        return value[offset + index];
    }

    /**
     * The usual charAt message: "String index out of range: i" for a string
     * of Latin-1 chars, "index i, length n" for one with wider chars.
     */
    private StringIndexOutOfBoundsException charIndexError(int index) {
        for (int k = 0; k < count; k++) {
            if (value[offset + k] > 0xFF) {
                return new StringIndexOutOfBoundsException("index " + index + ", length " + count);
            }
        }
        return new StringIndexOutOfBoundsException("String index out of range: " + index);
    }

    public int codePointAt(int index) {
        if (index < 0 || index >= count) {
            throw new StringIndexOutOfBoundsException("index " + index + ", length " + count);
        }
        char c = value[offset + index];
        if (Character.isHighSurrogate(c) && index + 1 < count) {
            char d = value[offset + index + 1];
            if (Character.isLowSurrogate(d)) {
                return Character.toCodePoint(c, d);
            }
        }
        return c;
    }

    public void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin) {
        checkBoundsBeginEnd(srcBegin, srcEnd, count);
        int n = srcEnd - srcBegin;
        if (dstBegin < 0 || dstBegin > dst.length - n) {
            throw new StringIndexOutOfBoundsException(
                "offset " + dstBegin + ", count " + n + ", length " + dst.length);
        }
        System.arraycopy(value, offset + srcBegin, dst, dstBegin, n);
    }

    public char[] toCharArray() {
        char[] r = new char[count];
        System.arraycopy(value, offset, r, 0, count);
        return r;
    }

    // ---- comparison ----

    public boolean equals(Object anObject) {
        if (this == anObject) {
            return true;
        }
        if (!(anObject instanceof String)) {
            return false;
        }
        String other = (String) anObject;
        int n = count;
        if (n != other.count) {
            return false;
        }
        char[] v1 = value;
        char[] v2 = other.value;
        int i = offset;
        int j = other.offset;
        while (n-- > 0) {
            if (v1[i++] != v2[j++]) {
                return false;
            }
        }
        return true;
    }

    public boolean contentEquals(CharSequence cs) {
        if (cs.length() != count) {
            return false;
        }
        for (int i = 0; i < count; i++) {
            if (value[offset + i] != cs.charAt(i)) {
                return false;
            }
        }
        return true;
    }

    public boolean equalsIgnoreCase(String anotherString) {
        if (this == anotherString) {
            return true;
        }
        return anotherString != null && anotherString.count == count
            && regionMatches(true, 0, anotherString, 0, count);
    }

    public int compareTo(String anotherString) {
        int n1 = count;
        int n2 = anotherString.count;
        int lim = Math.min(n1, n2);
        char[] v1 = value;
        char[] v2 = anotherString.value;
        int i = offset;
        int j = anotherString.offset;
        for (int k = 0; k < lim; k++) {
            char c1 = v1[i + k];
            char c2 = v2[j + k];
            if (c1 != c2) {
                return c1 - c2;
            }
        }
        return n1 - n2;
    }

    public int compareToIgnoreCase(String str) {
        int n1 = count;
        int n2 = str.count;
        int lim = Math.min(n1, n2);
        for (int k = 0; k < lim; k++) {
            char c1 = value[offset + k];
            char c2 = str.value[str.offset + k];
            if (c1 != c2) {
                c1 = Character.toUpperCase(c1);
                c2 = Character.toUpperCase(c2);
                if (c1 != c2) {
                    c1 = Character.toLowerCase(c1);
                    c2 = Character.toLowerCase(c2);
                    if (c1 != c2) {
                        return c1 - c2;
                    }
                }
            }
        }
        return n1 - n2;
    }

    public boolean regionMatches(int toffset, String other, int ooffset, int len) {
        return regionMatches(false, toffset, other, ooffset, len);
    }

    public boolean regionMatches(boolean ignoreCase, int toffset, String other, int ooffset, int len) {
        if (ooffset < 0 || toffset < 0 || toffset > (long) count - len || ooffset > (long) other.count - len) {
            return false;
        }
        for (int k = 0; k < len; k++) {
            char c1 = value[offset + toffset + k];
            char c2 = other.value[other.offset + ooffset + k];
            if (c1 == c2) {
                continue;
            }
            if (ignoreCase) {
                char u1 = Character.toUpperCase(c1);
                char u2 = Character.toUpperCase(c2);
                if (u1 == u2 || Character.toLowerCase(u1) == Character.toLowerCase(u2)) {
                    continue;
                }
            }
            return false;
        }
        return true;
    }

    public boolean startsWith(String prefix, int toffset) {
        int n = prefix.count;
        if (toffset < 0 || toffset > count - n) {
            return false;
        }
        for (int k = 0; k < n; k++) {
            if (value[offset + toffset + k] != prefix.value[prefix.offset + k]) {
                return false;
            }
        }
        return true;
    }

    public boolean startsWith(String prefix) {
        return startsWith(prefix, 0);
    }

    public boolean endsWith(String suffix) {
        return startsWith(suffix, count - suffix.count);
    }

    public int hashCode() {
        int h = hash;
        if (h == 0 && count > 0) {
            char[] v = value;
            int end = offset + count;
            for (int i = offset; i < end; i++) {
                h = 31 * h + v[i];
            }
            hash = h;
        }
        return h;
    }

    // ---- searching ----

    public int indexOf(int ch) {
        return indexOf(ch, 0);
    }

    public int indexOf(int ch, int fromIndex) {
        if (fromIndex < 0) {
            fromIndex = 0;
        }
        if (ch >= Character.MIN_SUPPLEMENTARY_CODE_POINT) {
            if (ch > Character.MAX_CODE_POINT) {
                return -1;
            }
            char hi = Character.highSurrogate(ch);
            char lo = Character.lowSurrogate(ch);
            for (int i = fromIndex; i < count - 1; i++) {
                if (value[offset + i] == hi && value[offset + i + 1] == lo) {
                    return i;
                }
            }
            return -1;
        }
        for (int i = fromIndex; i < count; i++) {
            if (value[offset + i] == ch) {
                return i;
            }
        }
        return -1;
    }

    public int lastIndexOf(int ch) {
        return lastIndexOf(ch, count - 1);
    }

    public int lastIndexOf(int ch, int fromIndex) {
        if (fromIndex >= count) {
            fromIndex = count - 1;
        }
        if (ch >= Character.MIN_SUPPLEMENTARY_CODE_POINT) {
            if (ch > Character.MAX_CODE_POINT) {
                return -1;
            }
            char hi = Character.highSurrogate(ch);
            char lo = Character.lowSurrogate(ch);
            if (fromIndex >= count - 1) {
                fromIndex = count - 2;
            }
            for (int i = fromIndex; i >= 0; i--) {
                if (value[offset + i] == hi && value[offset + i + 1] == lo) {
                    return i;
                }
            }
            return -1;
        }
        for (int i = fromIndex; i >= 0; i--) {
            if (value[offset + i] == ch) {
                return i;
            }
        }
        return -1;
    }

    /** Throws NullPointerException for a null str and has no other side effect. */
    public int indexOf(String str) {
        return indexOf(str, 0);
    }

    public int indexOf(String str, int fromIndex) {
        return indexOf(value, offset, count, str.value, str.offset, str.count, fromIndex);
    }

    /** Search of target in source; shared with the string builders. */
    static int indexOf(char[] source, int sourceOffset, int sourceCount,
                       char[] target, int targetOffset, int targetCount, int fromIndex) {
        if (fromIndex >= sourceCount) {
            return targetCount == 0 ? sourceCount : -1;
        }
        if (fromIndex < 0) {
            fromIndex = 0;
        }
        if (targetCount == 0) {
            return fromIndex;
        }
        char first = target[targetOffset];
        int max = sourceCount - targetCount;
        for (int i = fromIndex; i <= max; i++) {
            if (source[sourceOffset + i] != first) {
                continue;
            }
            int k = 1;
            while (k < targetCount && source[sourceOffset + i + k] == target[targetOffset + k]) {
                k++;
            }
            if (k == targetCount) {
                return i;
            }
        }
        return -1;
    }

    public int lastIndexOf(String str) {
        return lastIndexOf(str, count);
    }

    public int lastIndexOf(String str, int fromIndex) {
        return lastIndexOf(value, offset, count, str.value, str.offset, str.count, fromIndex);
    }

    static int lastIndexOf(char[] source, int sourceOffset, int sourceCount,
                           char[] target, int targetOffset, int targetCount, int fromIndex) {
        int right = sourceCount - targetCount;
        if (fromIndex < 0) {
            return -1;
        }
        if (fromIndex > right) {
            fromIndex = right;
        }
        for (int i = fromIndex; i >= 0; i--) {
            int k = 0;
            while (k < targetCount && source[sourceOffset + i + k] == target[targetOffset + k]) {
                k++;
            }
            if (k == targetCount) {
                return i;
            }
        }
        return -1;
    }

    public boolean contains(CharSequence s) {
        return indexOf(s.toString()) >= 0;
    }

    // ---- derived strings ----

    public String substring(int beginIndex) {
        return substring(beginIndex, count);
    }

    public String substring(int beginIndex, int endIndex) {
        checkBoundsBeginEnd(beginIndex, endIndex, count);
        if (beginIndex == 0 && endIndex == count) {
            return this;
        }
        return new String(value, offset + beginIndex, endIndex - beginIndex);
    }

    public CharSequence subSequence(int beginIndex, int endIndex) {
        return substring(beginIndex, endIndex);
    }

    public String concat(String str) {
        int n = str.count;
        if (n == 0) {
            return this;
        }
        char[] v = new char[count + n];
        System.arraycopy(value, offset, v, 0, count);
        System.arraycopy(str.value, str.offset, v, count, n);
        return new String(0, v.length, v);
    }

    public String replace(char oldChar, char newChar) {
        if (oldChar == newChar) {
            return this;
        }
        int i = indexOf(oldChar);
        if (i < 0) {
            return this;
        }
        char[] v = toCharArray();
        for (; i < v.length; i++) {
            if (v[i] == oldChar) {
                v[i] = newChar;
            }
        }
        return new String(0, v.length, v);
    }

    /** Replaces every occurrence of target, literally (no patterns). */
    public String replace(CharSequence target, CharSequence replacement) {
        String t = target.toString();
        String r = replacement.toString();
        int i = indexOf(t);
        if (i < 0) {
            return this;
        }
        StringBuilder sb = new StringBuilder(count + 16);
        int from = 0;
        if (t.count == 0) {
            for (int k = 0; k < count; k++) {
                sb.append(r).append(value[offset + k]);
            }
            return sb.append(r).toString();
        }
        while (i >= 0) {
            sb.append(value, offset + from, i - from).append(r);
            from = i + t.count;
            i = indexOf(t, from);
        }
        sb.append(value, offset + from, count - from);
        return sb.toString();
    }

    public String trim() {
        int b = 0;
        int e = count;
        while (b < e && value[offset + b] <= ' ') {
            b++;
        }
        while (e > b && value[offset + e - 1] <= ' ') {
            e--;
        }
        return (b > 0 || e < count) ? substring(b, e) : this;
    }

    public String strip() {
        int b = 0;
        int e = count;
        while (b < e && Character.isWhitespace(value[offset + b])) {
            b++;
        }
        while (e > b && Character.isWhitespace(value[offset + e - 1])) {
            e--;
        }
        return (b > 0 || e < count) ? substring(b, e) : this;
    }

    public boolean isBlank() {
        for (int i = 0; i < count; i++) {
            if (!Character.isWhitespace(value[offset + i])) {
                return false;
            }
        }
        return true;
    }

    public String repeat(int n) {
        if (n < 0) {
            throw new IllegalArgumentException("count is negative: " + n);
        }
        if (n == 1 || count == 0) {
            return this;
        }
        if ((long) count * n > Integer.MAX_VALUE) {
            throw new OutOfMemoryError("Repeating " + count + " bytes String " + n
                + " times will produce a String exceeding maximum size.");
        }
        char[] v = new char[count * n];
        for (int k = 0; k < n; k++) {
            System.arraycopy(value, offset, v, k * count, count);
        }
        return new String(0, v.length, v);
    }

    /** Latin-1 case mapping; U+00DF becomes "SS". */
    public String toUpperCase() {
        int i = 0;
        while (i < count) {
            char c = value[offset + i];
            if (c == '\u00DF' || Character.toUpperCase(c) != c) {
                break;
            }
            i++;
        }
        if (i == count) {
            return this;
        }
        StringBuilder sb = new StringBuilder(count + 4);
        sb.append(value, offset, i);
        for (; i < count; i++) {
            char c = value[offset + i];
            if (c == '\u00DF') {
                sb.append("SS");
            } else {
                sb.append(Character.toUpperCase(c));
            }
        }
        return sb.toString();
    }

    /** Case mapping does not depend on the locale here. */
    public String toUpperCase(java.util.Locale locale) {
        return toUpperCase();
    }

    public String toLowerCase(java.util.Locale locale) {
        return toLowerCase();
    }

    public String toLowerCase() {
        int i = 0;
        while (i < count && Character.toLowerCase(value[offset + i]) == value[offset + i]) {
            i++;
        }
        if (i == count) {
            return this;
        }
        char[] v = toCharArray();
        for (; i < v.length; i++) {
            v[i] = Character.toLowerCase(v[i]);
        }
        return new String(0, v.length, v);
    }

    /**
     * Splits around a separator.  Only literal separators are supported: a
     * string without the regular-expression characters .$|()[{^?*+\, such a
     * character escaped with a backslash ("\\." or "\\|"), or one of the
     * escapes \t \n \r \f.  Anything else throws
     * UnsupportedOperationException.
     */
    public String[] split(String regex) {
        return split(regex, 0);
    }

    public String[] split(String regex, int limit) {
        String sep = literalSeparator(regex);
        int sl = sep.count;
        java.util.ArrayList<String> parts = new java.util.ArrayList<String>();
        int from = 0;
        int pos = 0;
        boolean matched = false;
        while (true) {
            int i;
            if (sl == 0) {
                i = pos <= count ? pos : -1;
            } else {
                i = indexOf(sep, pos);
            }
            if (i < 0) {
                break;
            }
            if (sl == 0 && i == 0) {
                // An empty match at the start yields no leading empty string.
                pos = 1;
                continue;
            }
            if (limit > 0 && parts.size() == limit - 1) {
                break;
            }
            matched = true;
            parts.add(substring(from, i));
            from = i + sl;
            pos = sl == 0 ? i + 1 : from;
        }
        if (!matched) {
            return new String[] { this };
        }
        parts.add(substring(from, count));
        int n = parts.size();
        if (limit == 0) {
            while (n > 0 && parts.get(n - 1).count == 0) {
                n--;
            }
        }
        String[] r = new String[n];
        for (int k = 0; k < n; k++) {
            r[k] = parts.get(k);
        }
        return r;
    }

    private static String literalSeparator(String regex) {
        if (regex.count == 2 && regex.value[regex.offset] == '\\') {
            char c = regex.value[regex.offset + 1];
            if (!Character.isLetterOrDigit(c)) {
                return String.valueOf(c);
            }
            int k = "tnrf".indexOf(c);
            if (k >= 0) {
                return String.valueOf("\t\n\r\f".charAt(k));
            }
        }
        for (int k = 0; k < regex.count; k++) {
            if (".$|()[{^?*+\\".indexOf(regex.value[regex.offset + k]) >= 0) {
                throw new UnsupportedOperationException("regular expressions are not supported: " + regex);
            }
        }
        return regex;
    }

    /**
     * Replaces every match of regex; only literal separators are supported
     * (as for split).  In the replacement, backslash quotes the next char;
     * a '$' group reference is refused with IllegalArgumentException.
     */
    public String replaceAll(String regex, String replacement) {
        return replace(literalSeparator(regex), literalReplacement(replacement));
    }

    public String replaceFirst(String regex, String replacement) {
        String t = literalSeparator(regex);
        int i = indexOf(t);
        if (i < 0) {
            return this;
        }
        return substring(0, i).concat(literalReplacement(replacement)).concat(substring(i + t.count));
    }

    private static String literalReplacement(String r) {
        if (r.indexOf('\\') < 0 && r.indexOf('$') < 0) {
            return r;
        }
        StringBuilder sb = new StringBuilder(r.count);
        for (int k = 0; k < r.count; k++) {
            char c = r.value[r.offset + k];
            if (c == '\\') {
                k++;
                if (k == r.count) {
                    throw new IllegalArgumentException("character to be escaped is missing");
                }
                sb.append(r.value[r.offset + k]);
            } else if (c == '$') {
                throw new IllegalArgumentException("Illegal group reference");
            } else {
                sb.append(c);
            }
        }
        return sb.toString();
    }

    public static String join(CharSequence delimiter, CharSequence... elements) {
        StringBuilder sb = new StringBuilder();
        for (int k = 0; k < elements.length; k++) {
            if (k > 0) {
                sb.append(delimiter);
            }
            sb.append(elements[k]);
        }
        return sb.toString();
    }

    public static String join(CharSequence delimiter, Iterable<? extends CharSequence> elements) {
        StringBuilder sb = new StringBuilder();
        boolean first = true;
        for (CharSequence cs : elements) {
            if (!first) {
                sb.append(delimiter);
            }
            sb.append(cs);
            first = false;
        }
        return sb.toString();
    }

    public String toString() {
        return this;
    }

    /** printf-style formatting (see java.util.Formatter for what is supported). */
    public static String format(String format, Object... args) {
        return new java.util.Formatter().format(format, args).toString();
    }

    /** As format(String, Object...): every locale formats the same way. */
    public static String format(java.util.Locale l, String format, Object... args) {
        return new java.util.Formatter().format(format, args).toString();
    }

    /** The canonical instance of this string (the VM's intern table). */
    public native String intern();

    // ---- valueOf ----

    public static String valueOf(Object obj) {
        return (obj == null) ? "null" : obj.toString();
    }

    public static String valueOf(char[] data) {
        return new String(data);
    }

    public static String valueOf(char[] data, int offset, int count) {
        return new String(data, offset, count);
    }

    public static String copyValueOf(char[] data) {
        return new String(data);
    }

    public static String copyValueOf(char[] data, int offset, int count) {
        return new String(data, offset, count);
    }

    public static String valueOf(boolean b) {
        return b ? "true" : "false";
    }

    public static String valueOf(char c) {
        char[] v = { c };
        return new String(0, 1, v);
    }

    public static String valueOf(int i) {
        return Integer.toString(i);
    }

    public static String valueOf(long l) {
        return Long.toString(l);
    }

    public static String valueOf(float f) {
        return Float.toString(f);
    }

    public static String valueOf(double d) {
        return Double.toString(d);
    }

    static final class CaseInsensitiveComparator
        implements java.util.Comparator<String>, java.io.Serializable {
        public int compare(String s1, String s2) {
            return s1.compareToIgnoreCase(s2);
        }
    }
}
