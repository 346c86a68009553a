package java.lang;

/**
 * A mutable sequence of characters without locking; javac builds string
 * concatenations with it.
 * append, insert and toString never return null (compiled code assumes it
 * for every class whose name starts with java/lang/String).
 */
public final class StringBuilder extends AbstractStringBuilder implements java.io.Serializable {
    public StringBuilder() {
        super(16);
    }

    public StringBuilder(int capacity) {
        super(capacity);
    }

    public StringBuilder(String str) {
        super(str.length() + 16);
        appendString(str);
    }

    public StringBuilder(CharSequence seq) {
        super(seq.length() + 16);
        appendChars(seq);
    }

    public StringBuilder append(Object obj) {
        appendString(String.valueOf(obj));
        return this;
    }

    public StringBuilder append(String str) {
        appendString(str);
        return this;
    }

    public StringBuilder append(StringBuffer sb) {
        appendBuilder(sb);
        return this;
    }

    public StringBuilder append(CharSequence s) {
        appendChars(s);
        return this;
    }

    public StringBuilder append(CharSequence s, int start, int end) {
        appendChars(s, start, end);
        return this;
    }

    public StringBuilder append(char[] str) {
        appendArray(str, 0, str.length);
        return this;
    }

    public StringBuilder append(char[] str, int offset, int len) {
        appendArray(str, offset, len);
        return this;
    }

    public StringBuilder append(boolean b) {
        appendString(b ? "true" : "false");
        return this;
    }

    public StringBuilder append(char c) {
        appendChar(c);
        return this;
    }

    public StringBuilder append(int i) {
        appendInt(i);
        return this;
    }

    public StringBuilder append(long l) {
        appendLong(l);
        return this;
    }

    public StringBuilder append(float f) {
        appendString(Float.toString(f));
        return this;
    }

    public StringBuilder append(double d) {
        appendString(Double.toString(d));
        return this;
    }

    public StringBuilder appendCodePoint(int codePoint) {
        appendCodePointImpl(codePoint);
        return this;
    }

    public StringBuilder delete(int start, int end) {
        deleteImpl(start, end);
        return this;
    }

    public StringBuilder deleteCharAt(int index) {
        deleteCharAtImpl(index);
        return this;
    }

    public StringBuilder replace(int start, int end, String str) {
        replaceImpl(start, end, str);
        return this;
    }

    public StringBuilder insert(int index, char[] str, int offset, int len) {
        insertArray(index, str, offset, len);
        return this;
    }

    public StringBuilder insert(int offset, Object obj) {
        insertString(offset, String.valueOf(obj));
        return this;
    }

    public StringBuilder insert(int offset, String str) {
        insertString(offset, str);
        return this;
    }

    public StringBuilder insert(int offset, char[] str) {
        insertArray(offset, str, 0, str.length);
        return this;
    }

    public StringBuilder insert(int offset, CharSequence s) {
        insertString(offset, s == null ? "null" : s.toString());
        return this;
    }

    public StringBuilder insert(int offset, boolean b) {
        insertString(offset, b ? "true" : "false");
        return this;
    }

    public StringBuilder insert(int offset, char c) {
        insertChar(offset, c);
        return this;
    }

    public StringBuilder insert(int offset, int i) {
        insertString(offset, Integer.toString(i));
        return this;
    }

    public StringBuilder insert(int offset, long l) {
        insertString(offset, Long.toString(l));
        return this;
    }

    public StringBuilder insert(int offset, float f) {
        insertString(offset, Float.toString(f));
        return this;
    }

    public StringBuilder insert(int offset, double d) {
        insertString(offset, Double.toString(d));
        return this;
    }

    public StringBuilder reverse() {
        reverseImpl();
        return this;
    }

    public String toString() {
        return new String(value, 0, count);
    }
}
