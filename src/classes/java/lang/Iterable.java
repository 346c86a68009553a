package java.lang;

/** Target of the enhanced for statement. */
public interface Iterable<T> {
    java.util.Iterator<T> iterator();
}
