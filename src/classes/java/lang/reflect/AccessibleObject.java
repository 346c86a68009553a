package java.lang.reflect;

/**
 * What fields, methods and constructors share: the flag that turns off the
 * language's access checks for reflective use, and those checks.
 */
public class AccessibleObject {
    /** True when setAccessible(true) lifted the access checks. */
    boolean override;

    protected AccessibleObject() {}

    /**
     * The class of the nearest caller outside java.lang.reflect and
     * java.lang.Class: the one on whose behalf a member is used.
     */
    static native Class<?> callerClass();

    /** Initialises the class (ExceptionInInitializerError and the like propagate as they are). */
    static native void initClass(Class<?> c);

    public boolean isAccessible() {
        return override;
    }

    public void setAccessible(boolean flag) throws SecurityException {
        if (flag && this instanceof Constructor && ((Constructor<?>) this).getDeclaringClass() == Class.class) {
            throw new SecurityException("Cannot make a java.lang.Class constructor accessible");
        }
        override = flag;
    }

    public static void setAccessible(AccessibleObject[] array, boolean flag) throws SecurityException {
        for (int i = 0; i < array.length; i++) {
            array[i].setAccessible(flag);
        }
    }

    private static boolean samePackage(Class<?> a, Class<?> b) {
        String x = a.getName();
        String y = b.getName();
        int i = x.lastIndexOf('.');
        int j = y.lastIndexOf('.');
        return i == j && x.regionMatches(0, y, 0, i < 0 ? 0 : i);
    }

    /**
     * The language's access rule for a member of `declaring` with the given
     * modifiers, used by `caller` on `target` (null for a static member or a
     * constructor): the class must be public or in the caller's package;
     * then a public member is accessible, a private one only to its own
     * class, a package one within the package, and a protected one also to
     * subclasses, on objects of the caller's class for instance members.
     */
    static boolean accessible(Class<?> caller, Class<?> declaring, int modifiers, Object target) {
        if (caller == declaring) {
            return true;
        }
        boolean same = samePackage(caller, declaring);
        if (!Modifier.isPublic(declaring.getModifiers()) && !same) {
            return false;
        }
        if (Modifier.isPublic(modifiers)) {
            return true;
        }
        if (Modifier.isPrivate(modifiers)) {
            return false;
        }
        if (same) {
            return true;
        }
        if (Modifier.isProtected(modifiers) && declaring.isAssignableFrom(caller)) {
            return Modifier.isStatic(modifiers) || target == null || caller.isInstance(target);
        }
        return false;
    }

    /** IllegalAccessException unless the access checks are off or the caller may use the member. */
    final void checkAccess(Class<?> declaring, int modifiers, Object target) throws IllegalAccessException {
        if (override) {
            return;
        }
        Class<?> caller = callerClass();
        if (caller == null || accessible(caller, declaring, modifiers, target)) {
            return;
        }
        throw new IllegalAccessException("class " + caller.getName() + " cannot access a member of class "
                                         + declaring.getName() + " with modifiers \"" + Modifier.toString(modifiers)
                                         + "\"");
    }
}
