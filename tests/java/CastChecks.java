// checkcast and instanceof over classes, interfaces and arrays, repeated so
// that every site sees hits and misses of its cache, null operands, and
// failing casts (ClassCastException) and array stores (ArrayStoreException).
public class CastChecks {
    interface Shape { int area(); }
    static class Square implements Shape { int s; Square(int s) { this.s = s; } public int area() { return s * s; } }
    static class Rect implements Shape { public int area() { return 6; } }
    static class Cube extends Square { Cube(int s) { super(s); } }

    static int castArea(Object o) { return ((Shape) o).area(); }
    static boolean isSquare(Object o) { return o instanceof Square; }
    static boolean isShape(Object o) { return o instanceof Shape; }
    static boolean isSquares(Object o) { return o instanceof Square[]; }

    public static void main(String[] args) {
        Object[] things = {new Square(3), new Rect(), new Cube(2), "text", null, new Square[1],
                           new Cube[2], new int[3], new Object(), new Square(5)};
        for (int round = 0; round < 3; round++) {
            StringBuilder sb = new StringBuilder();
            for (Object o : things) {
                sb.append(isSquare(o) ? 'S' : '-');
                sb.append(isShape(o) ? 'H' : '-');
                sb.append(isSquares(o) ? 'A' : '-');
                sb.append(' ');
            }
            System.out.println(sb);
        }
        int total = 0;
        for (Object o : things) {
            try {
                total += castArea(o);
            } catch (ClassCastException e) {
                total += 1000;
            } catch (NullPointerException e) {
                total += 100000;
            }
        }
        System.out.println("total " + total);

        Object n = null;
        String s = (String) n;
        System.out.println("null cast " + (s == null));

        Object[] squares = new Square[2];
        squares[0] = new Cube(1);
        squares[1] = null;
        try {
            squares[1] = new Rect();
            System.out.println("stored");
        } catch (ArrayStoreException e) {
            System.out.println("ArrayStoreException");
        }
        Shape[] shapes = new Shape[3];
        shapes[0] = new Rect();
        shapes[1] = new Cube(4);
        System.out.println("shapes " + shapes[0].area() + " " + shapes[1].area());
        try {
            Object x = "str";
            Integer i = (Integer) x;
            System.out.println("no exception " + i);
        } catch (ClassCastException e) {
            System.out.println("ClassCastException");
        }
    }
}
