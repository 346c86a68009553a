package java.lang;

/**
 * The shared body of StringBuilder and StringBuffer: a growable char array.
 * Fields: value (+8), count (+12).  Capacity grows to 2n+2 or to what is
 * needed, whichever is larger.  Every index is checked before value is
 * touched; StringIndexOutOfBoundsException messages: "index i, length n",
 * "start s, end e, length n", "offset o, length n"; ranges of a
 * CharSequence argument or a destination array raise
 * IndexOutOfBoundsException "start s, end e, length n".
 */
abstract class AbstractStringBuilder implements CharSequence {
    char[] value;
    int count;

    AbstractStringBuilder(int capacity) {
        if (capacity < 0) {
            throw new NegativeArraySizeException(Integer.toString(capacity));
        }
        value = new char[capacity];
    }

    public int length() {
        return count;
    }

    public int capacity() {
        return value.length;
    }

    public void ensureCapacity(int minimumCapacity) {
        if (minimumCapacity > value.length) {
            expand(minimumCapacity);
        }
    }

    private void expand(int minimumCapacity) {
        int n = value.length * 2 + 2;
        if (n - minimumCapacity < 0) {
            n = minimumCapacity;
        }
        if (n < 0) {
            if (minimumCapacity < 0) {
                throw new OutOfMemoryError();
            }
            n = Integer.MAX_VALUE;
        }
        char[] v = new char[n];
        System.arraycopy(value, 0, v, 0, count);
        value = v;
    }

    public void trimToSize() {
        if (count < value.length) {
            char[] v = new char[count];
            System.arraycopy(value, 0, v, 0, count);
            value = v;
        }
    }

    public void setLength(int newLength) {
        if (newLength < 0) {
            throw new StringIndexOutOfBoundsException("String index out of range: " + newLength);
        }
        ensureCapacity(newLength);
        for (int i = count; i < newLength; i++) {
            value[i] = '\0';
        }
        count = newLength;
    }

    private void checkIndex(int index) {
        if (index < 0 || index >= count) {
            throw new StringIndexOutOfBoundsException("index " + index + ", length " + count);
        }
    }

    private void checkRange(int start, int end, int length) {
        if (start < 0 || start > end || end > length) {
            throw new StringIndexOutOfBoundsException("start " + start + ", end " + end + ", length " + length);
        }
    }

    private void checkOffset(int offset) {
        if (offset < 0 || offset > count) {
            throw new StringIndexOutOfBoundsException("offset " + offset + ", length " + count);
        }
    }

    public char charAt(int index) {
        checkIndex(index);
        return value[index];
    }

    public void setCharAt(int index, char ch) {
        checkIndex(index);
        value[index] = ch;
    }

    public void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin) {
        checkRange(srcBegin, srcEnd, count);
        int n = srcEnd - srcBegin;
        if (dstBegin < 0 || dstBegin > dst.length - n) {
            throw new IndexOutOfBoundsException(
                "start " + dstBegin + ", end " + (dstBegin + n) + ", length " + dst.length);
        }
        System.arraycopy(value, srcBegin, dst, dstBegin, n);
    }

    // ---- appending (each returns this) ----

    AbstractStringBuilder appendString(String str) {
        if (str == null) {
            return appendNull();
        }
        int n = str.length();
        ensureCapacity(count + n);
        str.getChars(0, n, value, count);
        count += n;
        return this;
    }

    AbstractStringBuilder appendNull() {
        ensureCapacity(count + 4);
        value[count++] = 'n';
        value[count++] = 'u';
        value[count++] = 'l';
        value[count++] = 'l';
        return this;
    }

    AbstractStringBuilder appendBuilder(AbstractStringBuilder sb) {
        if (sb == null) {
            return appendNull();
        }
        int n = sb.count;
        ensureCapacity(count + n);
        System.arraycopy(sb.value, 0, value, count, n);
        count += n;
        return this;
    }

    AbstractStringBuilder appendChars(CharSequence s, int start, int end) {
        if (s == null) {
            s = "null";
        }
        if (start < 0 || start > end || end > s.length()) {
            throw new IndexOutOfBoundsException("start " + start + ", end " + end + ", length " + s.length());
        }
        ensureCapacity(count + end - start);
        for (int i = start; i < end; i++) {
            value[count++] = s.charAt(i);
        }
        return this;
    }

    AbstractStringBuilder appendChars(CharSequence s) {
        if (s == null) {
            return appendNull();
        }
        if (s instanceof String) {
            return appendString((String) s);
        }
        if (s instanceof AbstractStringBuilder) {
            return appendBuilder((AbstractStringBuilder) s);
        }
        return appendChars(s, 0, s.length());
    }

    AbstractStringBuilder appendArray(char[] str, int offset, int len) {
        if (offset < 0 || len < 0 || offset > str.length - len) {
            throw new IndexOutOfBoundsException("offset " + offset + ", count " + len + ", length " + str.length);
        }
        ensureCapacity(count + len);
        System.arraycopy(str, offset, value, count, len);
        count += len;
        return this;
    }

    AbstractStringBuilder appendChar(char c) {
        ensureCapacity(count + 1);
        value[count++] = c;
        return this;
    }

    AbstractStringBuilder appendInt(int i) {
        if (i == Integer.MIN_VALUE) {
            return appendString("-2147483648");
        }
        int n = Integer.stringSize(i);
        ensureCapacity(count + n);
        Integer.getChars(i, count + n, value);
        count += n;
        return this;
    }

    AbstractStringBuilder appendLong(long l) {
        if (l == Long.MIN_VALUE) {
            return appendString("-9223372036854775808");
        }
        int n = Long.stringSize(l);
        ensureCapacity(count + n);
        Long.getChars(l, count + n, value);
        count += n;
        return this;
    }

    AbstractStringBuilder appendCodePointImpl(int codePoint) {
        if (codePoint >= 0 && codePoint < Character.MIN_SUPPLEMENTARY_CODE_POINT) {
            return appendChar((char) codePoint);
        }
        if (!Character.isValidCodePoint(codePoint)) {
            throw new IllegalArgumentException("Not a valid Unicode code point: 0x"
                + Integer.toHexString(codePoint).toUpperCase());
        }
        ensureCapacity(count + 2);
        value[count++] = Character.highSurrogate(codePoint);
        value[count++] = Character.lowSurrogate(codePoint);
        return this;
    }

    // ---- editing ----

    AbstractStringBuilder deleteImpl(int start, int end) {
        if (end > count) {
            end = count;
        }
        checkRange(start, end, count);
        int len = end - start;
        if (len > 0) {
            System.arraycopy(value, start + len, value, start, count - end);
            count -= len;
        }
        return this;
    }

    AbstractStringBuilder deleteCharAtImpl(int index) {
        checkIndex(index);
        System.arraycopy(value, index + 1, value, index, count - index - 1);
        count--;
        return this;
    }

    AbstractStringBuilder replaceImpl(int start, int end, String str) {
        if (end > count) {
            end = count;
        }
        checkRange(start, end, count);
        int len = str.length();
        int newCount = count + len - (end - start);
        ensureCapacity(newCount);
        System.arraycopy(value, end, value, start + len, count - end);
        str.getChars(0, len, value, start);
        count = newCount;
        return this;
    }

    AbstractStringBuilder insertString(int offset, String str) {
        checkOffset(offset);
        if (str == null) {
            str = "null";
        }
        int len = str.length();
        ensureCapacity(count + len);
        System.arraycopy(value, offset, value, offset + len, count - offset);
        str.getChars(0, len, value, offset);
        count += len;
        return this;
    }

    AbstractStringBuilder insertArray(int index, char[] str, int offset, int len) {
        checkOffset(index);
        checkRange(offset, offset + len, str.length);
        ensureCapacity(count + len);
        System.arraycopy(value, index, value, index + len, count - index);
        System.arraycopy(str, offset, value, index, len);
        count += len;
        return this;
    }

    AbstractStringBuilder insertChar(int offset, char c) {
        checkOffset(offset);
        ensureCapacity(count + 1);
        System.arraycopy(value, offset, value, offset + 1, count - offset);
        value[offset] = c;
        count++;
        return this;
    }

    AbstractStringBuilder reverseImpl() {
        int n = count - 1;
        boolean surrogates = false;
        for (int j = (n - 1) >> 1; j >= 0; j--) {
            int k = n - j;
            char cj = value[j];
            char ck = value[k];
            value[j] = ck;
            value[k] = cj;
            if (Character.isSurrogate(cj) || Character.isSurrogate(ck)) {
                surrogates = true;
            }
        }
        if (surrogates) {
            // Pairs were reversed too: put each low/high pair back in order.
            for (int i = 0; i < count - 1; i++) {
                char c2 = value[i];
                if (Character.isLowSurrogate(c2)) {
                    char c1 = value[i + 1];
                    if (Character.isHighSurrogate(c1)) {
                        value[i++] = c1;
                        value[i] = c2;
                    }
                }
            }
        }
        return this;
    }

    // ---- searching and extracting ----

    public int indexOf(String str) {
        return indexOf(str, 0);
    }

    public int indexOf(String str, int fromIndex) {
        char[] t = str.toCharArray();
        return String.indexOf(value, 0, count, t, 0, t.length, fromIndex);
    }

    public int lastIndexOf(String str) {
        return lastIndexOf(str, count);
    }

    public int lastIndexOf(String str, int fromIndex) {
        char[] t = str.toCharArray();
        return String.lastIndexOf(value, 0, count, t, 0, t.length, fromIndex);
    }

    public String substring(int start) {
        return substring(start, count);
    }

    public String substring(int start, int end) {
        checkRange(start, end, count);
        return new String(value, start, end - start);
    }

    public CharSequence subSequence(int start, int end) {
        return substring(start, end);
    }

    public abstract String toString();
}
