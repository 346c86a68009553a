package java.lang.reflect;

/** A field, method or constructor of a class. */
public interface Member {
    /** Public members, inherited ones included. */
    public static final int PUBLIC = 0;
    /** Members the class itself declares, of any access. */
    public static final int DECLARED = 1;

    Class<?> getDeclaringClass();

    String getName();

    int getModifiers();
}
