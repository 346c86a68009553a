package java.lang;

/**
 * Base of every enum type.  javac generates values() and valueOf(String)
 * in each enum; the latter calls valueOf(Class, String), which finds the
 * constants through the enum's own values() method.
 */
public abstract class Enum<E extends Enum<E>> implements Comparable<E>, java.io.Serializable {
    private final String name;
    private final int ordinal;

    protected Enum(String name, int ordinal) {
        this.name = name;
        this.ordinal = ordinal;
    }

    /**
     * The result of enumClass's static values() method (the class is
     * initialised first), or null when enumClass has no such method.
     */
    private static native Object[] enumValues0(Class<?> enumClass);

    public final String name() {
        return name;
    }

    public final int ordinal() {
        return ordinal;
    }

    public String toString() {
        return name;
    }

    public final boolean equals(Object other) {
        return this == other;
    }

    public final int hashCode() {
        return super.hashCode();
    }

    protected final Object clone() throws CloneNotSupportedException {
        throw new CloneNotSupportedException();
    }

    public final int compareTo(E o) {
        Enum<?> other = (Enum<?>) o;
        if (getClass() != other.getClass() && getDeclaringClass() != other.getDeclaringClass()) {
            throw new ClassCastException();
        }
        return ordinal - other.ordinal;
    }

    @SuppressWarnings("unchecked")
    public final Class<E> getDeclaringClass() {
        Class<?> clazz = getClass();
        Class<?> zuper = clazz.getSuperclass();
        return (zuper == Enum.class) ? (Class<E>) clazz : (Class<E>) zuper;
    }

    public static <T extends Enum<T>> T valueOf(Class<T> enumType, String name) {
        if (name == null) {
            throw new NullPointerException("Name is null");
        }
        Object[] constants = enumValues0(enumType);
        if (constants == null) {
            throw new IllegalArgumentException(enumType.getName() + " is not an enum type");
        }
        for (int i = 0; i < constants.length; i++) {
            Enum<?> e = (Enum<?>) constants[i];
            if (e.name.equals(name)) {
                return enumType.cast(e);
            }
        }
        throw new IllegalArgumentException("No enum constant " + enumType.getName().replace('$', '.') + "." + name);
    }

    protected final void finalize() {}
}
