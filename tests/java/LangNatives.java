// The class library's natives seen from Java: System.arraycopy's checks,
// messages and overlap; clone; the Class queries; Double/Float text in both
// directions; raw bits; exact Math results; String.intern; identity hashes;
// the current thread, interrupts, sleep and holdsLock; Enum.valueOf.
// Values whose shortest decimal form older JDKs print with extra digits
// (1.0E23, Float.MIN_NORMAL) are left to the unit tests.
public class LangNatives {
    static void p(String s) { System.out.println(s); }

    static void copy(String what, Object s, int sp, Object d, int dp, int n) {
        try {
            System.arraycopy(s, sp, d, dp, n);
            p(what + " ok");
        } catch (RuntimeException e) {
            p(what + " " + e);
        }
    }

    static String ints(int[] a) {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < a.length; i++) sb.append(i == 0 ? "" : ",").append(a[i]);
        return sb.toString();
    }

    static String objs(Object[] a) {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < a.length; i++) sb.append(i == 0 ? "" : ",").append(a[i]);
        return sb.toString();
    }

    static void arraycopy() {
        int[] i10 = new int[10];
        long[] l10 = new long[10];
        Object[] o10 = new Object[10];
        String[] s10 = new String[10];
        copy("null src", null, 0, i10, 0, 1);
        copy("null dst", i10, 0, null, 0, 1);
        copy("null len 0", null, 0, i10, 0, 0);
        copy("src not array", "x", 0, i10, 0, 1);
        copy("dst not array", i10, 0, "x", 0, 1);
        copy("int to long", i10, 0, l10, 0, 1);
        copy("int to object", i10, 0, o10, 0, 1);
        copy("object to int", o10, 0, i10, 0, 1);
        copy("boolean to byte", new boolean[3], 0, new byte[3], 0, 1);
        copy("src -1", i10, -1, i10, 0, 1);
        copy("dst -2", i10, 0, i10, -2, 1);
        copy("len -3", i10, 0, i10, 0, -3);
        copy("all negative", i10, -1, i10, -2, -3);
        copy("src end", i10, 5, i10, 0, 6);
        copy("dst end", i10, 0, i10, 5, 6);
        copy("object src -1", o10, -1, o10, 0, 1);
        copy("object src end", o10, 5, s10, 0, 6);
        copy("wrapping length", i10, 1, i10, 0, Integer.MAX_VALUE);
        copy("len 0 past end", i10, 11, i10, 0, 0);
        copy("len 0 at end", i10, 10, i10, 10, 0);
        copy("char end", new char[3], 0, new char[2], 0, 3);
        copy("double src -5", new double[3], -5, new double[2], 0, 3);

        int[] a = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        System.arraycopy(a, 0, a, 2, 6);
        p("overlap up " + ints(a));
        int[] b = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        System.arraycopy(b, 3, b, 1, 7);
        p("overlap down " + ints(b));
        Object[] o = {"a", "b", "c", "d", "e"};
        System.arraycopy(o, 0, o, 1, 4);
        p("objects overlap " + objs(o));

        Object[] mixed = {"a", "b", Integer.valueOf(3), "d"};
        String[] into = new String[4];
        copy("element mismatch", mixed, 0, into, 0, 4);
        p("copied before it " + objs(into));
        Object[] strings = {"x", null, "z"};
        copy("objects into String[]", strings, 0, into, 1, 3);
        p("after " + objs(into));
        copy("String[] into Object[]", new String[] {"s", "t"}, 0, o10, 8, 2);
        p("tail " + o10[8] + o10[9]);
        copy("Object[][] into int[][]", new Object[][] {new Object[1]}, 0, new int[2][], 0, 1);
        copy("int[][] into Object[]", new int[][] {{1}, {2}}, 0, o10, 0, 2);

        long[] la = {1L << 40, -1L, 7L};
        long[] lb = new long[3];
        System.arraycopy(la, 0, lb, 0, 3);
        double[] da = {0.5, -2.25};
        double[] db = new double[2];
        System.arraycopy(da, 0, db, 0, 2);
        byte[] ba = {1, -2, 3};
        byte[] bb = new byte[3];
        System.arraycopy(ba, 1, bb, 0, 2);
        short[] sa = {-300, 300};
        short[] sb = new short[2];
        System.arraycopy(sa, 0, sb, 0, 2);
        char[] ca = {'h', 'i'};
        char[] cb = new char[2];
        System.arraycopy(ca, 0, cb, 0, 2);
        boolean[] za = {true, false, true};
        boolean[] zb = new boolean[3];
        System.arraycopy(za, 0, zb, 0, 3);
        float[] fa = {1.5f, -0.0f};
        float[] fb = new float[2];
        System.arraycopy(fa, 0, fb, 0, 2);
        p("kinds " + lb[0] + " " + lb[1] + " " + lb[2] + " " + db[0] + " " + db[1] + " " + bb[0] + " " + bb[1]
          + " " + sb[0] + " " + sb[1] + " " + new String(cb) + " " + zb[0] + zb[1] + zb[2] + " " + fb[0] + " " + fb[1]);
    }

    static class Point implements Cloneable {
        int x, y;
        String tag;
        Point(int x, int y, String tag) { this.x = x; this.y = y; this.tag = tag; }
        Point copy() throws CloneNotSupportedException { return (Point) clone(); }
    }

    static class Plain {
        Object copy() throws CloneNotSupportedException { return clone(); }
    }

    static void cloning() throws Exception {
        int[] a = {1, 2, 3};
        int[] c = a.clone();
        c[0] = 9;
        p("int[] clone " + ints(a) + " / " + ints(c) + " " + (a.getClass() == c.getClass()));
        String[] s = {"p", "q"};
        String[] t = s.clone();
        p("String[] clone " + objs(t) + " " + (s != t) + " " + (s[0] == t[0]) + " " + t.getClass().getName());
        int[][] m = {{1}, {2, 3}};
        int[][] n = m.clone();
        p("int[][] clone shares rows " + (m[1] == n[1]) + " " + n.getClass().getName());
        double[] d = {1.25, -0.0};
        p("double[] clone " + d.clone()[0] + " " + d.clone()[1]);
        Point pt = new Point(3, 4, "pt");
        Point q = pt.copy();
        p("object clone " + q.x + " " + q.y + " " + q.tag + " " + (q != pt) + " " + (q.getClass() == Point.class));
        try {
            new Plain().copy();
            p("Plain cloned");
        } catch (CloneNotSupportedException e) {
            p("Plain " + e);
        }
    }

    interface Shape {}
    static abstract class Base implements Shape {}
    public static final class Leaf extends Base {
        public Leaf() {}
        public String toString() { return "Leaf"; }
    }
    static class Secret {
        private Secret() {}
    }

    static void classes() throws Exception {
        Class<?>[] cs = {String.class, int.class, void.class, int[].class, String[][].class, Shape.class, Leaf.class,
                         Object.class, Runnable.class};
        for (Class<?> c : cs) {
            Class<?> sup = c.getSuperclass();
            Class<?> comp = c.getComponentType();
            p(c.getName() + " array=" + c.isArray() + " primitive=" + c.isPrimitive() + " interface=" + c.isInterface()
              + " super=" + (sup == null ? "null" : sup.getName()) + " component=" + (comp == null ? "null" : comp.getName()));
        }
        p("library loader " + String.class.getClassLoader() + " " + int[].class.getClassLoader());
        p("modifiers String " + String.class.getModifiers() + " Runnable " + Runnable.class.getModifiers()
          + " int " + int.class.getModifiers() + " int[] " + int[].class.getModifiers());
        p("isInstance " + String.class.isInstance("s") + " " + String.class.isInstance(null) + " "
          + Object.class.isInstance(new int[0]) + " " + Shape.class.isInstance(new Leaf()) + " "
          + Cloneable.class.isInstance(new int[1]) + " " + Object[].class.isInstance(new String[0]));
        p("isAssignableFrom " + Object.class.isAssignableFrom(String.class) + " " + String.class.isAssignableFrom(Object.class)
          + " " + Shape.class.isAssignableFrom(Leaf.class) + " " + int.class.isAssignableFrom(int.class) + " "
          + Object.class.isAssignableFrom(int.class) + " " + Object[].class.isAssignableFrom(String[][].class) + " "
          + java.io.Serializable.class.isAssignableFrom(int[].class));
        try {
            Object.class.isAssignableFrom(null);
        } catch (NullPointerException e) {
            p("isAssignableFrom(null) NullPointerException");
        }
        p("getClass " + "s".getClass().getName() + " " + new int[0][0].getClass().getName() + " " + (new Leaf().getClass() == Leaf.class));
        p("getName cached " + (String.class.getName() == String.class.getName()));
        p("forName " + Class.forName("java.lang.String").getName() + " " + Class.forName("[Ljava.lang.String;").getName()
          + " " + Class.forName("[I").getName() + " " + Class.forName("LangNatives$Leaf").getName());
        String[] bad = {"NoSuchClassAnywhere", "java/lang/String", "int", "", "java.lang.NoSuch"};
        for (String name : bad) {
            try {
                Class.forName(name);
                p("forName " + name + " found");
            } catch (ClassNotFoundException e) {
                p("forName \"" + name + "\" " + e);
            }
        }
        p("newInstance " + Leaf.class.newInstance() + " " + Class.forName("java.lang.StringBuilder").newInstance().getClass().getName());
        Class<?>[] nope = {Shape.class, Base.class, int[].class, Integer.class};
        for (Class<?> c : nope) {
            try {
                c.newInstance();
                p("newInstance " + c.getName() + " made one");
            } catch (InstantiationException e) {
                p("newInstance " + c.getName() + " InstantiationException");
            }
        }
    }

    static void text() {
        double[] ds = {0.1, 1.0, -1.0, 100.0, 1.0E10, 1.0E-5, 1234567.0, 9999999.0, 1.0E7, 0.001, 9.999999E-4, 123.456,
                       -0.0, 0.0, Double.NaN, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY, Double.MAX_VALUE,
                       Double.MIN_VALUE, Double.MIN_NORMAL, 2 / 3.0, 1 / 3.0, 0.1 + 0.2, 100 / 3.0, 9.223372036854776E18,
                       12345678.0, 0.5, 1e-3, 1e21, 4.35, -7.0E-10};
        StringBuilder sb = new StringBuilder();
        for (double d : ds) sb.append(Double.toString(d)).append(' ');
        p("double " + sb);
        float[] fs = {0.1f, 1.0f, 100.0f, 1.0E10f, 1.0E-5f, 9999999.0f, 1.0E7f, 1.6777216E7f, 0.001f, 1 / 3.0f, 2 / 3.0f,
                      -0.0f, Float.NaN, Float.POSITIVE_INFINITY, Float.NEGATIVE_INFINITY, Float.MIN_VALUE, Float.MAX_VALUE,
                      3.14159f, 1.1f * 1.1f};
        sb.setLength(0);
        for (float f : fs) sb.append(Float.toString(f)).append(' ');
        p("float " + sb);
        p("concat " + 2.5 + " " + 1e-4 + " " + 7f + " " + (1 / 3.0f));

        String[] inputs = {"1.", ".5", "+.5e-3", "-0", "NaN", "-NaN", "+Infinity", "-Infinity", "1e5f", "1e5d", "1D",
                           "\t12.5\n", "1.5e400", "1e-400", "  -1.0E-5D  ", "99999999", "0x1.8p1", "3.4028236e38",
                           "", "   ", " 1e ", "1.0x", ".", "Infinityf", "infinity", "1f5", "0x1p", "1_0", "- 1", "1.2.3", "..", "1.2e3.4"};
        for (String s : inputs) {
            String shown = s.replace("\t", "\\t").replace("\n", "\\n");
            String r;
            try {
                r = Double.parseDouble(s) + " / ";
            } catch (NumberFormatException e) {
                r = e.getMessage() + " / ";
            }
            try {
                r += Float.parseFloat(s);
            } catch (NumberFormatException e) {
                r += e.getMessage();
            }
            p("parse \"" + shown + "\" " + r);
        }
        try {
            Double.parseDouble(null);
        } catch (NullPointerException e) {
            p("parseDouble(null) NullPointerException");
        }
        p("valueOf " + Double.valueOf("2.5") + " " + Float.valueOf("-1e3"));
    }

    static void bits() {
        p("double bits " + Double.doubleToRawLongBits(1.0) + " " + Double.doubleToRawLongBits(-0.0) + " "
          + Double.doubleToRawLongBits(Double.MIN_VALUE) + " " + Double.doubleToRawLongBits(Double.NaN));
        p("long to double " + Double.longBitsToDouble(0x400921FB54442D18L) + " " + Double.longBitsToDouble(0x8000000000000000L)
          + " " + Double.longBitsToDouble(0x7FF0000000000000L) + " " + Double.longBitsToDouble(1L));
        p("float bits " + Float.floatToRawIntBits(1.0f) + " " + Float.floatToRawIntBits(-2.5f) + " "
          + Float.floatToRawIntBits(Float.MIN_VALUE) + " " + Float.floatToRawIntBits(Float.NaN));
        p("int to float " + Float.intBitsToFloat(0x40490FDB) + " " + Float.intBitsToFloat(0x80000000) + " "
          + Float.intBitsToFloat(0xFF800000) + " " + Float.intBitsToFloat(1));
        long[] roundTrip = {0x123456789ABCDEFL, 0x7FEFFFFFFFFFFFFFL, 0x0008000000000000L};
        for (long l : roundTrip) p("round trip " + (Double.doubleToRawLongBits(Double.longBitsToDouble(l)) == l));
    }

    static void math() {
        p("sqrt " + Math.sqrt(2.0) + " " + Math.sqrt(-1.0) + " " + Math.sqrt(-0.0) + " " + StrictMath.sqrt(16.0));
        p("pow " + Math.pow(2, 10) + " " + Math.pow(2, 0.5) + " " + Math.pow(1, Double.NaN) + " " + Math.pow(Double.NaN, 0)
          + " " + Math.pow(-1, Double.POSITIVE_INFINITY) + " " + Math.pow(-0.0, -3) + " " + Math.pow(10, -2));
        double[] r = {2.5, 3.5, -2.5, -0.5, 0.5, -0.3, 1.5, 1e300, -0.0, 4503599627370495.5};
        StringBuilder sb = new StringBuilder();
        for (double d : r) sb.append(Math.rint(d)).append('/').append(Math.floor(d)).append('/').append(Math.ceil(d)).append(' ');
        p("rint/floor/ceil " + sb);
        p("remainder " + Math.IEEEremainder(5.5, 2) + " " + Math.IEEEremainder(3, 2) + " " + Math.IEEEremainder(-7, 4)
          + " mod " + (5.5 % 2) + " " + (-5.5 % 2) + " " + (5.0 % Double.POSITIVE_INFINITY));
        p("exact " + Math.sin(0.0) + " " + Math.cos(0.0) + " " + Math.tan(-0.0) + " " + Math.exp(0.0) + " " + Math.log(1.0)
          + " " + Math.log10(1000.0) + " " + Math.cbrt(-27.0) + " " + Math.atan2(0.0, -1.0) + " " + Math.atan2(-0.0, 1.0)
          + " " + Math.asin(1.0) + " " + Math.acos(1.0) + " " + Math.sinh(0.0) + " " + Math.cosh(0.0) + " " + Math.tanh(-0.0));
        p("special " + Math.log(0.0) + " " + Math.log(-1.0) + " " + Math.sin(Double.POSITIVE_INFINITY) + " "
          + Math.exp(Double.NEGATIVE_INFINITY) + " " + Math.tanh(Double.POSITIVE_INFINITY));
        p("close " + (Math.abs(Math.sin(Math.PI / 6) - 0.5) < 1e-15) + " " + (Math.abs(Math.exp(1.0) - Math.E) < 1e-15)
          + " " + (Math.abs(Math.atan(1.0) * 4 - Math.PI) < 1e-15) + " " + (StrictMath.cos(1.0) == Math.cos(1.0)));
    }

    enum Color { RED, GREEN, BLUE }

    static void misc() throws Exception {
        String a = new String(new char[] {'h', 'e', 'y'});
        String b = "hey";
        p("intern " + (a == b) + " " + (a.intern() == b) + " " + (a.intern() == a.intern()));
        Object o = new Object();
        p("identityHashCode " + (System.identityHashCode(o) == o.hashCode()) + " " + System.identityHashCode(null) + " "
          + (System.identityHashCode(o) == System.identityHashCode(o)));
        long t0 = System.currentTimeMillis();
        long n0 = System.nanoTime();
        Thread.sleep(20);
        long n1 = System.nanoTime();
        p("time " + (t0 > 1000000000000L) + " " + (n1 - n0 >= 15000000L));
        Runtime rt = Runtime.getRuntime();
        p("runtime " + (rt.availableProcessors() > 0) + " " + (rt.freeMemory() <= rt.totalMemory()) + " "
          + (rt.totalMemory() <= rt.maxMemory()));
        p("properties " + System.getProperty("line.separator").length() + " " + System.getProperty("file.separator")
          + " " + (System.getProperty("user.dir") != null) + " " + System.getProperty("no.such.property", "dflt"));

        Thread me = Thread.currentThread();
        p("thread " + me.getName() + " alive " + me.isAlive() + " same " + (me == Thread.currentThread()));
        p("holdsLock " + Thread.holdsLock(o));
        synchronized (o) {
            p("holdsLock inside " + Thread.holdsLock(o));
            o.wait(1);
            o.notify();
            o.notifyAll();
        }
        try {
            o.notify();
        } catch (IllegalMonitorStateException e) {
            p("notify outside IllegalMonitorStateException");
        }
        me.interrupt();
        p("interrupted " + me.isInterrupted() + " " + Thread.interrupted() + " " + Thread.interrupted());
        me.interrupt();
        try {
            Thread.sleep(1000);
            p("slept");
        } catch (InterruptedException e) {
            p("sleep " + e + " flag " + me.isInterrupted());
        }
        try {
            Thread.sleep(-1);
        } catch (IllegalArgumentException e) {
            p("sleep(-1) " + e.getMessage());
        }
        final int[] box = new int[1];
        Thread t = new Thread(new Runnable() {
            public void run() { box[0] = 42; }
        });
        p("before start alive " + t.isAlive() + " interrupted " + t.isInterrupted());
        t.start();
        t.join();
        p("joined " + box[0] + " alive " + t.isAlive());
        try {
            t.start();
        } catch (IllegalThreadStateException e) {
            p("second start IllegalThreadStateException");
        }
        Thread.yield();

        p("enum " + Color.valueOf("GREEN").ordinal() + " " + Enum.valueOf(Color.class, "BLUE") + " " + Color.values().length);
        try {
            Color.valueOf("PINK");
        } catch (IllegalArgumentException e) {
            p("enum " + e.getMessage());
        }
        Exception e = new Exception("here");
        p("fillInStackTrace " + (e.fillInStackTrace() == e));
    }

    public static void main(String[] args) throws Exception {
        arraycopy();
        cloning();
        classes();
        text();
        bits();
        math();
        misc();
    }
}
