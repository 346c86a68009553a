package java.io;

/** Encodes chars as UTF-8 onto an output stream (buffered; flush() passes them on). */
public class OutputStreamWriter extends Writer {
    private final OutputStream out;
    private final byte[] bb = new byte[8192];
    private int bn;
    private int pendingHigh = -1;

    public OutputStreamWriter(OutputStream out) {
        super(out);
        this.out = out;
    }

    public OutputStreamWriter(OutputStream out, String charsetName) throws UnsupportedEncodingException {
        this(out);
        String n = charsetName.toUpperCase();
        if (!n.equals("UTF-8") && !n.equals("UTF8")) {
            throw new UnsupportedEncodingException(charsetName);
        }
    }

    public String getEncoding() {
        return "UTF8";
    }

    private void put(int b) throws IOException {
        if (bn == bb.length) {
            flushBuffer();
        }
        bb[bn++] = (byte) b;
    }

    void flushBuffer() throws IOException {
        synchronized (lock) {
            if (bn > 0) {
                out.write(bb, 0, bn);
                bn = 0;
            }
        }
    }

    private void encode(char c) throws IOException {
        if (pendingHigh >= 0) {
            int high = pendingHigh;
            pendingHigh = -1;
            if (Character.isLowSurrogate(c)) {
                int cp = Character.toCodePoint((char) high, c);
                put(0xF0 | (cp >> 18));
                put(0x80 | ((cp >> 12) & 0x3F));
                put(0x80 | ((cp >> 6) & 0x3F));
                put(0x80 | (cp & 0x3F));
                return;
            }
            put('?');
        }
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else if (Character.isHighSurrogate(c)) {
            pendingHigh = c;
        } else if (Character.isLowSurrogate(c)) {
            put('?');
        } else {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        }
    }

    public void write(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            if (off < 0 || len < 0 || off > cbuf.length - len) {
                throw new IndexOutOfBoundsException();
            }
            for (int i = 0; i < len; i++) {
                encode(cbuf[off + i]);
            }
        }
    }

    public void write(String str, int off, int len) throws IOException {
        synchronized (lock) {
            if (off < 0 || len < 0 || off > str.length() - len) {
                throw new IndexOutOfBoundsException();
            }
            for (int i = 0; i < len; i++) {
                encode(str.charAt(off + i));
            }
        }
    }

    public void flush() throws IOException {
        synchronized (lock) {
            flushBuffer();
            out.flush();
        }
    }

    public void close() throws IOException {
        synchronized (lock) {
            flush();
            out.close();
        }
    }
}
