package java.lang;

import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;

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

    // ---- reflection ----
    //
    // Member lists come in declaration order; members are made afresh on each
    // call, so callers may change their accessible flags freely.

    /** The direct superinterfaces in declaration order (Cloneable, Serializable for arrays). */
    public native Class<?>[] getInterfaces();

    /** Fields the class declares (only the public ones when publicOnly). */
    private native Field[] getDeclaredFields0(boolean publicOnly);

    /** Methods the class declares, without constructors and static initialisers. */
    private native Method[] getDeclaredMethods0(boolean publicOnly);

    private native Constructor<T>[] getDeclaredConstructors0(boolean publicOnly);

    public Field[] getDeclaredFields() {
        return getDeclaredFields0(false);
    }

    public Method[] getDeclaredMethods() {
        return getDeclaredMethods0(false);
    }

    public Constructor<?>[] getDeclaredConstructors() {
        return getDeclaredConstructors0(false);
    }

    public Constructor<?>[] getConstructors() {
        return getDeclaredConstructors0(true);
    }

    /** Public fields: the class's own, then its superinterfaces' (depth first), then its superclass's. */
    public Field[] getFields() {
        ArrayList<Field> out = new ArrayList<Field>();
        addPublicFields(out, new ArrayList<Class<?>>());
        return out.toArray(new Field[out.size()]);
    }

    private void addPublicFields(ArrayList<Field> out, ArrayList<Class<?>> seen) {
        if (seen.contains(this)) {
            return;
        }
        seen.add(this);
        Field[] own = getDeclaredFields0(true);
        for (int i = 0; i < own.length; i++) {
            out.add(own[i]);
        }
        Class<?>[] itfs = getInterfaces();
        for (int i = 0; i < itfs.length; i++) {
            itfs[i].addPublicFields(out, seen);
        }
        Class<?> sup = getSuperclass();
        if (sup != null) {
            sup.addPublicFields(out, seen);
        }
    }

    /** The public field found in the order the language resolves a field name. */
    public Field getField(String name) throws NoSuchFieldException {
        if (name == null) {
            throw new NullPointerException();
        }
        Field f = findPublicField(name);
        if (f == null) {
            throw new NoSuchFieldException(name);
        }
        return f;
    }

    private Field findPublicField(String name) {
        Field[] own = getDeclaredFields0(true);
        for (int i = 0; i < own.length; i++) {
            if (own[i].getName().equals(name)) {
                return own[i];
            }
        }
        Class<?>[] itfs = getInterfaces();
        for (int i = 0; i < itfs.length; i++) {
            Field f = itfs[i].findPublicField(name);
            if (f != null) {
                return f;
            }
        }
        Class<?> sup = getSuperclass();
        return sup == null ? null : sup.findPublicField(name);
    }

    public Field getDeclaredField(String name) throws NoSuchFieldException {
        if (name == null) {
            throw new NullPointerException();
        }
        Field[] own = getDeclaredFields0(false);
        for (int i = 0; i < own.length; i++) {
            if (own[i].getName().equals(name)) {
                return own[i];
            }
        }
        throw new NoSuchFieldException(name);
    }

    private static boolean sameParameters(Class<?>[] a, Class<?>[] b) {
        int n = b == null ? 0 : b.length;
        if (a.length != n) {
            return false;
        }
        for (int i = 0; i < n; i++) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }

    /**
     * Public methods: the class's own, then those inherited from
     * superclasses and superinterfaces that no method met earlier overrides
     * (same name and parameter types).  Static methods of interfaces are not
     * inherited.
     */
    public Method[] getMethods() {
        ArrayList<Method> out = new ArrayList<Method>();
        addPublicMethods(out, new ArrayList<Class<?>>(), true);
        return out.toArray(new Method[out.size()]);
    }

    private void addPublicMethods(ArrayList<Method> out, ArrayList<Class<?>> seen, boolean first) {
        if (seen.contains(this)) {
            return;
        }
        seen.add(this);
        Method[] own = getDeclaredMethods0(true);
        for (int i = 0; i < own.length; i++) {
            Method m = own[i];
            if (!first && isInterface() && Modifier.isStatic(m.getModifiers())) {
                continue;
            }
            boolean hidden = false;
            for (int k = 0; k < out.size() && !hidden; k++) {
                Method o = out.get(k);
                hidden = o.getName().equals(m.getName()) && sameParameters(o.getParameterTypes(), m.getParameterTypes());
            }
            if (!hidden) {
                out.add(m);
            }
        }
        Class<?> sup = getSuperclass();
        if (sup != null) {
            sup.addPublicMethods(out, seen, false);
        }
        Class<?>[] itfs = getInterfaces();
        for (int i = 0; i < itfs.length; i++) {
            itfs[i].addPublicMethods(out, seen, false);
        }
    }

    /**
     * Of several matches (covariant returns give a class bridge methods with
     * the same parameters), the one whose return type every other's is
     * assignable from.
     */
    private static Method mostSpecific(Method[] ms, String name, Class<?>[] types) {
        Method best = null;
        for (int i = 0; i < ms.length; i++) {
            Method m = ms[i];
            if (m.getName().equals(name) && sameParameters(m.getParameterTypes(), types)
                && (best == null || best.getReturnType().isAssignableFrom(m.getReturnType()))) {
                best = m;
            }
        }
        return best;
    }

    private Method findPublicMethod(String name, Class<?>[] types, boolean first) {
        Method m = mostSpecific(getDeclaredMethods0(true), name, types);
        if (m != null && (first || !isInterface() || !Modifier.isStatic(m.getModifiers()))) {
            return m;
        }
        Class<?> sup = getSuperclass();
        if (sup != null) {
            m = sup.findPublicMethod(name, types, false);
            if (m != null) {
                return m;
            }
        }
        Class<?>[] itfs = getInterfaces();
        for (int i = 0; i < itfs.length; i++) {
            m = itfs[i].findPublicMethod(name, types, false);
            if (m != null) {
                return m;
            }
        }
        return null;
    }

    private NoSuchMethodException noSuchMethod(String name, Class<?>[] types) {
        StringBuilder sb = new StringBuilder(getName()).append('.').append(name).append('(');
        for (int i = 0; types != null && i < types.length; i++) {
            if (i > 0) {
                sb.append(',');
            }
            sb.append(types[i] == null ? "null" : types[i].getName());
        }
        return new NoSuchMethodException(sb.append(')').toString());
    }

    public Method getMethod(String name, Class<?>... parameterTypes) throws NoSuchMethodException {
        if (name == null) {
            throw new NullPointerException();
        }
        Method m = findPublicMethod(name, parameterTypes, true);
        if (m == null) {
            throw noSuchMethod(name, parameterTypes);
        }
        return m;
    }

    public Method getDeclaredMethod(String name, Class<?>... parameterTypes) throws NoSuchMethodException {
        if (name == null) {
            throw new NullPointerException();
        }
        Method m = mostSpecific(getDeclaredMethods0(false), name, parameterTypes);
        if (m == null) {
            throw noSuchMethod(name, parameterTypes);
        }
        return m;
    }

    private Constructor<T> findConstructor(boolean publicOnly, Class<?>[] types) throws NoSuchMethodException {
        Constructor<T>[] cs = getDeclaredConstructors0(publicOnly);
        for (int i = 0; i < cs.length; i++) {
            if (sameParameters(cs[i].getParameterTypes(), types)) {
                return cs[i];
            }
        }
        throw noSuchMethod("<init>", types);
    }

    public Constructor<T> getConstructor(Class<?>... parameterTypes) throws NoSuchMethodException {
        return findConstructor(true, parameterTypes);
    }

    public Constructor<T> getDeclaredConstructor(Class<?>... parameterTypes) throws NoSuchMethodException {
        return findConstructor(false, parameterTypes);
    }

    public String toString() {
        if (isPrimitive()) {
            return getName();
        }
        return (isInterface() ? "interface " : "class ") + getName();
    }
}
