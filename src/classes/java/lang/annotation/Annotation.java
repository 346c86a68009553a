package java.lang.annotation;

/** Common super-interface of every annotation type. */
public interface Annotation {
    boolean equals(Object obj);

    int hashCode();

    String toString();

    Class<? extends Annotation> annotationType();
}
