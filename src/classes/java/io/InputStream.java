package java.io;

/** A source of bytes. */
public abstract class InputStream implements Closeable {
    public InputStream() {}

    public abstract int read() throws IOException;

    public int read(byte[] b) throws IOException {
        return read(b, 0, b.length);
    }

    public int read(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        int c = read();
        if (c == -1) {
            return -1;
        }
        b[off] = (byte) c;
        int i = 1;
        for (; i < len; i++) {
            if (available() <= 0) {
                break;
            }
            c = read();
            if (c == -1) {
                break;
            }
            b[off + i] = (byte) c;
        }
        return i;
    }

    public long skip(long n) throws IOException {
        long left = n;
        while (left > 0) {
            if (read() < 0) {
                break;
            }
            left--;
        }
        return n - left;
    }

    public int available() throws IOException {
        return 0;
    }

    public void close() throws IOException {}

    public boolean markSupported() {
        return false;
    }
}
