package java.lang.reflect;

/**
 * A constructor of a class.  Made only by Class (its natives fill the
 * fields, which they find by name); `slot` is the VM's method block.  The
 * exceptions a constructor declares are not kept by the class reader, so
 * getExceptionTypes() answers an empty list.
 */
public final class Constructor<T> extends AccessibleObject implements Member {
    private Class<T> clazz;
    private Class<?>[] parameterTypes;
    private Class<?>[] exceptionTypes;
    private int modifiers;
    private int slot;

    private Constructor() {}

    /**
     * Initialises the class, allocates an object and runs the constructor
     * with the arguments refs[i] / bits[i] (see Conversions).  The
     * constructor's own exceptions propagate unwrapped.
     */
    private static native Object newInstance0(int slot, Object[] refs, long[] bits);

    public Class<T> getDeclaringClass() {
        return clazz;
    }

    public String getName() {
        return clazz.getName();
    }

    public int getModifiers() {
        return modifiers;
    }

    public Class<?>[] getParameterTypes() {
        return (Class<?>[]) parameterTypes.clone();
    }

    public int getParameterCount() {
        return parameterTypes.length;
    }

    public Class<?>[] getExceptionTypes() {
        return (Class<?>[]) exceptionTypes.clone();
    }

    public boolean isVarArgs() {
        return false;
    }

    public boolean equals(Object obj) {
        if (!(obj instanceof Constructor)) {
            return false;
        }
        Constructor<?> c = (Constructor<?>) obj;
        if (c.clazz != clazz || c.parameterTypes.length != parameterTypes.length) {
            return false;
        }
        for (int i = 0; i < parameterTypes.length; i++) {
            if (c.parameterTypes[i] != parameterTypes[i]) {
                return false;
            }
        }
        return true;
    }

    public int hashCode() {
        return clazz.getName().hashCode();
    }

    public String toString() {
        String mods = Modifier.toString(modifiers);
        return (mods.length() == 0 ? "" : mods + " ") + clazz.getName()
            + Conversions.parameterList(parameterTypes) + Conversions.throwsClause(exceptionTypes);
    }

    @SuppressWarnings("unchecked")
    public T newInstance(Object... args)
        throws InstantiationException, IllegalAccessException, IllegalArgumentException, InvocationTargetException {
        checkAccess(clazz, modifiers, null);
        if (Modifier.isAbstract(clazz.getModifiers())) {
            throw new InstantiationException();
        }
        int n = parameterTypes.length;
        Object[] refs = new Object[n];
        long[] bits = new long[n];
        Conversions.arguments(parameterTypes, args, refs, bits);
        initClass(clazz);
        try {
            return (T) newInstance0(slot, refs, bits);
        } catch (Throwable t) {
            throw new InvocationTargetException(t);
        }
    }
}
