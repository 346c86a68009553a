package java.lang;

/**
 * A mutable sequence of characters whose methods are synchronized.
 * append, insert and toString never return null (compiled code assumes it
 * for every class whose name starts with java/lang/String).
 */
public final class StringBuffer extends AbstractStringBuilder implements java.io.Serializable {
    public StringBuffer() {
        super(16);
    }

    public StringBuffer(int capacity) {
        super(capacity);
    }

    public StringBuffer(String str) {
        super(str.length() + 16);
        appendString(str);
    }

    public StringBuffer(CharSequence seq) {
        super(seq.length() + 16);
        appendChars(seq);
    }

    public synchronized StringBuffer append(Object obj) {
        appendString(String.valueOf(obj));
        return this;
    }

    public synchronized StringBuffer append(String str) {
        appendString(str);
        return this;
    }

    public synchronized StringBuffer append(StringBuffer sb) {
        appendBuilder(sb);
        return this;
    }

    public synchronized StringBuffer append(CharSequence s) {
        appendChars(s);
        return this;
    }

    public synchronized StringBuffer append(CharSequence s, int start, int end) {
        appendChars(s, start, end);
        return this;
    }

    public synchronized StringBuffer append(char[] str) {
        appendArray(str, 0, str.length);
        return this;
    }

    public synchronized StringBuffer append(char[] str, int offset, int len) {
        appendArray(str, offset, len);
        return this;
    }

    public synchronized StringBuffer append(boolean b) {
        appendString(b ? "true" : "false");
        return this;
    }

    public synchronized StringBuffer append(char c) {
        appendChar(c);
        return this;
    }

    public synchronized StringBuffer append(int i) {
        appendInt(i);
        return this;
    }

    public synchronized StringBuffer append(long l) {
        appendLong(l);
        return this;
    }

    public synchronized StringBuffer append(float f) {
        appendString(Float.toString(f));
        return this;
    }

    public synchronized StringBuffer append(double d) {
        appendString(Double.toString(d));
        return this;
    }

    public synchronized StringBuffer appendCodePoint(int codePoint) {
        appendCodePointImpl(codePoint);
        return this;
    }

    public synchronized StringBuffer delete(int start, int end) {
        deleteImpl(start, end);
        return this;
    }

    public synchronized StringBuffer deleteCharAt(int index) {
        deleteCharAtImpl(index);
        return this;
    }

    public synchronized StringBuffer replace(int start, int end, String str) {
        replaceImpl(start, end, str);
        return this;
    }

    public synchronized StringBuffer insert(int index, char[] str, int offset, int len) {
        insertArray(index, str, offset, len);
        return this;
    }

    public synchronized StringBuffer insert(int offset, Object obj) {
        insertString(offset, String.valueOf(obj));
        return this;
    }

    public synchronized StringBuffer insert(int offset, String str) {
        insertString(offset, str);
        return this;
    }

    public synchronized StringBuffer insert(int offset, char[] str) {
        insertArray(offset, str, 0, str.length);
        return this;
    }

    public synchronized StringBuffer insert(int offset, CharSequence s) {
        insertString(offset, s == null ? "null" : s.toString());
        return this;
    }

    public synchronized StringBuffer insert(int offset, boolean b) {
        insertString(offset, b ? "true" : "false");
        return this;
    }

    public synchronized StringBuffer insert(int offset, char c) {
        insertChar(offset, c);
        return this;
    }

    public synchronized StringBuffer insert(int offset, int i) {
        insertString(offset, Integer.toString(i));
        return this;
    }

    public synchronized StringBuffer insert(int offset, long l) {
        insertString(offset, Long.toString(l));
        return this;
    }

    public synchronized StringBuffer insert(int offset, float f) {
        insertString(offset, Float.toString(f));
        return this;
    }

    public synchronized StringBuffer insert(int offset, double d) {
        insertString(offset, Double.toString(d));
        return this;
    }

    public synchronized StringBuffer reverse() {
        reverseImpl();
        return this;
    }

    public synchronized int length() {
        return super.length();
    }

    public synchronized int capacity() {
        return super.capacity();
    }

    public synchronized void ensureCapacity(int minimumCapacity) {
        super.ensureCapacity(minimumCapacity);
    }

    public synchronized void trimToSize() {
        super.trimToSize();
    }

    public synchronized void setLength(int newLength) {
        super.setLength(newLength);
    }

    public synchronized char charAt(int index) {
        return super.charAt(index);
    }

    public synchronized void setCharAt(int index, char ch) {
        super.setCharAt(index, ch);
    }

    public synchronized void getChars(int srcBegin, int srcEnd, char[] dst, int dstBegin) {
        super.getChars(srcBegin, srcEnd, dst, dstBegin);
    }

    public synchronized int indexOf(String str, int fromIndex) {
        return super.indexOf(str, fromIndex);
    }

    public synchronized int lastIndexOf(String str, int fromIndex) {
        return super.lastIndexOf(str, fromIndex);
    }

    public synchronized String substring(int start, int end) {
        return super.substring(start, end);
    }

    public synchronized CharSequence subSequence(int start, int end) {
        return super.subSequence(start, end);
    }

    public synchronized String toString() {
        return new String(value, 0, count);
    }
}
