package java.lang.reflect;

/**
 * A field of a class.  Made only by Class (its natives fill the fields,
 * which they find by name); `slot` is the VM's field block.
 *
 * Reads widen the field's value to the getter's type, writes unbox and widen
 * the value to the field's type; anything else is IllegalArgumentException.
 * An instance field needs an object of its class (NullPointerException for
 * null); a static one initialises its class.  Unless setAccessible(true),
 * the caller's access is checked; a final field can be written only after
 * setAccessible(true), and a static final one never.
 */
public final class Field extends AccessibleObject implements Member {
    private Class<?> clazz;
    private String name;
    private Class<?> type;
    private int modifiers;
    private int slot;

    private Field() {}

    /** The field's value as bits (see Conversions); the class is initialised for a static. */
    private static native long getBits(int slot, Object obj);

    private static native void setBits(int slot, Object obj, long bits);

    private static native Object getRef(int slot, Object obj);

    private static native void setRef(int slot, Object obj, Object value);

    public Class<?> getDeclaringClass() {
        return clazz;
    }

    public String getName() {
        return name;
    }

    public int getModifiers() {
        return modifiers;
    }

    public Class<?> getType() {
        return type;
    }

    public boolean isSynthetic() {
        return false;
    }

    public boolean equals(Object obj) {
        if (!(obj instanceof Field)) {
            return false;
        }
        Field f = (Field) obj;
        return f.clazz == clazz && f.name.equals(name) && f.type == type;
    }

    public int hashCode() {
        return clazz.getName().hashCode() ^ name.hashCode();
    }

    private String qualifiedName() {
        return clazz.getName() + "." + name;
    }

    public String toString() {
        String mods = Modifier.toString(modifiers);
        return (mods.length() == 0 ? "" : mods + " ") + Conversions.typeName(type) + " " + qualifiedName();
    }

    // "static final int field p.C.x" as the messages name the field.
    private String describeField() {
        String s = Modifier.isStatic(modifiers) ? "static " : "";
        if (Modifier.isFinal(modifiers)) {
            s += "final ";
        }
        return s + type.getName() + " field " + qualifiedName();
    }

    private IllegalArgumentException cannotSet(String what) {
        return new IllegalArgumentException("Can not set " + describeField() + " to " + what);
    }

    /** The object the field is read or written in: null for a static, else obj checked. */
    private Object target(Object obj) {
        if (Modifier.isStatic(modifiers)) {
            return null;
        }
        if (obj == null) {
            throw new NullPointerException();
        }
        if (!clazz.isInstance(obj)) {
            throw cannotSet(obj.getClass().getName());
        }
        return obj;
    }

    private void checkWrite(String what) throws IllegalAccessException {
        if (Modifier.isFinal(modifiers) && (!override || Modifier.isStatic(modifiers))) {
            throw new IllegalAccessException("Can not set " + describeField() + " to " + what);
        }
    }

    public Object get(Object obj) throws IllegalArgumentException, IllegalAccessException {
        Object o = target(obj);
        checkAccess(clazz, modifiers, o);
        int kind = Conversions.kindOf(type);
        if (kind == Conversions.REF) {
            return getRef(slot, o);
        }
        return Conversions.box(getBits(slot, o), kind);
    }

    /** The value widened to the kind `to`. */
    private long getWidened(Object obj, int to) throws IllegalAccessException {
        Object o = target(obj);
        checkAccess(clazz, modifiers, o);
        int kind = Conversions.kindOf(type);
        if (!Conversions.widens(kind, to)) {
            throw new IllegalArgumentException("Attempt to get " + type.getName() + " field \"" + qualifiedName()
                                               + "\" with illegal data type conversion to " + Conversions.kindName(to));
        }
        return Conversions.widen(getBits(slot, o), kind, to);
    }

    public boolean getBoolean(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return getWidened(obj, Conversions.BOOLEAN) != 0;
    }

    public byte getByte(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return (byte) getWidened(obj, Conversions.BYTE);
    }

    public char getChar(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return (char) getWidened(obj, Conversions.CHAR);
    }

    public short getShort(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return (short) getWidened(obj, Conversions.SHORT);
    }

    public int getInt(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return (int) getWidened(obj, Conversions.INT);
    }

    public long getLong(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return getWidened(obj, Conversions.LONG);
    }

    public float getFloat(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return Float.intBitsToFloat((int) getWidened(obj, Conversions.FLOAT));
    }

    public double getDouble(Object obj) throws IllegalArgumentException, IllegalAccessException {
        return Double.longBitsToDouble(getWidened(obj, Conversions.DOUBLE));
    }

    public void set(Object obj, Object value) throws IllegalArgumentException, IllegalAccessException {
        Object o = target(obj);
        checkAccess(clazz, modifiers, o);
        String what = value == null ? "null value" : value.getClass().getName();
        checkWrite(what);
        int kind = Conversions.kindOf(type);
        if (kind == Conversions.REF) {
            if (value != null && !type.isInstance(value)) {
                throw cannotSet(what);
            }
            setRef(slot, o, value);
            return;
        }
        int from = Conversions.kindOfValue(value);
        if (!Conversions.widens(from, kind)) {
            throw cannotSet(what);
        }
        setBits(slot, o, Conversions.widen(Conversions.unbox(value, from), from, kind));
    }

    /** Stores bits of kind `from` after widening them to the field's kind. */
    private void setWidened(Object obj, long bits, int from) throws IllegalAccessException {
        Object o = target(obj);
        checkAccess(clazz, modifiers, o);
        String what = Conversions.describe(bits, from);
        checkWrite(what);
        int kind = Conversions.kindOf(type);
        if (!Conversions.widens(from, kind)) {      // never into a reference field
            throw cannotSet(what);
        }
        setBits(slot, o, Conversions.widen(bits, from, kind));
    }

    public void setBoolean(Object obj, boolean z) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, z ? 1 : 0, Conversions.BOOLEAN);
    }

    public void setByte(Object obj, byte b) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, b, Conversions.BYTE);
    }

    public void setChar(Object obj, char c) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, c, Conversions.CHAR);
    }

    public void setShort(Object obj, short s) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, s, Conversions.SHORT);
    }

    public void setInt(Object obj, int i) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, i, Conversions.INT);
    }

    public void setLong(Object obj, long l) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, l, Conversions.LONG);
    }

    public void setFloat(Object obj, float f) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, Float.floatToRawIntBits(f), Conversions.FLOAT);
    }

    public void setDouble(Object obj, double d) throws IllegalArgumentException, IllegalAccessException {
        setWidened(obj, Double.doubleToRawLongBits(d), Conversions.DOUBLE);
    }
}
