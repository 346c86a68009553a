package java.lang;

import java.io.BufferedInputStream;
import java.io.FileDescriptor;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.io.PrintStream;
import java.util.Properties;

/**
 * Standard streams, properties, time and array copying.
 *
 * Start-up: after loading this class (and the main Thread object exists)
 * the VM calls initializeSystemClass() once.  It builds the properties
 * (fixed values first, then the key/value pairs that initProperties0()
 * returns, which include every -D option and therefore override) and the
 * three standard streams over file descriptors 0, 1 and 2.  System.out is
 * buffered and flushed at each newline, by flush() and at exit
 * (flushStreams(), which the VM also calls before the process exits);
 * System.err writes through at once.
 */
public final class System {
    private System() {}

    public static InputStream in;
    public static PrintStream out;
    public static PrintStream err;

    private static Properties props;

    // ---- natives ----

    public static native long currentTimeMillis();

    /** CLOCK_MONOTONIC in nanoseconds. */
    public static native long nanoTime();

    /**
     * Copies length elements; correct for overlapping ranges of one array.
     * NullPointerException, ArrayStoreException (not arrays, mismatched
     * element types, or an element that does not fit the destination; the
     * elements before it are copied), ArrayIndexOutOfBoundsException
     * (negative index or length, range beyond either array).
     */
    public static native void arraycopy(Object src, int srcPos, Object dest, int destPos, int length);

    public static native int identityHashCode(Object x);

    /**
     * The VM's properties as a flat array {key0, value0, key1, value1, ...}:
     * java.class.path, java.home, user.dir, user.home, user.name,
     * java.compiler (when a compiler is loaded), and every -Dkey=value of the
     * command line (last one wins).
     */
    private static native String[] initProperties0();

    // ---- start-up and shut-down (called by the VM) ----

    private static void initializeSystemClass() {
        Properties p = new Properties();
        p.setProperty("java.version", "1.2");
        p.setProperty("java.vendor", "Orva");
        p.setProperty("java.vendor.url", "");
        p.setProperty("java.specification.version", "1.2");
        p.setProperty("java.vm.name", "Orva VM");
        p.setProperty("java.class.version", "45.3");
        p.setProperty("java.class.path", ".");
        p.setProperty("line.separator", "\n");
        p.setProperty("file.separator", "/");
        p.setProperty("path.separator", ":");
        p.setProperty("file.encoding", "UTF-8");
        p.setProperty("os.name", "Linux");
        p.setProperty("os.arch", "x86");
        p.setProperty("os.version", "");
        String[] kv = initProperties0();
        if (kv != null) {
            for (int i = 0; i + 1 < kv.length; i += 2) {
                if (kv[i] != null && kv[i + 1] != null) {
                    p.setProperty(kv[i], kv[i + 1]);
                }
            }
        }
        if (p.getProperty("java.library.path") == null) {
            p.setProperty("java.library.path", p.getProperty("java.class.path"));
        }
        props = p;
        in = new BufferedInputStream(new FileInputStream(FileDescriptor.in));
        out = new PrintStream(new java.io.BufferedOutputStream(new FileOutputStream(FileDescriptor.out), 8192), true);
        err = new PrintStream(new FileOutputStream(FileDescriptor.err), true);
    }

    /** Flushes System.out and System.err (at exit, before an uncaught exception is shown). */
    static void flushStreams() {
        PrintStream o = out;
        if (o != null) {
            o.flush();
        }
        PrintStream e = err;
        if (e != null) {
            e.flush();
        }
    }

    // ---- streams ----

    public static void setIn(InputStream stream) {
        in = stream;
    }

    public static void setOut(PrintStream stream) {
        out = stream;
    }

    public static void setErr(PrintStream stream) {
        err = stream;
    }

    // ---- properties ----

    public static Properties getProperties() {
        return props;
    }

    public static void setProperties(Properties p) {
        props = p;
    }

    private static void checkKey(String key) {
        if (key == null) {
            throw new NullPointerException("key can't be null");
        }
        if (key.length() == 0) {
            throw new IllegalArgumentException("key can't be empty");
        }
    }

    public static String getProperty(String key) {
        checkKey(key);
        return props == null ? null : props.getProperty(key);
    }

    public static String getProperty(String key, String def) {
        checkKey(key);
        return props == null ? def : props.getProperty(key, def);
    }

    public static String setProperty(String key, String value) {
        checkKey(key);
        return (String) props.setProperty(key, value);
    }

    public static String clearProperty(String key) {
        checkKey(key);
        return (String) props.remove(key);
    }

    public static String lineSeparator() {
        return "\n";
    }

    // ---- run time ----

    public static void exit(int status) {
        Runtime.getRuntime().exit(status);
    }

    public static void gc() {
        Runtime.getRuntime().gc();
    }

    public static void runFinalization() {}

    // ---- native libraries ----

    public static void load(String filename) {
        Runtime.getRuntime().load(filename);
    }

    public static void loadLibrary(String libname) {
        Runtime.getRuntime().loadLibrary(libname);
    }

    public static String mapLibraryName(String libname) {
        if (libname == null) {
            throw new NullPointerException();
        }
        return "lib" + libname + ".so";
    }
}
