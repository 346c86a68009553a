package java.lang.ref;

/** The references enqueued on it, newest first (as in other JVMs); remove waits for one. */
public class ReferenceQueue<T> {
    private Reference<? extends T> head;

    public ReferenceQueue() {}

    @SuppressWarnings("unchecked")
    synchronized void add(Reference<?> r) {
        r.next = head;
        head = (Reference<? extends T>) r;
        notifyAll();
    }

    @SuppressWarnings("unchecked")
    private Reference<? extends T> take() {
        Reference<? extends T> r = head;
        if (r != null) {
            head = (Reference<? extends T>) r.next;
            r.next = null;
            r.queue = null;             // removed: neither enqueued nor enqueueable again
        }
        return r;
    }

    public synchronized Reference<? extends T> poll() {
        return take();
    }

    /**
     * Waits up to timeout milliseconds (0: without limit) for a reference;
     * null when none came in time.
     */
    public synchronized Reference<? extends T> remove(long timeout) throws InterruptedException {
        if (timeout < 0) {
            throw new IllegalArgumentException("Negative timeout value");
        }
        Reference<? extends T> r = take();
        if (r != null) {
            return r;
        }
        long deadline = timeout == 0 ? 0 : System.currentTimeMillis() + timeout;
        for (;;) {
            if (timeout == 0) {
                wait();
            } else {
                long left = deadline - System.currentTimeMillis();
                if (left <= 0) {
                    return null;
                }
                wait(left);
            }
            r = take();
            if (r != null) {
                return r;
            }
        }
    }

    public Reference<? extends T> remove() throws InterruptedException {
        return remove(0);
    }
}
