package java.lang.reflect;

/**
 * The value conversions of reflection: primitive kinds, unboxing with
 * widening (JLS 5.1.2) and boxing.  A primitive value travels as its bits in
 * a long: int-like kinds as their int value (boolean 0 or 1, char
 * unsigned), float as Float.floatToRawIntBits, double as
 * Double.doubleToRawLongBits.
 */
final class Conversions {
    private Conversions() {}

    static final int REF = 0;
    static final int BOOLEAN = 1;
    static final int BYTE = 2;
    static final int CHAR = 3;
    static final int SHORT = 4;
    static final int INT = 5;
    static final int LONG = 6;
    static final int FLOAT = 7;
    static final int DOUBLE = 8;
    static final int VOID = 9;

    private static final String[] NAMES = {
        "Object", "boolean", "byte", "char", "short", "int", "long", "float", "double", "void",
    };

    static String kindName(int kind) {
        return NAMES[kind];
    }

    static int kindOf(Class<?> c) {
        if (!c.isPrimitive()) return REF;
        if (c == Integer.TYPE) return INT;
        if (c == Long.TYPE) return LONG;
        if (c == Double.TYPE) return DOUBLE;
        if (c == Boolean.TYPE) return BOOLEAN;
        if (c == Byte.TYPE) return BYTE;
        if (c == Character.TYPE) return CHAR;
        if (c == Short.TYPE) return SHORT;
        if (c == Float.TYPE) return FLOAT;
        return VOID;
    }

    /** The primitive kind a wrapper object unboxes to; REF for null and any other object. */
    static int kindOfValue(Object v) {
        if (v instanceof Integer) return INT;
        if (v instanceof Long) return LONG;
        if (v instanceof Double) return DOUBLE;
        if (v instanceof Boolean) return BOOLEAN;
        if (v instanceof Byte) return BYTE;
        if (v instanceof Character) return CHAR;
        if (v instanceof Short) return SHORT;
        if (v instanceof Float) return FLOAT;
        return REF;
    }

    /** Identity or widening primitive conversion from one kind to another. */
    static boolean widens(int from, int to) {
        if (from == to) {
            return from != REF && from != VOID;
        }
        switch (from) {
        case BYTE: return to == SHORT || to >= INT && to <= DOUBLE;
        case SHORT: case CHAR: return to >= INT && to <= DOUBLE;
        case INT: return to >= LONG && to <= DOUBLE;
        case LONG: return to == FLOAT || to == DOUBLE;
        case FLOAT: return to == DOUBLE;
        default: return false;
        }
    }

    /** The bits of a wrapper object's value (kind from kindOfValue). */
    static long unbox(Object v, int kind) {
        switch (kind) {
        case BOOLEAN: return ((Boolean) v).booleanValue() ? 1 : 0;
        case BYTE: return ((Byte) v).byteValue();
        case CHAR: return ((Character) v).charValue();
        case SHORT: return ((Short) v).shortValue();
        case INT: return ((Integer) v).intValue();
        case LONG: return ((Long) v).longValue();
        case FLOAT: return Float.floatToRawIntBits(((Float) v).floatValue());
        default: return Double.doubleToRawLongBits(((Double) v).doubleValue());
        }
    }

    /** Bits of kind `from` converted to kind `to` (widens(from, to) holds). */
    static long widen(long bits, int from, int to) {
        if (from == to || to <= INT) {
            return bits;        // int-like kinds share the int value
        }
        if (to == LONG) {
            return bits;        // the int value, sign-extended already
        }
        if (to == FLOAT) {
            float f = from == LONG ? (float) bits : (float) (int) bits;
            return Float.floatToRawIntBits(f);
        }
        double d;
        if (from == FLOAT) {
            d = Float.intBitsToFloat((int) bits);
        } else if (from == LONG) {
            d = (double) bits;
        } else {
            d = (double) (int) bits;
        }
        return Double.doubleToRawLongBits(d);
    }

    static Object box(long bits, int kind) {
        switch (kind) {
        case BOOLEAN: return Boolean.valueOf(bits != 0);
        case BYTE: return Byte.valueOf((byte) bits);
        case CHAR: return Character.valueOf((char) bits);
        case SHORT: return Short.valueOf((short) bits);
        case INT: return Integer.valueOf((int) bits);
        case LONG: return Long.valueOf(bits);
        case FLOAT: return Float.valueOf(Float.intBitsToFloat((int) bits));
        case DOUBLE: return Double.valueOf(Double.longBitsToDouble(bits));
        default: return null;
        }
    }

    /** The value as source text quotes it in messages: "(int)3". */
    static String describe(long bits, int kind) {
        return "(" + NAMES[kind] + ")" + box(bits, kind);
    }

    /**
     * The arguments of a call as the natives take them: refs[i] for a
     * reference parameter, bits[i] for a primitive one.  IllegalArgumentException
     * for a wrong count, a null for a primitive, or a value that neither is
     * an instance of the parameter type nor unboxes and widens to it.
     */
    static void arguments(Class<?>[] types, Object[] args, Object[] refs, long[] bits) {
        int n = args == null ? 0 : args.length;
        if (n != types.length) {
            throw new IllegalArgumentException("wrong number of arguments");
        }
        for (int i = 0; i < n; i++) {
            Object v = args[i];
            Class<?> t = types[i];
            int to = kindOf(t);
            if (to == REF) {
                if (v != null && !t.isInstance(v)) {
                    throw new IllegalArgumentException("argument type mismatch");
                }
                refs[i] = v;
            } else {
                if (v == null) {
                    throw new IllegalArgumentException();
                }
                int from = kindOfValue(v);
                if (!widens(from, to)) {
                    throw new IllegalArgumentException("argument type mismatch");
                }
                bits[i] = widen(unbox(v, from), from, to);
            }
        }
    }

    /** Class.getTypeName: "int[]", "java.lang.String[][]". */
    static String typeName(Class<?> c) {
        int dims = 0;
        while (c.isArray()) {
            dims++;
            c = c.getComponentType();
        }
        StringBuilder sb = new StringBuilder(c.getName());
        for (int i = 0; i < dims; i++) {
            sb.append("[]");
        }
        return sb.toString();
    }

    /** "(int,java.lang.String[])" as the toString of members shows parameter lists. */
    static String parameterList(Class<?>[] types) {
        StringBuilder sb = new StringBuilder("(");
        for (int i = 0; i < types.length; i++) {
            if (i > 0) {
                sb.append(',');
            }
            sb.append(typeName(types[i]));
        }
        return sb.append(')').toString();
    }

    static String throwsClause(Class<?>[] types) {
        if (types.length == 0) {
            return "";
        }
        StringBuilder sb = new StringBuilder(" throws ");
        for (int i = 0; i < types.length; i++) {
            if (i > 0) {
                sb.append(',');
            }
            sb.append(types[i].getName());
        }
        return sb.toString();
    }
}
