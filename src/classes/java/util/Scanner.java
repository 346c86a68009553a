package java.util;

import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.Reader;
import java.io.StringReader;

/**
 * Reads whitespace-separated tokens and lines from a stream or string.
 * Tokens are delimited by Character.isWhitespace characters (no patterns);
 * numbers are parsed with the wrappers' parse methods (radix 10, no
 * grouping).  A token that does not parse throws InputMismatchException
 * and stays unread.
 */
public final class Scanner implements java.io.Closeable, Iterator<String> {
    private final Reader in;
    private char[] buf = new char[1024];
    private int pos;
    private int lim;
    private boolean eof;
    private boolean closed;

    public Scanner(InputStream source) {
        this(new InputStreamReader(source));
    }

    public Scanner(String source) {
        this(new StringReader(source));
    }

    public Scanner(Reader source) {
        if (source == null) {
            throw new NullPointerException();
        }
        in = source;
    }

    private void ensureOpen() {
        if (closed) {
            throw new IllegalStateException("Scanner closed");
        }
    }

    /** Makes buf[pos + k] available if the input has it; false at the end. */
    private boolean have(int k) {
        while (pos + k >= lim) {
            if (eof) {
                return false;
            }
            if (pos > 0) {
                System.arraycopy(buf, pos, buf, 0, lim - pos);
                lim -= pos;
                pos = 0;
            }
            if (lim == buf.length) {
                char[] nb = new char[buf.length * 2];
                System.arraycopy(buf, 0, nb, 0, lim);
                buf = nb;
            }
            try {
                int n = in.read(buf, lim, buf.length - lim);
                if (n < 0) {
                    eof = true;
                } else {
                    lim += n;
                }
            } catch (IOException e) {
                eof = true;
            }
        }
        return true;
    }

    /** Offset (from pos) of the next token's start, or -1 when there is none. */
    private int tokenStart() {
        int k = 0;
        while (have(k)) {
            if (!Character.isWhitespace(buf[pos + k])) {
                return k;
            }
            k++;
        }
        return -1;
    }

    private String peekToken(boolean consume) {
        ensureOpen();
        int s = tokenStart();
        if (s < 0) {
            return null;
        }
        int e = s;
        while (have(e) && !Character.isWhitespace(buf[pos + e])) {
            e++;
        }
        String t = new String(buf, pos + s, e - s);
        if (consume) {
            pos += e;
        }
        return t;
    }

    public boolean hasNext() {
        return peekToken(false) != null;
    }

    public String next() {
        String t = peekToken(true);
        if (t == null) {
            throw new NoSuchElementException();
        }
        return t;
    }

    public void remove() {
        throw new UnsupportedOperationException();
    }

    public boolean hasNextLine() {
        ensureOpen();
        return have(0);
    }

    /** The rest of the current line, without its terminator ("\n", "\r\n" or "\r"). */
    public String nextLine() {
        ensureOpen();
        if (!have(0)) {
            throw new NoSuchElementException("No line found");
        }
        int e = 0;
        while (have(e) && buf[pos + e] != '\n' && buf[pos + e] != '\r') {
            e++;
        }
        String line = new String(buf, pos, e);
        int skip = e;
        if (have(e)) {
            skip++;
            if (buf[pos + e] == '\r' && have(e + 1) && buf[pos + e + 1] == '\n') {
                skip++;
            }
        }
        pos += skip;
        return line;
    }

    private static boolean parses(String t, int kind) {
        try {
            switch (kind) {
                case 0:
                    Integer.parseInt(t);
                    break;
                case 1:
                    Long.parseLong(t);
                    break;
                default:
                    Double.parseDouble(t);
                    break;
            }
            return true;
        } catch (NumberFormatException e) {
            return false;
        }
    }

    private String numberToken(int kind) {
        String t = peekToken(false);
        if (t == null) {
            throw new NoSuchElementException();
        }
        if (!parses(t, kind)) {
            throw new InputMismatchException("For input string: \"" + t + "\"");
        }
        return next();
    }

    public boolean hasNextInt() {
        String t = peekToken(false);
        return t != null && parses(t, 0);
    }

    public boolean hasNextLong() {
        String t = peekToken(false);
        return t != null && parses(t, 1);
    }

    public boolean hasNextDouble() {
        String t = peekToken(false);
        return t != null && parses(t, 2);
    }

    public int nextInt() {
        return Integer.parseInt(numberToken(0));
    }

    public long nextLong() {
        return Long.parseLong(numberToken(1));
    }

    public double nextDouble() {
        return Double.parseDouble(numberToken(2));
    }

    public float nextFloat() {
        return (float) Double.parseDouble(numberToken(2));
    }

    public boolean nextBoolean() {
        String t = peekToken(false);
        if (t == null) {
            throw new NoSuchElementException();
        }
        if (!t.equalsIgnoreCase("true") && !t.equalsIgnoreCase("false")) {
            throw new InputMismatchException("For input string: \"" + t + "\"");
        }
        return Boolean.parseBoolean(next());
    }

    public void close() {
        if (!closed) {
            closed = true;
            try {
                in.close();
            } catch (IOException e) {
            }
        }
    }
}
