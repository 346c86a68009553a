package java.lang;

/**
 * Root of the class hierarchy.  Declares no fields: every object starts with
 * the VM's two header words and its first field lies at offset 8.
 */
public class Object {
    public Object() {}

    /** The class block of this object; arrays answer their array class. */
    public final native Class<?> getClass();

    /** Identity hash, kept in the object's pre-header word. */
    public native int hashCode();

    public boolean equals(Object obj) {
        return this == obj;
    }

    /**
     * Shallow copy.  Arrays are always cloneable; other objects must
     * implement Cloneable, else CloneNotSupportedException (class name).
     */
    protected native Object clone() throws CloneNotSupportedException;

    public String toString() {
        return getClass().getName() + "@" + Integer.toHexString(hashCode());
    }

    public final native void notify();

    public final native void notifyAll();

    /** Waits at most timeout milliseconds (0: no limit) on this monitor. */
    public final native void wait(long timeout) throws InterruptedException;

    public final void wait(long timeout, int nanos) throws InterruptedException {
        if (timeout < 0) {
            throw new IllegalArgumentException("timeout value is negative");
        }
        if (nanos < 0 || nanos > 999999) {
            throw new IllegalArgumentException("nanosecond timeout value out of range");
        }
        if (nanos > 0 && timeout < Long.MAX_VALUE) {
            timeout++;
        }
        wait(timeout);
    }

    public final void wait() throws InterruptedException {
        wait(0L);
    }

    /** Never called by this VM; present for subclasses that override it. */
    protected void finalize() throws Throwable {}
}
