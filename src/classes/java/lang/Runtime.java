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
}
