package java.util;

public interface Set<E> extends Collection<E> {
}
