// Every kind of call a compiled method makes: static chains, many and wide
// arguments (long, double, float, beyond the three register words),
// virtual and overridden calls, interface calls (one and several
// implementors), private, super and final calls, constructors, calls of
// java.lang.Object methods on objects and arrays, and the math intrinsics.
public class InvokeKinds {
    interface Shape { int area(); }
    interface Named { String name(); }

    static class Square implements Shape, Named {
        final int side;
        Square(int side) { this.side = side; }
        public int area() { return side * side; }
        public String name() { return "square"; }
    }

    static class Rect implements Shape {
        final int w, h;
        Rect(int w, int h) { this.w = w; this.h = h; }
        public int area() { return w * h; }
    }

    static class Base {
        int value() { return 1; }
        int twice() { return 2 * value(); }
        private int secret() { return 40; }
        int callSecret() { return secret() + 2; }
        final int fixed() { return 7; }
        public String toString() { return "Base"; }
    }

    static class Derived extends Base {
        int value() { return 10; }
        int superValue() { return super.value(); }
        public String toString() { return "Derived/" + super.toString(); }
    }

    static int add(int a, int b) { return a + b; }
    static int add3(int a, int b, int c) { return add(add(a, b), c); }
    static int chain(int n) { return add3(n, 1, 2) * 2; }
    static int five(int a, int b, int c, int d, int e) { return a - b + c - d + e * 100; }
    static long lmix(long a, int b, long c) { return a * 1000 + b * 10 + c; }
    static double dmix(int a, double b, float c, long d) { return a + b * 2 + c + d; }
    static float fhalf(float f) { return f / 2; }
    static void sideEffect(int[] box) { box[0] = box[0] + 5; }

    public static void main(String[] args) {
        System.out.println(add(2, 3));
        System.out.println(chain(4));
        System.out.println(five(1, 2, 3, 4, 5));
        System.out.println(lmix(123456789012L, 7, -5L));
        System.out.println(dmix(1, 2.5, 0.25f, 1000000000000L));
        System.out.println(fhalf(3.0f));
        int[] box = {1};
        sideEffect(box);
        System.out.println(box[0]);

        Base b = new Base();
        Base d = new Derived();
        System.out.println(b.value() + " " + d.value());
        System.out.println(b.twice() + " " + d.twice());
        System.out.println(((Derived) d).superValue());
        System.out.println(d.callSecret());
        System.out.println(d.fixed());
        System.out.println(b.toString() + " " + d.toString());

        Shape[] shapes = {new Square(3), new Rect(2, 5), new Square(4)};
        int total = 0;
        for (int i = 0; i < shapes.length; i++)
            total += shapes[i].area();
        System.out.println(total);
        Named n = new Square(1);
        System.out.println(n.name());

        Object o = d;
        System.out.println(o.hashCode() == d.hashCode());
        System.out.println(o.equals(d) + " " + o.equals(b));
        int[] arr = new int[3];
        Object ao = arr;
        System.out.println(ao.equals(arr) + " " + (ao.getClass() == arr.getClass()));
        System.out.println(d.getClass().getName());

        System.out.println(Math.sqrt(16.0) + " " + Math.pow(2.0, 10.0) + " " + Math.max(3.5, 2.5));
        System.out.println(Math.abs(-2.25));
    }
}
