package java.lang;

/**
 * A loaded class.  The VM's class block is the Class object itself, so this
 * class declares no instance fields: the VM owns every byte of the block.
 * There is a single (bootstrap) class loader, so every class answers null
 * for getClassLoader().
 */
public final class Class<T> implements java.io.Serializable {
    private Class() {}

    /** Dotted name ("java.lang.String", "[I", "[Ljava.lang.Object;"), cached in the block. */
    public native String getName();

    /**
     * Loads (and, when initialize is true, initialises) the named class.
     * Public because compiled callers of forName in any class call it in
     * place of forName.  ClassNotFoundException carries the name.
     */
    public static native Class<?> forName0(String name, boolean initialize, ClassLoader loader)
        throws ClassNotFoundException;

    /** Loads and initialises the named class with the bootstrap loader. */
    public static native Class<?> forName1(String name) throws ClassNotFoundException;

    /** new T() through the no-argument constructor. */
    private native Object newInstance0() throws InstantiationException, IllegalAccessException;

    /**
     * new T() on behalf of the given caller class (its access is checked);
     * compiled code calls it in place of newInstance().
     */
    public native Object newInstance1(Class<?> caller, ClassLoader loader)
        throws InstantiationException, IllegalAccessException;

    public native boolean isInstance(Object obj);

    public native boolean isAssignableFrom(Class<?> cls);

    public native boolean isInterface();

    public native boolean isArray();

    public native boolean isPrimitive();

    public native Class<? super T> getSuperclass();

    public native Class<?> getComponentType();

    public native int getModifiers();

    private native ClassLoader getClassLoader0();

    /** The class object of a primitive type ("int", "void", ...). */
    static native Class<?> getPrimitiveClass(String name);

    public static Class<?> forName(String className) throws ClassNotFoundException {
        return forName0(className, true, ClassLoader.getCallerClassLoader());
    }

    public static Class<?> forName(String name, boolean initialize, ClassLoader loader)
        throws ClassNotFoundException {
        return forName0(name, initialize, loader);
    }

    @SuppressWarnings("unchecked")
    public T newInstance() throws InstantiationException, IllegalAccessException {
        return (T) newInstance0();
    }

    public ClassLoader getClassLoader() {
        return getClassLoader0();
    }

    /** Assertions are always disabled. */
    public boolean desiredAssertionStatus() {
        return false;
    }

    public boolean isEnum() {
        return getSuperclass() == Enum.class;
    }

    @SuppressWarnings("unchecked")
    public T cast(Object obj) {
        if (obj != null && !isInstance(obj)) {
            throw new ClassCastException("Cannot cast " + obj.getClass().getName() + " to " + getName());
        }
        return (T) obj;
    }

    public String getSimpleName() {
        if (isArray()) {
            return getComponentType().getSimpleName() + "[]";
        }
        // Nested "Outer$Inner" gives "Inner", local "Outer$1Local" gives
        // "Local", anonymous "Outer$1" gives "".
        String name = getName();
        int cut = Math.max(name.lastIndexOf('.'), name.lastIndexOf('$'));
        String simple = name.substring(cut + 1);
        if (name.lastIndexOf('$') > name.lastIndexOf('.')) {
            int k = 0;
            while (k < simple.length() && Character.isDigit(simple.charAt(k))) {
                k++;
            }
            simple = simple.substring(k);
        }
        return simple;
    }

    // The compiler recognises "the first method named forName" (and
    // "newInstance") of this class and rewrites calls of it into forName0 /
    // newInstance1: forName(String) must stay declared before the
    // three-argument forName.

    public String toString() {
        if (isPrimitive()) {
            return getName();
        }
        return (isInterface() ? "interface " : "class ") + getName();
    }
}
