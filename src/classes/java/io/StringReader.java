package java.io;

/** Reads the chars of a string. */
public class StringReader extends Reader {
    private String str;
    private int next;

    public StringReader(String s) {
        this.str = s;
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > cbuf.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        if (next >= str.length()) {
            return -1;
        }
        int n = Math.min(str.length() - next, len);
        str.getChars(next, next + n, cbuf, off);
        next += n;
        return n;
    }

    public boolean ready() {
        return true;
    }

    public void close() {}
}
