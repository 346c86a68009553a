package java.lang;

/**
 * A thread of execution.
 *
 * Fields (read and written by the VM): name, priority, daemon, target,
 * alive, eetop (the address of the thread's execution environment, 0 when
 * it has none), started.
 *
 * The VM makes the main thread's object by allocating it and calling
 * Thread(String name) with "main"; that constructor, like every other, does
 * not need a current thread while no Thread object has been constructed
 * yet.  When run() ends the VM clears alive and notifies waiters on the
 * object (join waits on it).
 */
public class Thread implements Runnable {
    private String name;
    private int priority;
    private boolean daemon;
    private Runnable target;
    private boolean alive;
    private int eetop;
    private boolean started;

    public static final int MIN_PRIORITY = 1;
    public static final int NORM_PRIORITY = 5;
    public static final int MAX_PRIORITY = 10;

    private static int threadInitNumber;
    /** Set once the first Thread (the VM's main thread) has been constructed. */
    private static boolean booted;

    private static synchronized int nextThreadNum() {
        return threadInitNumber++;
    }

    public Thread() {
        init(null, null);
    }

    public Thread(Runnable target) {
        init(target, null);
    }

    public Thread(String name) {
        init(null, name);
    }

    public Thread(Runnable target, String name) {
        init(target, name);
    }

    /**
     * New threads inherit priority and daemon status from the creating
     * thread; the very first Thread (made by the VM before any thread object
     * exists) gets NORM_PRIORITY and non-daemon without asking.
     */
    private void init(Runnable target, String name) {
        if (name == null) {
            name = "Thread-" + nextThreadNum();
        }
        this.name = name;
        this.target = target;
        this.priority = NORM_PRIORITY;
        if (booted) {
            Thread parent = currentThread();
            if (parent != null) {
                this.priority = parent.priority;
                this.daemon = parent.daemon;
            }
        } else {
            booted = true;
        }
    }

    // ---- natives ----

    /** Creates the native thread, which calls run(); IllegalThreadStateException when started twice. */
    private native void start0();

    public static native Thread currentThread();

    /** Interruptible; IllegalArgumentException "timeout value is negative"; InterruptedException clears the flag. */
    public static native void sleep(long millis) throws InterruptedException;

    public static native void yield();

    /** Sets the interrupt flag and wakes the thread if it sleeps or waits. */
    private native void interrupt0();

    /** The interrupt flag; cleared when clear is true. */
    private native boolean isInterrupted(boolean clear);

    public final native boolean isAlive();

    /** Records the priority (no scheduling effect). */
    private native void setPriority0(int newPriority);

    public static native boolean holdsLock(Object obj);

    // ---- Java ----

    public synchronized void start() {
        if (started) {
            throw new IllegalThreadStateException();
        }
        started = true;
        start0();
    }

    public void run() {
        if (target != null) {
            target.run();
        }
    }

    public static void sleep(long millis, int nanos) throws InterruptedException {
        if (millis < 0) {
            throw new IllegalArgumentException("timeout value is negative");
        }
        if (nanos < 0 || nanos > 999999) {
            throw new IllegalArgumentException("nanosecond timeout value out of range");
        }
        if (nanos >= 500000 || (nanos != 0 && millis == 0)) {
            millis++;
        }
        sleep(millis);
    }

    public void interrupt() {
        interrupt0();
    }

    public static boolean interrupted() {
        return currentThread().isInterrupted(true);
    }

    public boolean isInterrupted() {
        return isInterrupted(false);
    }

    public final synchronized void join(long millis) throws InterruptedException {
        if (millis < 0) {
            throw new IllegalArgumentException("timeout value is negative");
        }
        if (millis == 0) {
            while (isAlive()) {
                wait(0);
            }
            return;
        }
        long base = System.currentTimeMillis();
        long now = 0;
        while (isAlive()) {
            long delay = millis - now;
            if (delay <= 0) {
                break;
            }
            wait(delay);
            now = System.currentTimeMillis() - base;
        }
    }

    public final void join(long millis, int nanos) throws InterruptedException {
        if (nanos < 0 || nanos > 999999) {
            throw new IllegalArgumentException("nanosecond timeout value out of range");
        }
        if (nanos >= 500000 || (nanos != 0 && millis == 0)) {
            millis++;
        }
        join(millis);
    }

    public final void join() throws InterruptedException {
        join(0);
    }

    public final void setDaemon(boolean on) {
        if (isAlive()) {
            throw new IllegalThreadStateException();
        }
        daemon = on;
    }

    public final boolean isDaemon() {
        return daemon;
    }

    public final String getName() {
        return name;
    }

    public final synchronized void setName(String name) {
        if (name == null) {
            throw new NullPointerException("name cannot be null");
        }
        this.name = name;
    }

    public final int getPriority() {
        return priority;
    }

    public final void setPriority(int newPriority) {
        if (newPriority > MAX_PRIORITY || newPriority < MIN_PRIORITY) {
            throw new IllegalArgumentException();
        }
        priority = newPriority;
        setPriority0(newPriority);
    }

    public long getId() {
        return System.identityHashCode(this);
    }

    public static void dumpStack() {
        new Exception("Stack trace").printStackTrace();
    }

    /** "Thread[name,priority,main]" (every thread belongs to the group "main" while it lives). */
    public String toString() {
        String group = (started && !isAlive()) ? "" : "main";
        return "Thread[" + name + "," + priority + "," + group + "]";
    }

    /**
     * Prints an exception that ended this thread, as a JVM does:
     * 'Exception in thread "name" ' and the stack trace on System.err, after
     * flushing System.out.  The VM may call it for uncaught exceptions.
     */
    void dispatchUncaughtException(Throwable e) {
        System.flushStreams();
        java.io.PrintStream err = System.err;
        if (err == null) {
            return;
        }
        err.print("Exception in thread \"" + name + "\" ");
        e.printStackTrace(err);
    }
}
