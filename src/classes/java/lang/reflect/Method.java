package java.lang.reflect;

/**
 * A method of a class or interface.  Made only by Class (its natives fill
 * the fields, which they find by name); `slot` is the VM's method block.
 * The exceptions a method declares are not kept by the class reader, so
 * getExceptionTypes() answers an empty list.
 */
public final class Method extends AccessibleObject implements Member {
    private Class<?> clazz;
    private String name;
    private Class<?> returnType;
    private Class<?>[] parameterTypes;
    private Class<?>[] exceptionTypes;
    private int modifiers;
    private int slot;

    private Method() {}

    /**
     * Calls the method (virtually, on obj's class, unless it is static or
     * private) with the arguments refs[i] / bits[i] (see Conversions); a
     * primitive result's bits go to result[0], a reference result is
     * answered.  The method's own exceptions propagate unwrapped.
     */
    private static native Object invoke0(int slot, Object obj, Object[] refs, long[] bits, long[] result);

    public Class<?> getDeclaringClass() {
        return clazz;
    }

    public String getName() {
        return name;
    }

    public int getModifiers() {
        return modifiers;
    }

    public Class<?> getReturnType() {
        return returnType;
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
        if (!(obj instanceof Method)) {
            return false;
        }
        Method m = (Method) obj;
        if (m.clazz != clazz || !m.name.equals(name) || m.returnType != returnType
            || m.parameterTypes.length != parameterTypes.length) {
            return false;
        }
        for (int i = 0; i < parameterTypes.length; i++) {
            if (m.parameterTypes[i] != parameterTypes[i]) {
                return false;
            }
        }
        return true;
    }

    public int hashCode() {
        return clazz.getName().hashCode() ^ name.hashCode();
    }

    public String toString() {
        String mods = Modifier.toString(modifiers);
        return (mods.length() == 0 ? "" : mods + " ") + Conversions.typeName(returnType) + " "
            + clazz.getName() + "." + name + Conversions.parameterList(parameterTypes)
            + Conversions.throwsClause(exceptionTypes);
    }

    public Object invoke(Object obj, Object... args)
        throws IllegalAccessException, IllegalArgumentException, InvocationTargetException {
        boolean isStatic = Modifier.isStatic(modifiers);
        if (!isStatic) {
            if (obj == null) {
                throw new NullPointerException();
            }
            if (!clazz.isInstance(obj)) {
                throw new IllegalArgumentException("object is not an instance of declaring class");
            }
        }
        checkAccess(clazz, modifiers, isStatic ? null : obj);
        int n = parameterTypes.length;
        Object[] refs = new Object[n];
        long[] bits = new long[n];
        Conversions.arguments(parameterTypes, args, refs, bits);
        if (isStatic) {
            initClass(clazz);
        }
        long[] result = new long[1];
        Object r;
        try {
            r = invoke0(slot, isStatic ? null : obj, refs, bits, result);
        } catch (Throwable t) {
            throw new InvocationTargetException(t);
        }
        int kind = Conversions.kindOf(returnType);
        return kind == Conversions.REF ? r : Conversions.box(result[0], kind);
    }
}
