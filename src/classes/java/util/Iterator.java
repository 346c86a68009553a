package java.util;

public interface Iterator<E> {
    boolean hasNext();

    E next();

    /** Removes the element last returned; UnsupportedOperationException where not supported. */
    void remove();
}
