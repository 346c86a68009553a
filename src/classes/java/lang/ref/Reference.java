package java.lang.ref;

/**
 * A reference object: holds its referent until it is cleared, and may be
 * registered with a queue that receives it once it is enqueued.
 *
 * There is no collector that clears references yet, so a referent stays
 * until clear() is called; a collector that clears them must find the
 * referent as the first field this class declares and enqueue the object
 * through enqueue0.
 */
public abstract class Reference<T> {
    private T referent;
    /** The queue registered at construction; null once removed from it (or when there was none). */
    ReferenceQueue<? super T> queue;
    /** The next (older) reference in the queue's list once enqueued. */
    Reference<?> next;
    /** True once enqueued; a reference is enqueued at most once. */
    boolean enqueued;

    Reference(T referent) {
        this(referent, null);
    }

    Reference(T referent, ReferenceQueue<? super T> queue) {
        this.referent = referent;
        this.queue = queue;
    }

    public T get() {
        return referent;
    }

    public void clear() {
        referent = null;
    }

    public boolean isEnqueued() {
        synchronized (this) {
            return enqueued && queue != null;
        }
    }

    /** Clears nothing; adds this reference to its queue unless it has none or was enqueued before. */
    public boolean enqueue() {
        ReferenceQueue<? super T> q;
        synchronized (this) {
            if (queue == null || enqueued) {
                return false;
            }
            enqueued = true;
            q = queue;
        }
        q.add(this);
        return true;
    }
}
