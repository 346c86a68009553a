package java.io;

/**
 * Decodes UTF-8 bytes of an input stream into chars; each maximal
 * ill-formed subsequence becomes one U+FFFD (as String does).  Sequences
 * split across reads are kept until complete.
 */
public class InputStreamReader extends Reader {
    private final InputStream in;
    private final byte[] bytes = new byte[8192];
    private int bpos;
    private int bcount;
    private boolean eof;
    private int pendingLow = -1;      // low surrogate still to deliver

    public InputStreamReader(InputStream in) {
        super(in);
        this.in = in;
    }

    public InputStreamReader(InputStream in, String charsetName) throws UnsupportedEncodingException {
        this(in);
        String n = charsetName.toUpperCase();
        if (!n.equals("UTF-8") && !n.equals("UTF8")) {
            throw new UnsupportedEncodingException(charsetName);
        }
    }

    public String getEncoding() {
        return "UTF8";
    }

    /** Makes at least need bytes available unless the stream ends; answers the count available. */
    private int fill(int need) throws IOException {
        while (bcount - bpos < need && !eof) {
            if (bpos > 0) {
                System.arraycopy(bytes, bpos, bytes, 0, bcount - bpos);
                bcount -= bpos;
                bpos = 0;
            }
            int n = in.read(bytes, bcount, bytes.length - bcount);
            if (n < 0) {
                eof = true;
            } else {
                bcount += n;
            }
            if (n == 0) {
                break;
            }
        }
        return bcount - bpos;
    }

    /** The next char, or -1 at the end. */
    private int decodeOne() throws IOException {
        if (pendingLow >= 0) {
            int c = pendingLow;
            pendingLow = -1;
            return c;
        }
        if (fill(1) == 0) {
            return -1;
        }
        int b0 = bytes[bpos] & 0xFF;
        if (b0 < 0x80) {
            bpos++;
            return b0;
        }
        int need;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3;
        } else {
            bpos++;
            return 0xFFFD;
        }
        int cp = b0 & (0x3F >> need);
        int avail = fill(need + 1);
        int k = 1;
        for (; k <= need; k++) {
            if (k >= avail) {
                break;
            }
            int t = bytes[bpos + k] & 0xFF;
            // Second-byte limits exclude overlong forms and values above U+10FFFF.
            int lo = (k == 1 && b0 == 0xE0) ? 0xA0 : ((k == 1 && b0 == 0xF0) ? 0x90 : 0x80);
            int hi = (k == 1 && b0 == 0xF4) ? 0x8F : 0xBF;
            if (t < lo || t > hi) {
                break;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        bpos += k;
        if (k <= need || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return 0xFFFD;
        }
        if (cp >= 0x10000) {
            pendingLow = Character.lowSurrogate(cp);
            return Character.highSurrogate(cp);
        }
        return cp;
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
                // Block only for the first char; afterwards take what is buffered.
                if (n > 0 && pendingLow < 0 && bcount - bpos < 4 && (eof || in.available() <= 0)) {
                    if (bcount - bpos == 0 || (bytes[bpos] & 0x80) != 0) {
                        break;
                    }
                }
                int c = decodeOne();
                if (c < 0) {
                    break;
                }
                cbuf[off + n++] = (char) c;
            }
            return n == 0 ? -1 : n;
        }
    }

    public boolean ready() throws IOException {
        return pendingLow >= 0 || bcount > bpos || in.available() > 0;
    }

    public void close() throws IOException {
        in.close();
    }
}
