package java.io;

/**
 * Prints text to a writer (or, through a UTF-8 OutputStreamWriter, to a
 * stream).  Never throws IOException; checkError reports failures.  With
 * autoFlush, println and printf flush.
 */
public class PrintWriter extends Writer {
    protected Writer out;
    private final boolean autoFlush;
    private boolean trouble;

    public PrintWriter(Writer out) {
        this(out, false);
    }

    public PrintWriter(Writer out, boolean autoFlush) {
        super(out);
        this.out = out;
        this.autoFlush = autoFlush;
    }

    public PrintWriter(OutputStream out) {
        this(out, false);
    }

    public PrintWriter(OutputStream out, boolean autoFlush) {
        this(new BufferedWriter(new OutputStreamWriter(out)), autoFlush);
    }

    public void flush() {
        synchronized (lock) {
            try {
                if (out != null) {
                    out.flush();
                }
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    public void close() {
        synchronized (lock) {
            try {
                if (out != null) {
                    out.close();
                    out = null;
                }
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    public boolean checkError() {
        if (out != null) {
            flush();
        }
        return trouble;
    }

    protected void setError() {
        trouble = true;
    }

    protected void clearError() {
        trouble = false;
    }

    public void write(int c) {
        synchronized (lock) {
            try {
                if (out == null) {
                    trouble = true;
                    return;
                }
                out.write(c);
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    public void write(char[] buf, int off, int len) {
        synchronized (lock) {
            try {
                if (out == null) {
                    trouble = true;
                    return;
                }
                out.write(buf, off, len);
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    public void write(char[] buf) {
        write(buf, 0, buf.length);
    }

    public void write(String s, int off, int len) {
        synchronized (lock) {
            try {
                if (out == null) {
                    trouble = true;
                    return;
                }
                out.write(s, off, len);
            } catch (IOException x) {
                trouble = true;
            }
        }
    }

    public void write(String s) {
        write(s, 0, s.length());
    }

    public void print(boolean b) {
        write(b ? "true" : "false");
    }

    public void print(char c) {
        write(c);
    }

    public void print(int i) {
        write(String.valueOf(i));
    }

    public void print(long l) {
        write(String.valueOf(l));
    }

    public void print(float f) {
        write(String.valueOf(f));
    }

    public void print(double d) {
        write(String.valueOf(d));
    }

    public void print(char[] s) {
        write(s);
    }

    public void print(String s) {
        write(String.valueOf(s));
    }

    public void print(Object obj) {
        write(String.valueOf(obj));
    }

    public void println() {
        synchronized (lock) {
            write('\n');
            if (autoFlush) {
                flush();
            }
        }
    }

    public void println(boolean x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(char x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(int x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(long x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(float x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(double x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(char[] x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(String x) {
        synchronized (lock) {
            print(x);
            println();
        }
    }

    public void println(Object x) {
        String s = String.valueOf(x);
        synchronized (lock) {
            print(s);
            println();
        }
    }

    public PrintWriter printf(String format, Object... args) {
        return format(format, args);
    }

    public PrintWriter format(String format, Object... args) {
        synchronized (lock) {
            write(String.format(format, args));
            if (autoFlush) {
                flush();
            }
        }
        return this;
    }

    public PrintWriter printf(java.util.Locale l, String format, Object... args) {
        return format(format, args);
    }

    public PrintWriter format(java.util.Locale l, String format, Object... args) {
        return format(format, args);
    }

    public PrintWriter append(CharSequence csq) {
        write(String.valueOf(csq));
        return this;
    }

    public PrintWriter append(CharSequence csq, int start, int end) {
        if (csq == null) {
            csq = "null";
        }
        return append(csq.subSequence(start, end));
    }

    public PrintWriter append(char c) {
        write(c);
        return this;
    }
}
