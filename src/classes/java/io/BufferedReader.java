package java.io;

/** Buffers a reader and splits it into lines ("\n", "\r" or "\r\n"). */
public class BufferedReader extends Reader {
    private final Reader in;
    private char[] cb;
    private int nChars;
    private int nextChar;
    private boolean skipLF;

    public BufferedReader(Reader in, int sz) {
        super(in);
        if (sz <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        this.in = in;
        cb = new char[sz];
    }

    public BufferedReader(Reader in) {
        this(in, 8192);
    }

    private boolean fill() throws IOException {
        int n = in.read(cb, 0, cb.length);
        if (n <= 0) {
            return false;
        }
        nChars = n;
        nextChar = 0;
        return true;
    }

    public int read() throws IOException {
        synchronized (lock) {
            for (;;) {
                if (nextChar >= nChars && !fill()) {
                    return -1;
                }
                if (skipLF) {
                    skipLF = false;
                    if (cb[nextChar] == '\n') {
                        nextChar++;
                        continue;
                    }
                }
                return cb[nextChar++];
            }
        }
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            if (off < 0 || len < 0 || off > cbuf.length - len) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            int n = 0;
            while (n < len) {
                if (nextChar >= nChars) {
                    if (n > 0 && !in.ready()) {
                        break;
                    }
                    if (!fill()) {
                        break;
                    }
                }
                if (skipLF) {
                    skipLF = false;
                    if (cb[nextChar] == '\n') {
                        nextChar++;
                        continue;
                    }
                }
                int k = Math.min(len - n, nChars - nextChar);
                System.arraycopy(cb, nextChar, cbuf, off + n, k);
                nextChar += k;
                n += k;
            }
            return n == 0 ? -1 : n;
        }
    }

    /** The next line without its terminator, or null at the end. */
    public String readLine() throws IOException {
        synchronized (lock) {
            StringBuilder s = null;
            for (;;) {
                if (nextChar >= nChars && !fill()) {
                    return (s != null && s.length() > 0) ? s.toString() : null;
                }
                if (skipLF) {
                    skipLF = false;
                    if (cb[nextChar] == '\n') {
                        nextChar++;
                        continue;
                    }
                }
                int start = nextChar;
                int i = start;
                while (i < nChars && cb[i] != '\n' && cb[i] != '\r') {
                    i++;
                }
                if (s == null) {
                    s = new StringBuilder(80);
                }
                s.append(cb, start, i - start);
                if (i < nChars) {
                    char c = cb[i];
                    nextChar = i + 1;
                    if (c == '\r') {
                        skipLF = true;
                    }
                    return s.toString();
                }
                nextChar = i;
            }
        }
    }

    public boolean ready() throws IOException {
        synchronized (lock) {
            return nextChar < nChars || in.ready();
        }
    }

    public void close() throws IOException {
        in.close();
    }
}
