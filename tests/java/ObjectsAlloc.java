// Allocation of objects and arrays: every element type, constant and
// variable lengths (zero, small, past the quick-allocation limit), negative
// lengths, multi-dimensional arrays, and objects whose fields take 364 and
// 368 bytes (either side of the quick-allocation limit).
public class ObjectsAlloc {
    static class Point {
        int x, y;
        Point(int x, int y) { this.x = x; this.y = y; }
    }

    // 91 ints = 364 bytes of fields; one more int passes the limit.
    static class Big91 {
        int a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, b0, b1, b2, b3, b4, b5, b6, b7, b8, b9;
        int c0, c1, c2, c3, c4, c5, c6, c7, c8, c9, d0, d1, d2, d3, d4, d5, d6, d7, d8, d9;
        int e0, e1, e2, e3, e4, e5, e6, e7, e8, e9, f0, f1, f2, f3, f4, f5, f6, f7, f8, f9;
        int g0, g1, g2, g3, g4, g5, g6, g7, g8, g9, h0, h1, h2, h3, h4, h5, h6, h7, h8, h9;
        int i0, i1, i2, i3, i4, i5, i6, i7, i8, i9, j0;
    }
    static class Big92 extends Big91 {
        int extra;
    }

    static int[] ints(int n) { return new int[n]; }
    static Object[] objects(int n) { return new Object[n]; }
    static int[][] grid(int a, int b) { return new int[a][b]; }

    static String describe(Object a) {
        if (a instanceof int[]) return "int[" + ((int[]) a).length + "]";
        if (a instanceof long[]) return "long[" + ((long[]) a).length + "]";
        if (a instanceof double[]) return "double[" + ((double[]) a).length + "]";
        if (a instanceof byte[]) return "byte[" + ((byte[]) a).length + "]";
        if (a instanceof char[]) return "char[" + ((char[]) a).length + "]";
        if (a instanceof short[]) return "short[" + ((short[]) a).length + "]";
        if (a instanceof boolean[]) return "boolean[" + ((boolean[]) a).length + "]";
        if (a instanceof float[]) return "float[" + ((float[]) a).length + "]";
        if (a instanceof String[]) return "String[" + ((String[]) a).length + "]";
        return "?";
    }

    public static void main(String[] args) {
        Point p = new Point(3, 4);
        System.out.println("point " + p.x + "," + p.y);
        Big91 b91 = new Big91();
        b91.j0 = 91;
        Big92 b92 = new Big92();
        b92.extra = 92;
        System.out.println("big " + b91.j0 + " " + b92.extra + " " + b92.a0);

        int[] lengths = {0, 1, 5, 90, 91, 92, 1000};
        for (int n : lengths) {
            int[] a = ints(n);
            long sum = 0;
            for (int i = 0; i < a.length; i++) { a[i] = i; sum += a[i]; }
            System.out.println("ints " + a.length + " sum " + sum);
        }
        Object[] os = objects(3);
        os[1] = p;
        System.out.println("objects " + os.length + " " + (os[0] == null) + " " + (os[1] == p));

        Object[] all = {new int[2], new long[3], new double[4], new byte[5], new char[6],
                        new short[7], new boolean[8], new float[9], new String[10]};
        for (Object a : all) System.out.println(describe(a));

        int[][] g = grid(3, 4);
        g[2][3] = 7;
        System.out.println("grid " + g.length + "x" + g[0].length + " " + g[2][3]);
        long[][][] cube = new long[2][3][4];
        System.out.println("cube " + cube.length + " " + cube[1].length + " " + cube[1][2].length);
        int[][] ragged = new int[2][];
        System.out.println("ragged " + (ragged[0] == null));

        try { ints(-1); System.out.println("no exception"); }
        catch (NegativeArraySizeException e) { System.out.println("NegativeArraySizeException"); }
        try { grid(2, -3); System.out.println("no exception"); }
        catch (NegativeArraySizeException e) { System.out.println("NegativeArraySizeException 2"); }
        try { Object[] x = new String[-5]; System.out.println("no exception " + x.length); }
        catch (NegativeArraySizeException e) { System.out.println("NegativeArraySizeException 3"); }
    }
}
