package java.io;

/** Reads ahead into a buffer. */
public class BufferedInputStream extends InputStream {
    private final InputStream in;
    private byte[] buf;
    private int pos;
    private int count;

    public BufferedInputStream(InputStream in) {
        this(in, 8192);
    }

    public BufferedInputStream(InputStream in, int size) {
        if (size <= 0) {
            throw new IllegalArgumentException("Buffer size <= 0");
        }
        this.in = in;
        this.buf = new byte[size];
    }

    private int fill() throws IOException {
        pos = 0;
        count = 0;
        int n = in.read(buf, 0, buf.length);
        if (n > 0) {
            count = n;
        }
        return n;
    }

    public synchronized int read() throws IOException {
        if (pos >= count && fill() <= 0) {
            return -1;
        }
        return buf[pos++] & 0xFF;
    }

    /** One step: from the buffer, or straight from the stream for large requests. */
    private int read1(byte[] b, int off, int len) throws IOException {
        int avail = count - pos;
        if (avail <= 0) {
            if (len >= buf.length) {
                return in.read(b, off, len);
            }
            if (fill() <= 0) {
                return -1;
            }
            avail = count - pos;
        }
        int n = Math.min(avail, len);
        System.arraycopy(buf, pos, b, off, n);
        pos += n;
        return n;
    }

    /** Reads until len bytes are had, the stream ends, or it would block. */
    public synchronized int read(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        int n = 0;
        for (;;) {
            int nread = read1(b, off + n, len - n);
            if (nread <= 0) {
                return (n == 0) ? nread : n;
            }
            n += nread;
            if (n >= len || in.available() <= 0) {
                return n;
            }
        }
    }

    public synchronized int available() throws IOException {
        return (count - pos) + in.available();
    }

    public void close() throws IOException {
        in.close();
    }
}
