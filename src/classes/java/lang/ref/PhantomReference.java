package java.lang.ref;

/** A reference whose get() always answers null; it serves only to be enqueued. */
public class PhantomReference<T> extends Reference<T> {
    public PhantomReference(T referent, ReferenceQueue<? super T> q) {
        super(referent, q);
    }

    public T get() {
        return null;
    }
}
