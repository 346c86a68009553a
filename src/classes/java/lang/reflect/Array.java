package java.lang.reflect;

/** Creating arrays of a run-time component type, and array lengths. */
public final class Array {
    private Array() {}

    /** A new zeroed array of length elements of componentType (a primitive class gives a primitive array). */
    private static native Object newArray(Class<?> componentType, int length);

    public static Object newInstance(Class<?> componentType, int length) throws NegativeArraySizeException {
        if (componentType == null) {
            throw new NullPointerException();
        }
        if (componentType == Void.TYPE) {
            throw new IllegalArgumentException();
        }
        if (length < 0) {
            throw new NegativeArraySizeException(Integer.toString(length));
        }
        return newArray(componentType, length);
    }

    public static int getLength(Object array) throws IllegalArgumentException {
        if (array instanceof Object[]) {
            return ((Object[]) array).length;
        }
        if (array instanceof int[]) {
            return ((int[]) array).length;
        }
        if (array instanceof byte[]) {
            return ((byte[]) array).length;
        }
        if (array instanceof char[]) {
            return ((char[]) array).length;
        }
        if (array instanceof long[]) {
            return ((long[]) array).length;
        }
        if (array instanceof double[]) {
            return ((double[]) array).length;
        }
        if (array instanceof float[]) {
            return ((float[]) array).length;
        }
        if (array instanceof short[]) {
            return ((short[]) array).length;
        }
        if (array instanceof boolean[]) {
            return ((boolean[]) array).length;
        }
        if (array == null) {
            throw new NullPointerException();
        }
        throw new IllegalArgumentException("Argument is not an array");
    }
}
