package java.io;

/**
 * Prints text as UTF-8 bytes to another stream.  Never throws IOException:
 * a failure sets the error flag (checkError).  With autoFlush, the stream
 * below is flushed after println, after any text that contains '\n', and
 * after write(byte[]).  System.out sits on a buffer (so output is written
 * at newlines, flush() and exit); System.err writes straight through.
 * A surrogate that is not part of a pair within one print call becomes '?'.
 */
public class PrintStream extends FilterOutputStream implements Appendable, Closeable {
    private final boolean autoFlush;
    private boolean trouble;
    private boolean closing;
    private final byte[] scratch = new byte[512];

    public PrintStream(OutputStream out) {
        this(out, false);
    }

    public PrintStream(OutputStream out, boolean autoFlush) {
        super(out);
        if (out == null) {
            throw new NullPointerException("Null output stream");
        }
        this.autoFlush = autoFlush;
    }

    public PrintStream(OutputStream out, boolean autoFlush, String encoding) throws UnsupportedEncodingException {
        this(out, autoFlush);
        String e = encoding.toUpperCase();
        if (!e.equals("UTF-8") && !e.equals("UTF8")) {
            throw new UnsupportedEncodingException(encoding);
        }
    }

    public void flush() {
        synchronized (this) {
            try {
                out.flush();
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    public void close() {
        synchronized (this) {
            if (!closing) {
                closing = true;
                try {
                    out.close();
                } catch (IOException x) {
                    trouble = true;
                }
            }
        }
    }

    public boolean checkError() {
        flush();
        return trouble;
    }

    protected void setError() {
        trouble = true;
    }

    protected void clearError() {
        trouble = false;
    }

    public void write(int b) {
        synchronized (this) {
            try {
                out.write(b);
                if (b == '\n' && autoFlush) {
                    out.flush();
                }
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    public void write(byte[] buf, int off, int len) {
        synchronized (this) {
            try {
                out.write(buf, off, len);
                if (autoFlush) {
                    out.flush();
                }
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    /** Encodes s as UTF-8 and writes it; flushes when it holds a newline (autoFlush). */
    private void writeText(String s) {
        synchronized (this) {
            try {
                byte[] b = scratch;
                int p = 0;
                int n = s.length();
                boolean newline = false;
                for (int i = 0; i < n; i++) {
                    if (p > b.length - 4) {
                        out.write(b, 0, p);
                        p = 0;
                    }
                    char c = s.charAt(i);
                    if (c < 0x80) {
                        b[p++] = (byte) c;
                        if (c == '\n') {
                            newline = true;
                        }
                    } else if (c < 0x800) {
                        b[p++] = (byte) (0xC0 | (c >> 6));
                        b[p++] = (byte) (0x80 | (c & 0x3F));
                    } else if (Character.isHighSurrogate(c) && i + 1 < n && Character.isLowSurrogate(s.charAt(i + 1))) {
                        int cp = Character.toCodePoint(c, s.charAt(i + 1));
                        i++;
                        b[p++] = (byte) (0xF0 | (cp >> 18));
                        b[p++] = (byte) (0x80 | ((cp >> 12) & 0x3F));
                        b[p++] = (byte) (0x80 | ((cp >> 6) & 0x3F));
                        b[p++] = (byte) (0x80 | (cp & 0x3F));
                    } else if (Character.isSurrogate(c)) {
                        b[p++] = (byte) '?';
                    } else {
                        b[p++] = (byte) (0xE0 | (c >> 12));
                        b[p++] = (byte) (0x80 | ((c >> 6) & 0x3F));
                        b[p++] = (byte) (0x80 | (c & 0x3F));
                    }
                }
                if (p > 0) {
                    out.write(b, 0, p);
                }
                if (newline && autoFlush) {
                    out.flush();
                }
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    private void newLine() {
        writeText("\n");
    }

    public void print(boolean b) {
        writeText(b ? "true" : "false");
    }

    public void print(char c) {
        writeText(String.valueOf(c));
    }

    public void print(int i) {
        writeText(String.valueOf(i));
    }

    public void print(long l) {
        writeText(String.valueOf(l));
    }

    public void print(float f) {
        writeText(String.valueOf(f));
    }

    public void print(double d) {
        writeText(String.valueOf(d));
    }

    public void print(char[] s) {
        writeText(new String(s));
    }

    public void print(String s) {
        writeText(s == null ? "null" : s);
    }

    public void print(Object obj) {
        writeText(String.valueOf(obj));
    }

    public void println() {
        newLine();
    }

    public void println(boolean x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(char x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(int x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(long x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(float x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(double x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(char[] x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(String x) {
        synchronized (this) {
            print(x);
            newLine();
        }
    }

    public void println(Object x) {
        String s = String.valueOf(x);
        synchronized (this) {
            print(s);
            newLine();
        }
    }

    public PrintStream printf(String format, Object... args) {
        return format(format, args);
    }

    public PrintStream format(String format, Object... args) {
        writeText(String.format(format, args));
        return this;
    }

    public PrintStream printf(java.util.Locale l, String format, Object... args) {
        return format(format, args);
    }

    public PrintStream format(java.util.Locale l, String format, Object... args) {
        return format(format, args);
    }

    public PrintStream append(CharSequence csq) {
        print(String.valueOf(csq));
        return this;
    }

    public PrintStream append(CharSequence csq, int start, int end) {
        CharSequence cs = (csq == null ? "null" : csq);
        print(cs.subSequence(start, end).toString());
        return this;
    }

    public PrintStream append(char c) {
        print(c);
        return this;
    }
}
