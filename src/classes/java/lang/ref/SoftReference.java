package java.lang.ref;

/** A reference the collector clears only when memory runs short. */
public class SoftReference<T> extends Reference<T> {
    public SoftReference(T referent) {
        super(referent);
    }

    public SoftReference(T referent, ReferenceQueue<? super T> q) {
        super(referent, q);
    }
}
