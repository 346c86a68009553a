package java.lang;

/**
 * A variable with one value per thread, kept in a table keyed by the
 * Thread object (entries of ended threads are not reclaimed).
 */
public class ThreadLocal<T> {
    private final java.util.HashMap<Thread, Object> values = new java.util.HashMap<Thread, Object>();

    public ThreadLocal() {}

    protected T initialValue() {
        return null;
    }

    @SuppressWarnings("unchecked")
    public T get() {
        Thread t = Thread.currentThread();
        synchronized (values) {
            if (values.containsKey(t)) {
                return (T) values.get(t);
            }
        }
        T v = initialValue();
        synchronized (values) {
            values.put(t, v);
        }
        return v;
    }

    public void set(T value) {
        Thread t = Thread.currentThread();
        synchronized (values) {
            values.put(t, value);
        }
    }

    public void remove() {
        Thread t = Thread.currentThread();
        synchronized (values) {
            values.remove(t);
        }
    }
}
