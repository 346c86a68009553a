package java.io;

/** Buffers chars for another writer. */
public class BufferedWriter extends Writer {
    private Writer out;
    private char[] cb;
    private int nextChar;

    public BufferedWriter(Writer out) {
        this(out, 8192);
    }

    public BufferedWriter(Writer out, int sz) {
        super(out);
        if (sz <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        this.out = out;
        cb = new char[sz];
    }

    private void flushBuffer() throws IOException {
        if (nextChar > 0) {
            out.write(cb, 0, nextChar);
            nextChar = 0;
        }
    }

    public void write(int c) throws IOException {
        synchronized (lock) {
            if (nextChar >= cb.length) {
                flushBuffer();
            }
            cb[nextChar++] = (char) c;
        }
    }

    public void write(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            if (off < 0 || len < 0 || off > cbuf.length - len) {
                throw new IndexOutOfBoundsException();
            }
            if (len >= cb.length) {
                flushBuffer();
                out.write(cbuf, off, len);
                return;
            }
            if (len > cb.length - nextChar) {
                flushBuffer();
            }
            System.arraycopy(cbuf, off, cb, nextChar, len);
            nextChar += len;
        }
    }

    public void write(String s, int off, int len) throws IOException {
        synchronized (lock) {
            while (len > 0) {
                if (nextChar >= cb.length) {
                    flushBuffer();
                }
                int n = Math.min(cb.length - nextChar, len);
                s.getChars(off, off + n, cb, nextChar);
                nextChar += n;
                off += n;
                len -= n;
            }
        }
    }

    public void newLine() throws IOException {
        write('\n');
    }

    public void flush() throws IOException {
        synchronized (lock) {
            flushBuffer();
            out.flush();
        }
    }

    public void close() throws IOException {
        synchronized (lock) {
            if (out == null) {
                return;
            }
            try {
                flushBuffer();
                out.flush();
            } finally {
                out.close();
                out = null;
            }
        }
    }
}
