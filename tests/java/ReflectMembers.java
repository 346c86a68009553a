import java.lang.reflect.AccessibleObject;
import java.lang.reflect.Array;
import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;

// Reflection over classes of this file: member lists and queries, field
// reads and writes with widening, calls with unboxing, access checks, and
// the exceptions of each misuse.
public class ReflectMembers {
    interface Shape {
        int SIDES = 0;
        double area();
    }

    static class Base implements Shape {
        public int id = 7;
        protected String tag = "base";
        public static long counter = 100L;
        public double area() { return 1.5; }
        public String describe() { return "Base#" + id; }
        public static int twice(int x) { return 2 * x; }
    }

    static class Square extends Base implements Comparable<Square> {
        public byte b = 3;
        public short s = -4;
        public char c = 'q';
        public boolean flag;
        public float f = 2.5f;
        public double d = 0.25;
        public long l = 1L << 40;
        public final int fixed = 9;
        public static final int CONST = 11;
        public String name;
        public int[] values = {1, 2};
        private int secret = 42;
        double side;

        public Square() { this(2.0); }
        public Square(double side) { this.side = side; }
        private Square(String name) { this.name = name; }

        public double area() { return side * side; }
        public int compareTo(Square o) { return Double.compare(side, o.side); }
        public long mix(byte a, short b, char c, int d, long e, float f, double g, boolean h, String s) {
            return a + b + c + d + e + (long) f + (long) g + (h ? 1000 : 0) + (s == null ? -1 : s.length());
        }
        public float half(float x) { return x / 2; }
        public char next(char x) { return (char) (x + 1); }
        public Object fail(String why) { throw new IllegalStateException(why); }
        private int hidden() { return secret; }
    }

    static class Thrower {
        public Thrower(int n) throws Exception {
            if (n < 0) {
                throw new Exception("negative " + n);
            }
        }
    }

    static abstract class Shapeless {
        public Shapeless() {}
    }

    interface Attempt {
        Object run() throws Throwable;
    }

    static void attempt(String label, Attempt a) {
        try {
            System.out.println(label + ": " + a.run());
        } catch (InvocationTargetException e) {
            System.out.println(label + ": " + e + " cause " + e.getCause());
        } catch (Throwable e) {
            System.out.println(label + ": " + e);
        }
    }

    static String names(Object[] members) {
        String[] n = new String[members.length];
        for (int i = 0; i < members.length; i++) {
            n[i] = members[i] instanceof Class ? ((Class<?>) members[i]).getName() : members[i].toString();
        }
        Arrays.sort(n);
        return Arrays.toString(n);
    }

    static void classQueries() throws Exception {
        Class<?> sq = Square.class;
        System.out.println(sq.getName() + " super " + sq.getSuperclass().getName() + " itfs " + names(sq.getInterfaces()));
        System.out.println("Base itfs " + names(Base.class.getInterfaces()) + " Shape super " + Shape.class.getSuperclass());
        System.out.println("int[][] itfs " + names(int[][].class.getInterfaces()) + " comp " + int[][].class.getComponentType());
        System.out.println("flags " + Shape.class.isInterface() + " " + sq.isInterface() + " " + int[].class.isArray()
                           + " " + int.class.isPrimitive() + " " + Integer.class.isPrimitive());
        System.out.println("mods " + Modifier.toString(Object.class.getModifiers()) + " | "
                           + Modifier.toString(int[].class.getModifiers()) + " | " + Modifier.toString(int.class.getModifiers()));
        System.out.println("declared fields " + names(sq.getDeclaredFields()));
        System.out.println("public fields " + names(sq.getFields()));
        System.out.println("declared ctors " + names(sq.getDeclaredConstructors()));
        System.out.println("public ctors " + names(sq.getConstructors()));
        Method[] dm = sq.getDeclaredMethods();
        String[] dn = new String[dm.length];
        for (int i = 0; i < dm.length; i++) {
            dn[i] = dm[i].getName() + "/" + dm[i].getParameterCount();
        }
        Arrays.sort(dn);
        System.out.println("declared methods " + Arrays.toString(dn));
        Method[] pm = sq.getMethods();
        String[] pn = new String[pm.length];
        for (int i = 0; i < pm.length; i++) {
            pn[i] = pm[i].getDeclaringClass().getSimpleName() + "." + pm[i].getName() + "/" + pm[i].getParameterCount();
        }
        Arrays.sort(pn);
        System.out.println("public methods " + Arrays.toString(pn));
        System.out.println("primitive/array members " + int.class.getDeclaredFields().length + " "
                           + int[].class.getDeclaredMethods().length + " " + int[].class.getMethods().length
                           + " " + Shape.class.getMethods().length);
        System.out.println(sq.getField("SIDES") + " | " + sq.getField("counter"));
        System.out.println(sq.getMethod("twice", int.class) + " | " + sq.getMethod("area"));
        System.out.println(sq.getDeclaredMethod("hidden") + " | " + sq.getDeclaredConstructor(String.class));
        System.out.println(sq.getDeclaredField("values") + " | " + sq.getDeclaredField("side"));
        System.out.println(sq.getMethod("compareTo", Square.class).getReturnType() + " "
                           + Arrays.toString(sq.getMethod("mix", byte.class, short.class, char.class, int.class, long.class,
                                                          float.class, double.class, boolean.class, String.class).getParameterTypes()));
        System.out.println("equal " + sq.getMethod("area").equals(sq.getMethod("area")) + " "
                           + sq.getField("id").equals(Base.class.getField("id")) + " "
                           + sq.getMethod("area").equals(Base.class.getMethod("area")));
        attempt("getDeclaredField inherited", new Attempt() { public Object run() throws Throwable { return sq.getDeclaredField("id"); } });
        attempt("getField private", new Attempt() { public Object run() throws Throwable { return sq.getField("secret"); } });
        attempt("getMethod private", new Attempt() { public Object run() throws Throwable { return sq.getMethod("hidden"); } });
        attempt("getMethod args", new Attempt() { public Object run() throws Throwable { return sq.getMethod("mix", int.class, int[].class); } });
        attempt("getConstructor private", new Attempt() { public Object run() throws Throwable { return sq.getConstructor(String.class); } });
        attempt("getDeclaredMethod <init>", new Attempt() { public Object run() throws Throwable { return sq.getDeclaredMethod("<init>"); } });
    }

    static void fields() throws Exception {
        Square q = new Square();
        Class<?> sq = Square.class;
        Field b = sq.getField("b"), s = sq.getField("s"), c = sq.getField("c"), flag = sq.getField("flag");
        Field f = sq.getField("f"), d = sq.getField("d"), l = sq.getField("l"), id = sq.getField("id");
        System.out.println("get " + b.get(q) + " " + s.get(q) + " " + c.get(q) + " " + flag.get(q) + " " + f.get(q)
                           + " " + d.get(q) + " " + l.get(q) + " " + id.get(q) + " " + sq.getField("name").get(q));
        System.out.println("widen " + b.getShort(q) + " " + b.getInt(q) + " " + s.getLong(q) + " " + c.getInt(q)
                           + " " + (l.getFloat(q) == (float) (1L << 40)) + " " + id.getDouble(q) + " " + f.getDouble(q) + " " + flag.getBoolean(q));
        b.setByte(q, (byte) -128);
        s.set(q, Byte.valueOf((byte) 5));
        c.setChar(q, '\uffff');
        flag.setBoolean(q, true);
        f.setLong(q, 1L << 53);
        d.setInt(q, -7);
        l.set(q, Character.valueOf('A'));
        id.setShort(q, (short) 300);
        sq.getField("name").set(q, "named");
        sq.getField("values").set(q, new int[] {9});
        System.out.println("set " + q.b + " " + q.s + " " + (int) q.c + " " + q.flag + " " + (q.f == (float) (1L << 53)) + " " + q.d + " " + q.l
                           + " " + q.id + " " + q.name + " " + q.values[0]);
        Field counter = Base.class.getField("counter");
        counter.setLong(null, counter.getLong(null) + 1);
        System.out.println("static " + Base.counter + " " + sq.getField("CONST").getInt(null) + " " + Shape.class.getField("SIDES").get(null));
        attempt("getShort of int", new Attempt() { public Object run() throws Throwable { return id.getShort(q); } });
        attempt("getInt of String", new Attempt() { public Object run() throws Throwable { return sq.getField("name").getInt(q); } });
        attempt("getChar of byte", new Attempt() { public Object run() throws Throwable { return b.getChar(q); } });
        attempt("set String to Integer", new Attempt() { public Object run() throws Throwable { sq.getField("name").set(q, 3); return null; } });
        attempt("set int to String", new Attempt() { public Object run() throws Throwable { id.set(q, "x"); return null; } });
        attempt("set int to null", new Attempt() { public Object run() throws Throwable { id.set(q, null); return null; } });
        attempt("set int to Long", new Attempt() { public Object run() throws Throwable { id.set(q, 3L); return null; } });
        attempt("setInt short", new Attempt() { public Object run() throws Throwable { s.setInt(q, 3); return null; } });
        attempt("setInt boolean", new Attempt() { public Object run() throws Throwable { flag.setInt(q, 1); return null; } });
        attempt("setByte char", new Attempt() { public Object run() throws Throwable { c.setByte(q, (byte) 1); return null; } });
        attempt("setInt String", new Attempt() { public Object run() throws Throwable { sq.getField("name").setInt(q, 1); return null; } });
        attempt("set final", new Attempt() { public Object run() throws Throwable { sq.getField("fixed").set(q, 3); return null; } });
        attempt("set static final", new Attempt() { public Object run() throws Throwable { sq.getField("CONST").setInt(null, 3); return null; } });
        attempt("get instance of null", new Attempt() { public Object run() throws Throwable { return id.get(null); } });
        attempt("get instance of other", new Attempt() { public Object run() throws Throwable { return id.get("str"); } });
        Field fixed = sq.getField("fixed");
        fixed.setAccessible(true);
        fixed.setInt(q, 10);
        System.out.println("final after setAccessible " + fixed.getInt(q));
        Field cst = sq.getField("CONST");
        cst.setAccessible(true);
        attempt("static final after setAccessible", new Attempt() { public Object run() throws Throwable { cst.setInt(null, 3); return null; } });
    }

    static void methods() throws Exception {
        Square q = new Square(3.0);
        Class<?> sq = Square.class;
        Method area = Shape.class.getMethod("area");
        System.out.println("dispatch " + area.invoke(q) + " " + area.invoke(new Base()) + " "
                           + Base.class.getMethod("describe").invoke(q));
        Method mix = sq.getMethod("mix", byte.class, short.class, char.class, int.class, long.class, float.class,
                                  double.class, boolean.class, String.class);
        System.out.println("mix " + mix.invoke(q, (byte) 1, (short) 2, 'A', 4, 5L, 6.9f, 7.9, true, "abc"));
        System.out.println("mix widened " + mix.invoke(q, (byte) 1, (byte) 2, 'A', 'B', 5, 6, 'C', false, null));
        System.out.println("results " + sq.getMethod("half", float.class).invoke(q, 5) + " "
                           + sq.getMethod("next", char.class).invoke(q, 'y') + " "
                           + Base.class.getMethod("twice", int.class).invoke(null, (short) 21) + " "
                           + sq.getMethod("compareTo", Square.class).invoke(q, new Square(4.0)) + " "
                           + Object.class.getMethod("toString").invoke("as string") + " "
                           + Object.class.getMethod("hashCode").invoke(Integer.valueOf(77)));
        Method hidden = sq.getDeclaredMethod("hidden");
        hidden.setAccessible(true);
        System.out.println("private accessible " + hidden.invoke(q));
        attempt("target throws", new Attempt() { public Object run() throws Throwable { return sq.getMethod("fail", String.class).invoke(q, "boom"); } });
        attempt("static target throws", new Attempt() { public Object run() throws Throwable { return Integer.class.getMethod("parseInt", String.class).invoke(null, "x1"); } });
        attempt("wrong count", new Attempt() { public Object run() throws Throwable { return mix.invoke(q, 1); } });
        attempt("no args", new Attempt() { public Object run() throws Throwable { return area.invoke(q, (Object[]) null); } });
        attempt("type mismatch", new Attempt() { public Object run() throws Throwable { return sq.getMethod("half", float.class).invoke(q, "x"); } });
        attempt("narrowing", new Attempt() { public Object run() throws Throwable { return sq.getMethod("half", float.class).invoke(q, 1.0); } });
        attempt("null primitive", new Attempt() { public Object run() throws Throwable { return sq.getMethod("half", float.class).invoke(q, (Object) null); } });
        attempt("null receiver", new Attempt() { public Object run() throws Throwable { return area.invoke(null); } });
        attempt("wrong receiver", new Attempt() { public Object run() throws Throwable { return area.invoke("s"); } });
        attempt("boolean to int", new Attempt() { public Object run() throws Throwable { return Base.class.getMethod("twice", int.class).invoke(null, true); } });
    }

    static void constructors() throws Exception {
        Constructor<?> one = Square.class.getConstructor(double.class);
        Square q = (Square) one.newInstance(5);
        System.out.println("ctor " + q.side + " " + Square.class.getConstructor().newInstance().getClass().getSimpleName()
                           + " " + one.getName() + " " + one.getDeclaringClass().getSimpleName());
        Constructor<?> named = Square.class.getDeclaredConstructor(String.class);
        named.setAccessible(true);
        System.out.println("private ctor accessible " + ((Square) named.newInstance("n")).name);
        attempt("ctor throws", new Attempt() { public Object run() throws Throwable { return Thrower.class.getConstructor(int.class).newInstance(-2); } });
        attempt("ctor ok", new Attempt() { public Object run() throws Throwable { return Thrower.class.getConstructor(int.class).newInstance(2).getClass().getSimpleName(); } });
        attempt("abstract", new Attempt() { public Object run() throws Throwable { return Shapeless.class.getConstructor().newInstance(); } });
        attempt("ctor wrong count", new Attempt() { public Object run() throws Throwable { return one.newInstance(); } });
        attempt("ctor mismatch", new Attempt() { public Object run() throws Throwable { return one.newInstance("x"); } });
    }

    static void arrays() throws Exception {
        int[][] grid = (int[][]) Array.newInstance(int.class, 2, 3);
        grid[1][2] = 5;
        System.out.println("grid " + grid.length + "x" + grid[0].length + " " + grid.getClass().getName() + " " + Array.get(grid[1], 2));
        String[][] ss = (String[][]) Array.newInstance(String.class, 1, 0);
        System.out.println("strings " + ss.getClass().getName() + " " + ss[0].length + " " + Array.getLength(ss));
        Object arr = Array.newInstance(long.class, 3);
        Array.setInt(arr, 0, -5);
        Array.set(arr, 1, (byte) 9);
        Array.setChar(arr, 2, 'a');
        System.out.println("longs " + Arrays.toString((long[]) arr) + " " + Array.getFloat(arr, 0) + " " + Array.getDouble(arr, 2));
        double[] ds = {1.5};
        Array.setFloat(ds, 0, 0.1f);
        System.out.println("doubles " + ds[0] + " " + Array.get(ds, 0));
        Object[] objs = new Number[2];
        Array.set(objs, 0, 3);
        System.out.println("objects " + Array.get(objs, 0) + " " + Array.get(objs, 1));
        attempt("get out of range", new Attempt() { public Object run() throws Throwable { return Array.get(new int[2], 5); } });
        attempt("get negative", new Attempt() { public Object run() throws Throwable { return Array.getInt(new int[2], -1); } });
        attempt("not an array", new Attempt() { public Object run() throws Throwable { return Array.get("x", 0); } });
        attempt("get null", new Attempt() { public Object run() throws Throwable { return Array.get(null, 0); } });
        attempt("set mismatch", new Attempt() { public Object run() throws Throwable { Array.set(new int[2], 0, "s"); return null; } });
        attempt("set null primitive", new Attempt() { public Object run() throws Throwable { Array.set(new int[2], 0, null); return null; } });
        attempt("set element mismatch", new Attempt() { public Object run() throws Throwable { Array.set(objs, 1, "s"); return null; } });
        attempt("setInt byte", new Attempt() { public Object run() throws Throwable { Array.setInt(new byte[2], 0, 1); return null; } });
        attempt("getInt long", new Attempt() { public Object run() throws Throwable { return Array.getInt(new long[2], 0); } });
        attempt("negative size", new Attempt() { public Object run() throws Throwable { return Array.newInstance(int.class, -1); } });
        attempt("no dimensions", new Attempt() { public Object run() throws Throwable { return Array.newInstance(int.class, new int[0]); } });
        attempt("negative inner", new Attempt() { public Object run() throws Throwable { return Array.newInstance(int.class, 2, -1); } });
        attempt("void array", new Attempt() { public Object run() throws Throwable { return Array.newInstance(void.class, 2); } });
    }

    public static void main(String[] args) throws Exception {
        classQueries();
        fields();
        methods();
        constructors();
        arrays();
        ReflectAccessCheck.run();
    }
}

// A separate top-level class: the access rules of a class outside the
// members' own (nested classes of one top-level class may use each other's
// private members through reflection in later JVMs, not in this one).
class ReflectAccessCheck {
    static void show(String label, Object value) {
        System.out.println(label + ": " + value);
    }

    static void run() throws Exception {
        ReflectMembers.Square q = new ReflectMembers.Square();
        Field secret = ReflectMembers.Square.class.getDeclaredField("secret");
        Method hidden = ReflectMembers.Square.class.getDeclaredMethod("hidden");
        Constructor<?> named = ReflectMembers.Square.class.getDeclaredConstructor(String.class);
        try {
            show("private field", secret.get(q));
        } catch (IllegalAccessException e) {
            show("private field", e);
        }
        try {
            secret.setInt(q, 1);
        } catch (IllegalAccessException e) {
            show("private field write", e);
        }
        try {
            show("private method", hidden.invoke(q));
        } catch (IllegalAccessException e) {
            show("private method", e);
        }
        try {
            show("private ctor", named.newInstance("x"));
        } catch (IllegalAccessException e) {
            show("private ctor", e);
        }
        show("package field", ReflectMembers.Square.class.getDeclaredField("side").get(q));
        show("protected field same package", ReflectMembers.Base.class.getDeclaredField("tag").get(q));
        secret.setAccessible(true);
        AccessibleObject.setAccessible(new AccessibleObject[] {hidden, named}, true);
        secret.setInt(q, 43);
        show("accessible", secret.get(q) + " " + hidden.invoke(q) + " " + ((ReflectMembers.Square) named.newInstance("y")).name);
    }
}
