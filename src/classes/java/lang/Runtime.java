package java.lang;

/** The running VM: exit, memory figures, processors. */
public class Runtime {
    private static final Runtime currentRuntime = new Runtime();

    private Runtime() {}

    public static Runtime getRuntime() {
        return currentRuntime;
    }

    /**
     * Ends the process with the given status: runs the VM's exit hooks and
     * exits at once (other threads are not waited for).  Never returns.
     */
    private static native void exit0(int status);

    public void exit(int status) {
        System.flushStreams();
        exit0(status);
    }

    public void halt(int status) {
        exit0(status);
    }

    public native int availableProcessors();

    public native long freeMemory();

    public native long totalMemory();

    public native long maxMemory();

    public native void gc();

    public void runFinalization() {}

    /**
     * Opens the JNI library at an absolute path; its natives bind by their
     * JNI names from then on.  Loading a library twice does nothing.
     * UnsatisfiedLinkError when there is no such file or it cannot be loaded.
     */
    private static native void load0(String path);

    public void load(String filename) {
        if (filename == null) {
            throw new NullPointerException();
        }
        if (!new java.io.File(filename).isAbsolute()) {
            throw new UnsatisfiedLinkError("Expecting an absolute path of the library: " + filename);
        }
        load0(filename);
    }

    /**
     * Finds lib<libname>.so in the directories of java.library.path (by
     * default those of the class path; an empty entry is the current
     * directory), first match wins, and loads it.
     */
    public void loadLibrary(String libname) {
        if (libname == null) {
            throw new NullPointerException();
        }
        if (libname.indexOf('/') >= 0) {
            throw new UnsatisfiedLinkError("Directory separator should not appear in library name: " + libname);
        }
        String file = System.mapLibraryName(libname);
        String path = System.getProperty("java.library.path", "");
        int start = 0;
        while (start <= path.length()) {
            int end = path.indexOf(':', start);
            if (end < 0) {
                end = path.length();
            }
            String dir = start == end ? "." : path.substring(start, end);
            java.io.File f = new java.io.File(dir, file);
            if (f.exists()) {
                load0(f.getAbsolutePath());
                return;
            }
            start = end + 1;
        }
        throw new UnsatisfiedLinkError("no " + libname + " in java.library.path: " + path);
    }
}
