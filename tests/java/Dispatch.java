// Dispatch and initialisation: virtual overrides over three levels, super
// calls, private methods, interface calls through several interfaces and
// superinterfaces, an abstract class that leaves an interface method to its
// subclass, the triggers of static initialisation and a <clinit> that throws.
public class Dispatch {
    static void p(String s) { System.out.println(s); }

    // ---- virtual dispatch and super calls ----
    static class A {
        int v = 1;
        String name() { return "A"; }
        String who() { return "A.who(" + name() + ")"; }
        private String secret() { return "A.secret"; }
        String callSecret() { return secret(); }
        static String stat() { return "A.stat"; }
        final String fin() { return "A.fin:" + name(); }
        public String toString() { return "A-object"; }
    }

    static class B extends A {
        int v = 2;
        String name() { return "B"; }
        String who() { return "B.who<" + super.who() + ">"; }
        private String secret() { return "B.secret"; }
        String bSecret() { return secret(); }
        static String stat() { return "B.stat"; }
    }

    static class C extends B {
        int v = 3;
        String name() { return "C"; }
        String who() { return "C.who[" + super.who() + "]"; }
        String superName() { return super.name(); }
        public String toString() { return "C-object:" + super.toString(); }
    }

    static void virtuals() {
        A[] objs = {new A(), new B(), new C()};
        for (A a : objs) {
            p(a.getClass().getName() + ": " + a.name() + " " + a.who() + " " + a.callSecret() + " " + a.fin() + " " + a
              + " field " + a.v);
        }
        B b = new C();
        p("via B: " + b.bSecret() + " field " + b.v + " " + ((A) b).v + " " + ((C) b).v);
        p("super.name from C: " + new C().superName());
        p("statics: " + A.stat() + " " + B.stat());
        Object o = new C();
        p("Object ref: " + o.toString() + " equals self " + o.equals(o) + " equals other " + o.equals(new C()));
    }

    // ---- constructors that call overridden methods ----
    static class Base {
        Base() { p("Base() sees " + describe()); }
        String describe() { return "base"; }
    }

    static class Derived extends Base {
        int x = 7;
        String s = "set";
        Derived() {
            super();
            p("Derived() sees " + describe());
        }
        String describe() { return "derived x=" + x + " s=" + s; }
    }

    // ---- interfaces ----
    interface Named { String nm(); }
    interface Counted extends Named { int count(); }
    interface Sized { int size(); }
    interface Both extends Counted, Sized { int both(); }
    interface Extra { int size(); String nm(); }

    static class Impl implements Both, Extra {
        int n;
        Impl(int n) { this.n = n; }
        public String nm() { return "impl" + n; }
        public int count() { return n * 10; }
        public int size() { return n + 100; }
        public int both() { return count() + size(); }
        public int hashCode() { return 4242 + n; }
    }

    static class SubImpl extends Impl implements Named {
        SubImpl() { super(9); }
        public String nm() { return "sub" + n; }
    }

    // An abstract class that does not declare the interface method: calls
    // through the abstract class type go to the miranda slot.
    static abstract class Shape implements Sized, Named {
        public String nm() { return "shape" + size(); }
        abstract double area();
    }

    static class Square extends Shape {
        int side;
        Square(int s) { side = s; }
        public int size() { return side * side; }
        double area() { return side * side; }
    }

    static class Rect extends Shape {
        int w, h;
        Rect(int w, int h) { this.w = w; this.h = h; }
        public int size() { return w * h; }
        double area() { return w * h * 0.5 * 2; }
    }

    static void interfaces() {
        Object[] objs = {new Impl(1), new SubImpl(), new Square(3), new Rect(2, 5)};
        for (Object o : objs) {
            StringBuilder sb = new StringBuilder(o.getClass().getName()).append(':');
            if (o instanceof Named) sb.append(" nm=").append(((Named) o).nm());
            if (o instanceof Counted) sb.append(" count=").append(((Counted) o).count());
            if (o instanceof Sized) sb.append(" size=").append(((Sized) o).size());
            if (o instanceof Both) sb.append(" both=").append(((Both) o).both());
            if (o instanceof Extra) sb.append(" extra=").append(((Extra) o).size()).append('/').append(((Extra) o).nm());
            if (o instanceof Shape) {
                Shape s = (Shape) o;
                sb.append(" shape.size=").append(s.size()).append(" area=").append(s.area()).append(" shape.nm=").append(s.nm());
            }
            p(sb.toString());
        }
        Named n = new SubImpl();
        p("hashCode through interface " + n.hashCode() + " toString class " + n.getClass().getName());
        Both bb = new SubImpl();
        Named asNamed = bb;
        p("superinterface call " + asNamed.nm() + " " + bb.nm());
        // A loop that alternates receivers at one interface call site.
        Sized[] ss = {new Impl(2), new Square(4), new SubImpl(), new Rect(3, 3)};
        int total = 0;
        for (int r = 0; r < 50; r++) {
            for (Sized s : ss) total += s.size();
        }
        p("interface loop total " + total);
        try {
            Object notNamed = "a string";
            ((Named) notNamed).nm();
            p("no exception");
        } catch (ClassCastException e) {
            p("cast to interface: ClassCastException " + e.getMessage());
        }
    }

    // ---- static initialisation ----
    static StringBuilder log = new StringBuilder();

    static int trace(String s) {
        log.append(s).append(' ');
        return 1;
    }

    static void showLog(String step) {
        p(step + ": [" + log.toString().trim() + "]");
        log.setLength(0);
    }

    static class InitA {
        static int x = trace("InitA");
        static void touch() { trace("touch"); }
    }

    static class InitB extends InitA {
        static int y = trace("InitB");
        static int k;
    }

    static class InitConst {
        static final int K = 42;
        static final String S = "constant";
        static { trace("InitConst"); }
    }

    static class InitWrite {
        static int w;
        static { trace("InitWrite"); }
    }

    static class InitNew {
        static { trace("InitNew"); }
        InitNew() { trace("ctor"); }
    }

    static class InitForName {
        static { trace("InitForName"); }
    }

    static class InitArr {
        static { trace("InitArr"); }
    }

    static class InitSelf {
        static int first = second();
        static int later = 5;
        static int second() { return later + 1; }   // reads `later` before it is set
    }

    interface InitIface {
        int CONST = 3;
        Object FIELD = new Object() { { trace("InitIface"); } };
    }

    static class InitImpl implements InitIface {
        static { trace("InitImpl"); }
    }

    static class Bad {
        static int v = boom();
        static int boom() {
            trace("Bad");
            throw new IllegalStateException("bad init");
        }
        static void use() { trace("use"); }
    }

    static void initialisation() throws Exception {
        int k = InitConst.K;
        String s = InitConst.S;
        showLog("constant " + k + " " + s);
        InitB.touch();
        showLog("InitB.touch() declared in InitA");
        InitB.k = 5;
        showLog("InitB.k write");
        InitWrite.w = 1;
        showLog("InitWrite.w write");
        InitArr[] arr = new InitArr[3];
        Class<?> c = InitArr.class;
        showLog("array and class literal " + arr.length + " " + c.getName());
        new InitNew();
        new InitNew();
        showLog("new twice");
        Class<?> fn = Class.forName("Dispatch$InitForName");
        showLog("forName " + fn.getName());
        p("self-referencing init " + InitSelf.first + " " + InitSelf.later);
        new InitImpl();
        showLog("implementing class");
        int ic = InitIface.CONST;
        showLog("interface constant " + ic);
        Object f = InitIface.FIELD;
        showLog("interface field " + (f != null));
        try {
            Bad.use();
            p("no exception");
        } catch (ExceptionInInitializerError e) {
            Throwable cause = e.getCause();
            p("first use: ExceptionInInitializerError, cause " + (cause == null ? "none" : cause.toString()));
        }
        showLog("after first use");
        try {
            int v = Bad.v;
            p("no exception " + v);
        } catch (NoClassDefFoundError e) {
            p("second use: NoClassDefFoundError");
        }
        try {
            Bad.use();
            p("no exception");
        } catch (NoClassDefFoundError e) {
            p("third use: NoClassDefFoundError");
        }
        showLog("after later uses");
    }

    public static void main(String[] args) throws Exception {
        virtuals();
        new Derived();
        interfaces();
        initialisation();
    }
}
