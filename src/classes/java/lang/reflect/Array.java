package java.lang.reflect;

/**
 * Creating arrays of a run-time component type, and reading and writing
 * their elements with the widening and unboxing conversions of reflection.
 */
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

    /** An array of dimensions.length dimensions whose innermost component is componentType. */
    public static Object newInstance(Class<?> componentType, int... dimensions)
        throws IllegalArgumentException, NegativeArraySizeException {
        if (componentType == null || dimensions == null) {
            throw new NullPointerException();
        }
        if (dimensions.length == 0 || componentType == Void.TYPE) {
            throw new IllegalArgumentException();
        }
        for (int i = 0; i < dimensions.length; i++) {
            if (dimensions[i] < 0) {
                throw new NegativeArraySizeException(Integer.toString(dimensions[i]));
            }
        }
        return make(componentType, dimensions, 0);
    }

    private static Object make(Class<?> component, int[] dims, int level) {
        Class<?> type = component;
        for (int i = level + 1; i < dims.length; i++) {
            type = newArray(type, 0).getClass();
        }
        Object a = newArray(type, dims[level]);
        if (level + 1 < dims.length) {
            Object[] outer = (Object[]) a;
            for (int i = 0; i < outer.length; i++) {
                outer[i] = make(component, dims, level + 1);
            }
        }
        return a;
    }

    /** The element's kind (Conversions) and bits, after the array and index checks. */
    private static int kindOfArray(Object array) {
        if (array == null) {
            throw new NullPointerException();
        }
        Class<?> c = array.getClass();
        if (!c.isArray()) {
            throw new IllegalArgumentException("Argument is not an array");
        }
        return Conversions.kindOf(c.getComponentType());
    }

    private static void checkIndex(Object array, int index) {
        if (index < 0 || index >= getLength(array)) {
            throw new ArrayIndexOutOfBoundsException();
        }
    }

    private static long getBits(Object array, int kind, int index) {
        checkIndex(array, index);
        switch (kind) {
        case Conversions.BOOLEAN: return ((boolean[]) array)[index] ? 1 : 0;
        case Conversions.BYTE: return ((byte[]) array)[index];
        case Conversions.CHAR: return ((char[]) array)[index];
        case Conversions.SHORT: return ((short[]) array)[index];
        case Conversions.INT: return ((int[]) array)[index];
        case Conversions.LONG: return ((long[]) array)[index];
        case Conversions.FLOAT: return Float.floatToRawIntBits(((float[]) array)[index]);
        default: return Double.doubleToRawLongBits(((double[]) array)[index]);
        }
    }

    private static void setBits(Object array, int kind, int index, long bits) {
        checkIndex(array, index);
        switch (kind) {
        case Conversions.BOOLEAN: ((boolean[]) array)[index] = bits != 0; break;
        case Conversions.BYTE: ((byte[]) array)[index] = (byte) bits; break;
        case Conversions.CHAR: ((char[]) array)[index] = (char) bits; break;
        case Conversions.SHORT: ((short[]) array)[index] = (short) bits; break;
        case Conversions.INT: ((int[]) array)[index] = (int) bits; break;
        case Conversions.LONG: ((long[]) array)[index] = bits; break;
        case Conversions.FLOAT: ((float[]) array)[index] = Float.intBitsToFloat((int) bits); break;
        default: ((double[]) array)[index] = Double.longBitsToDouble(bits); break;
        }
    }

    public static Object get(Object array, int index) throws IllegalArgumentException, ArrayIndexOutOfBoundsException {
        int kind = kindOfArray(array);
        if (kind == Conversions.REF) {
            checkIndex(array, index);
            return ((Object[]) array)[index];
        }
        return Conversions.box(getBits(array, kind, index), kind);
    }

    private static long getWidened(Object array, int index, int to) {
        int kind = kindOfArray(array);
        if (!Conversions.widens(kind, to)) {
            throw new IllegalArgumentException("argument type mismatch");
        }
        return Conversions.widen(getBits(array, kind, index), kind, to);
    }

    public static boolean getBoolean(Object array, int index) {
        return getWidened(array, index, Conversions.BOOLEAN) != 0;
    }

    public static byte getByte(Object array, int index) {
        return (byte) getWidened(array, index, Conversions.BYTE);
    }

    public static char getChar(Object array, int index) {
        return (char) getWidened(array, index, Conversions.CHAR);
    }

    public static short getShort(Object array, int index) {
        return (short) getWidened(array, index, Conversions.SHORT);
    }

    public static int getInt(Object array, int index) {
        return (int) getWidened(array, index, Conversions.INT);
    }

    public static long getLong(Object array, int index) {
        return getWidened(array, index, Conversions.LONG);
    }

    public static float getFloat(Object array, int index) {
        return Float.intBitsToFloat((int) getWidened(array, index, Conversions.FLOAT));
    }

    public static double getDouble(Object array, int index) {
        return Double.longBitsToDouble(getWidened(array, index, Conversions.DOUBLE));
    }

    public static void set(Object array, int index, Object value) throws IllegalArgumentException {
        int kind = kindOfArray(array);
        if (kind == Conversions.REF) {
            if (value != null && !array.getClass().getComponentType().isInstance(value)) {
                throw new IllegalArgumentException("array element type mismatch");
            }
            checkIndex(array, index);
            ((Object[]) array)[index] = value;
            return;
        }
        if (value == null) {
            throw new IllegalArgumentException();
        }
        int from = Conversions.kindOfValue(value);
        if (!Conversions.widens(from, kind)) {
            throw new IllegalArgumentException("argument type mismatch");
        }
        setBits(array, kind, index, Conversions.widen(Conversions.unbox(value, from), from, kind));
    }

    private static void setWidened(Object array, int index, long bits, int from) {
        int kind = kindOfArray(array);
        if (!Conversions.widens(from, kind)) {
            throw new IllegalArgumentException("argument type mismatch");
        }
        setBits(array, kind, index, Conversions.widen(bits, from, kind));
    }

    public static void setBoolean(Object array, int index, boolean z) {
        setWidened(array, index, z ? 1 : 0, Conversions.BOOLEAN);
    }

    public static void setByte(Object array, int index, byte b) {
        setWidened(array, index, b, Conversions.BYTE);
    }

    public static void setChar(Object array, int index, char c) {
        setWidened(array, index, c, Conversions.CHAR);
    }

    public static void setShort(Object array, int index, short s) {
        setWidened(array, index, s, Conversions.SHORT);
    }

    public static void setInt(Object array, int index, int i) {
        setWidened(array, index, i, Conversions.INT);
    }

    public static void setLong(Object array, int index, long l) {
        setWidened(array, index, l, Conversions.LONG);
    }

    public static void setFloat(Object array, int index, float f) {
        setWidened(array, index, Float.floatToRawIntBits(f), Conversions.FLOAT);
    }

    public static void setDouble(Object array, int index, double d) {
        setWidened(array, index, Double.doubleToRawLongBits(d), Conversions.DOUBLE);
    }
}
