package java.lang;

import java.io.PrintStream;

/**
 * Base of every exception and error.
 *
 * Fields, in this order: detailMessage, cause, backtrace (owned by the VM:
 * the (method block, pc) pairs that fillInStackTrace records), suppressed
 * (null, or the throwables added by addSuppressed).  cause == this means
 * "not set yet": getCause() answers null and initCause may still set it.
 *
 * printStackTrace writes the toString() line, one "\tat <frame>" line per
 * recorded frame, then "Caused by: " and "\tSuppressed: " sections like a
 * JVM (frames shared with the enclosing trace become "\t... n more").
 */
public class Throwable implements java.io.Serializable {
    private String detailMessage;
    private Throwable cause = this;
    private transient Object backtrace;
    private Throwable[] suppressed;

    public Throwable() {
        fillInStackTrace();
    }

    public Throwable(String message) {
        fillInStackTrace();
        detailMessage = message;
    }

    public Throwable(String message, Throwable cause) {
        fillInStackTrace();
        detailMessage = message;
        this.cause = cause;
    }

    public Throwable(Throwable cause) {
        fillInStackTrace();
        detailMessage = (cause == null ? null : cause.toString());
        this.cause = cause;
    }

    protected Throwable(String message, Throwable cause, boolean enableSuppression, boolean writableStackTrace) {
        if (writableStackTrace) {
            fillInStackTrace();
        }
        detailMessage = message;
        this.cause = cause;
    }

    // ---- natives ----

    /**
     * Records the current stack in backtrace, leaving out the frames of this
     * throwable's own constructors (and of fillInStackTrace itself).
     */
    public native Throwable fillInStackTrace();

    /** Number of frames recorded in backtrace (0 when none). */
    private native int getStackTraceDepth();

    /**
     * Frame index of the recorded trace, newest first, as
     * "pkg.Class.method(File.java:line)", "pkg.Class.method(Native Method)",
     * "pkg.Class.method(Compiled Code)" or "pkg.Class.method(Unknown Source)".
     */
    private native String getStackTraceLine(int index);

    // ---- Java ----

    public String getMessage() {
        return detailMessage;
    }

    public String getLocalizedMessage() {
        return getMessage();
    }

    public synchronized Throwable getCause() {
        return (cause == this ? null : cause);
    }

    public synchronized Throwable initCause(Throwable cause) {
        if (this.cause != this) {
            throw new IllegalStateException("Can't overwrite cause with "
                + (cause == null ? "a null" : cause.toString()), this);
        }
        if (cause == this) {
            throw new IllegalArgumentException("Self-causation not permitted", this);
        }
        this.cause = cause;
        return this;
    }

    public String toString() {
        String s = getClass().getName();
        String message = getLocalizedMessage();
        return (message != null) ? (s + ": " + message) : s;
    }

    public final synchronized void addSuppressed(Throwable exception) {
        if (exception == this) {
            throw new IllegalArgumentException("Self-suppression not permitted", exception);
        }
        if (exception == null) {
            throw new NullPointerException("Cannot suppress a null exception.");
        }
        Throwable[] old = suppressed;
        int n = old == null ? 0 : old.length;
        Throwable[] s = new Throwable[n + 1];
        if (n > 0) {
            System.arraycopy(old, 0, s, 0, n);
        }
        s[n] = exception;
        suppressed = s;
    }

    public final synchronized Throwable[] getSuppressed() {
        Throwable[] s = suppressed;
        if (s == null) {
            return new Throwable[0];
        }
        return (Throwable[]) s.clone();
    }

    /** The recorded frames, newest first (parsed from the VM's frame texts). */
    public StackTraceElement[] getStackTrace() {
        String[] lines = frames();
        StackTraceElement[] r = new StackTraceElement[lines.length];
        for (int i = 0; i < lines.length; i++) {
            r[i] = StackTraceElement.parse(lines[i]);
        }
        return r;
    }

    public void printStackTrace() {
        printStackTrace(System.err);
    }

    public void printStackTrace(PrintStream s) {
        printStackTrace(new StreamSink(s));
    }

    public void printStackTrace(java.io.PrintWriter s) {
        printStackTrace(new WriterSink(s));
    }

    /** Where printStackTrace writes lines. */
    abstract static class Sink {
        abstract Object lock();

        abstract void println(Object o);
    }

    static final class StreamSink extends Sink {
        private final PrintStream s;

        StreamSink(PrintStream s) {
            this.s = s;
        }

        Object lock() {
            return s;
        }

        void println(Object o) {
            s.println(o);
        }
    }

    static final class WriterSink extends Sink {
        private final java.io.PrintWriter w;

        WriterSink(java.io.PrintWriter w) {
            this.w = w;
        }

        Object lock() {
            return w;
        }

        void println(Object o) {
            w.println(o);
        }
    }

    private void printStackTrace(Sink s) {
        synchronized (s.lock()) {
            Throwable[] seen = new Throwable[8];
            seen[0] = this;
            int[] nseen = { 1 };
            s.println(this);
            String[] trace = frames();
            for (int i = 0; i < trace.length; i++) {
                s.println("\tat " + trace[i]);
            }
            Throwable[] sup = getSuppressedInternal();
            for (int i = 0; i < sup.length; i++) {
                seen = sup[i].printEnclosed(s, trace, "Suppressed: ", "\t", seen, nseen);
            }
            Throwable c = getCause();
            if (c != null) {
                c.printEnclosed(s, trace, "Caused by: ", "", seen, nseen);
            }
        }
    }

    /** One nested section; returns the (possibly grown) identity set of printed throwables. */
    private Throwable[] printEnclosed(Sink s, String[] enclosing, String caption, String prefix,
                                      Throwable[] seen, int[] nseen) {
        for (int i = 0; i < nseen[0]; i++) {
            if (seen[i] == this) {
                s.println(prefix + caption + "[CIRCULAR REFERENCE: " + this + "]");
                return seen;
            }
        }
        if (nseen[0] == seen.length) {
            Throwable[] t = new Throwable[seen.length * 2];
            System.arraycopy(seen, 0, t, 0, seen.length);
            seen = t;
        }
        seen[nseen[0]++] = this;
        String[] trace = frames();
        int m = trace.length - 1;
        int n = enclosing.length - 1;
        while (m >= 0 && n >= 0 && trace[m].equals(enclosing[n])) {
            m--;
            n--;
        }
        int inCommon = trace.length - 1 - m;
        s.println(prefix + caption + this);
        for (int i = 0; i <= m; i++) {
            s.println(prefix + "\tat " + trace[i]);
        }
        if (inCommon != 0) {
            s.println(prefix + "\t... " + inCommon + " more");
        }
        Throwable[] sup = getSuppressedInternal();
        for (int i = 0; i < sup.length; i++) {
            seen = sup[i].printEnclosed(s, trace, "Suppressed: ", prefix + "\t", seen, nseen);
        }
        Throwable c = getCause();
        if (c != null) {
            seen = c.printEnclosed(s, trace, "Caused by: ", prefix, seen, nseen);
        }
        return seen;
    }

    private synchronized Throwable[] getSuppressedInternal() {
        Throwable[] s = suppressed;
        return s == null ? new Throwable[0] : s;
    }

    private String[] frames() {
        int n = getStackTraceDepth();
        String[] r = new String[n];
        for (int i = 0; i < n; i++) {
            r[i] = getStackTraceLine(i);
        }
        return r;
    }
}
