package java.lang;

public interface Comparable<T> {
    int compareTo(T o);
}
