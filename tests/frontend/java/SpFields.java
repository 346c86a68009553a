// Fixtures of the member-access translation: field, static, allocation and
// type-check instructions whose constant-pool entries the tests look at
// before (unresolved) and after (resolved, quickened) the interpreter ran.
public class SpFields {
    static int counter;
    static long total;
    static float ratio;
    static double mean;
    static Object shared;
    static final int LIMIT = Integer.parseInt("42");   // final, not a compile-time constant
    static final long BIG = Long.parseLong("7");

    int count;
    long wide;
    float part;
    double whole;
    Object ref;
    final int fixed;

    SpFields() { fixed = 3; }

    static int readStatics() { return counter + (int) total + (int) ratio + (int) mean + (shared == null ? 0 : 1); }
    static void writeStatics(int v) { counter = v; total = v; ratio = v; mean = v; shared = null; }
    static int readLimit() { return LIMIT; }
    static long readBig() { return BIG; }

    int readFields() { return count + (int) wide + (int) part + (int) whole + (ref == null ? 0 : 1) + fixed; }
    void writeFields(int v) { count = v; wide = v; part = v; whole = v; ref = null; }
    static int readOther(SpOther o) { return o.value; }
    static void writeOtherFinal(SpOther o) { o.touch(); }

    static Object makeSmall() { return new SpSmall(); }
    static Object makeWide() { return new SpWide(); }
    static Object makeMixed() { return new SpMixed(); }
    static Object makeArrays() { return new String[2]; }
    static Object makeCube() { return new int[2][3][4]; }
    static Object makeAbstract() { return SpAbstract.make(); }
    static boolean test(Object o) { return o instanceof String; }
    static String cast(Object o) { return (String) o; }
    static int run(int v) {
        writeStatics(v);
        SpFields f = new SpFields();
        f.writeFields(v);
        makeSmall(); makeWide(); makeArrays(); makeCube(); makeAbstract();
        test("x"); cast("y");
        readOther(new SpOther());
        return readStatics() + f.readFields() + readLimit() + (int) readBig();
    }
}

class SpOther {
    int value;
    final int constant = 5;
    void touch() { value++; }
}

class SpSmall {
    int a;
    int b;
}

class SpMixed {
    long w;
    float f;
    double d;
}

class SpWide {
    int a;
    int b;
    Object c;
}

abstract class SpAbstract {
    static SpAbstract make() { return new SpConcrete(); }
    abstract int f();
}

class SpConcrete extends SpAbstract {
    int f() { return 1; }
}
