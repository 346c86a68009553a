// System.arraycopy calls whose arrays come from locals: fresh arrays of
// every element type, parameters, fields and call results, reference arrays,
// copies within one array (positions 0 and 10 with lengths 5 and 20, both
// directions), a length above 65535, and every failure: negative or too
// large positions and lengths, null arrays, arrays of different types.
// The copying methods hold no handler; the callers catch and print the
// exception class only.  Every case runs often enough to be compiled.
public class ArrayCopyInline {
    static int[] field = new int[30];
    static String[] names = {"a", "b", "c", "d"};
    static int[] bigSource = new int[70000];
    static int[] bigMiddle = new int[70000];
    static int[] bigTarget = new int[70000];

    static int[] made(int n) {
        int[] a = new int[n];
        for (int i = 0; i < n; i++) a[i] = i * 3 + 1;
        return a;
    }

    static long sum(int[] a) { long s = 0; for (int i = 0; i < a.length; i++) s = s * 31 + a[i]; return s; }

    // Two fresh int arrays: no overlap.
    static long fresh(int n) {
        int[] a = made(n);
        int[] b = new int[n];
        int[] c = new int[n];
        for (int i = 0; i < n; i++) c[i] = a[i];
        System.arraycopy(c, 0, b, 0, n);
        return sum(b);
    }

    // Within one array with constant positions: 0 -> 10 for 5 elements never
    // meets, for 20 elements it does (the copy must go backwards).
    static long within(int which) {
        int[] a = new int[40];
        for (int i = 0; i < 40; i++) a[i] = i;
        if (which == 0)
            System.arraycopy(a, 0, a, 10, 5);
        else if (which == 1)
            System.arraycopy(a, 0, a, 10, 20);
        else if (which == 2)
            System.arraycopy(a, 10, a, 0, 20);
        else
            System.arraycopy(a, 5, a, 6, 30);
        return sum(a);
    }

    // Variable positions within one array.
    static long withinVar(int s, int d, int n) {
        int[] a = new int[40];
        for (int i = 0; i < 40; i++) a[i] = i + 100;
        System.arraycopy(a, s, a, d, n);
        return sum(a);
    }

    // A char[] source and an int[] destination: ArrayStoreException.
    static void charToInt() {
        char[] c = new char[4];
        int[] i = new int[4];
        System.arraycopy(c, 0, i, 0, 4);
    }

    // Parameters, and the parameter into a fresh array and back.
    static long params(int[] src, int[] dst, int n) {
        System.arraycopy(src, 1, dst, 0, n);
        int[] copy = new int[src.length];
        System.arraycopy(src, 0, copy, 0, src.length);
        System.arraycopy(copy, 0, src, 0, n);
        return sum(dst) * 7 + sum(copy);
    }

    long instanceParams(long[] src, int n) {
        long[] d = new long[n + 2];
        System.arraycopy(src, 0, d, 2, n);
        long s = 0;
        for (int i = 0; i < d.length; i++) s = s * 17 + d[i];
        return s;
    }

    static int[] source() { return field; }

    // A field and a call's result.
    static long fieldAndCall(int n) {
        int[] f = field;
        int[] dst = new int[n];
        System.arraycopy(f, 3, dst, 0, n);
        int[] g = source();
        System.arraycopy(g, 0, dst, 1, n - 1);
        return sum(dst);
    }

    // Every element type.
    static long types(int n) {
        long s = 0;
        byte[] b1 = new byte[n], b2 = new byte[n];
        short[] s1 = new short[n], s2 = new short[n];
        char[] c1 = new char[n], c2 = new char[n];
        boolean[] z1 = new boolean[n], z2 = new boolean[n];
        float[] f1 = new float[n], f2 = new float[n];
        double[] d1 = new double[n], d2 = new double[n];
        long[] l1 = new long[n], l2 = new long[n];
        for (int i = 0; i < n; i++) {
            b1[i] = (byte) (i * 37);
            s1[i] = (short) (i * 3001);
            c1[i] = (char) ('A' + i);
            z1[i] = (i & 1) == 0;
            f1[i] = i * 0.5f;
            d1[i] = i * 0.25;
            l1[i] = (long) i << 40 | i;
        }
        System.arraycopy(b1, 1, b2, 0, n - 1);
        System.arraycopy(s1, 1, s2, 0, n - 1);
        System.arraycopy(c1, 1, c2, 0, n - 1);
        System.arraycopy(z1, 1, z2, 0, n - 1);
        System.arraycopy(f1, 1, f2, 0, n - 1);
        System.arraycopy(d1, 1, d2, 0, n - 1);
        System.arraycopy(l1, 1, l2, 0, n - 1);
        for (int i = 0; i < n; i++)
            s = s * 31 + b2[i] + s2[i] + c2[i] + (z2[i] ? 1 : 0) + (long) f2[i] * 2 + (long) (d2[i] * 4) + l2[i];
        return s;
    }

    // Arrays of references: into a fresh String[] from a field, a parameter
    // and a fresh array; within one Object[].
    static String refs(String[] p, int n) {
        String[] d = new String[n];
        String[] f = names;
        System.arraycopy(f, 0, d, 0, n);
        String[] e = new String[n + 1];
        System.arraycopy(p, 0, e, 1, n);
        String[] g = new String[n];
        System.arraycopy(e, 1, g, 0, n);
        Object[] o = new Object[6];
        for (int i = 0; i < 6; i++) o[i] = "o" + i;
        System.arraycopy(o, 0, o, 1, 5);
        StringBuffer sb = new StringBuffer();
        for (int i = 0; i < n; i++) sb.append(d[i]).append(g[i]);
        for (int i = 0; i < 6; i++) sb.append(o[i]);
        return sb.toString();
    }

    // An Object[] whose elements do not fit a String[] destination.
    static void objectsIntoStrings(int n) {
        Object[] o = new Object[n];
        for (int i = 0; i < n; i++) o[i] = new Integer(i);
        String[] s = new String[n];
        System.arraycopy(o, 0, s, 0, n);
    }

    // A length above what a small constant holds.
    static long big() {
        int[] d = bigMiddle;
        int[] s = bigSource;
        System.arraycopy(s, 0, d, 0, 70000);
        int[] e = bigTarget;
        System.arraycopy(d, 1, e, 0, 69999);
        System.arraycopy(bigSource, 2, bigMiddle, 0, 69998);
        e[0] += d[0];
        return (long) e[69998] * 70001 + e[12345] + e[0];
    }

    // The failures, with positions and lengths in locals or constants.
    static void failing(int which, int v) {
        int[] a = new int[10];
        int[] b = new int[10];
        int[] none = null;
        switch (which) {
        case 0: System.arraycopy(a, v, b, 0, 1); break;
        case 1: System.arraycopy(a, 0, b, v, 1); break;
        case 2: System.arraycopy(a, 0, b, 0, v); break;
        case 3: System.arraycopy(a, -1, b, 0, 1); break;
        case 4: System.arraycopy(a, 0, b, 0, -1); break;
        case 5: System.arraycopy(a, 5, b, 0, 6); break;
        case 6: System.arraycopy(a, 0, b, 9, 2); break;
        case 7: System.arraycopy(a, 11, b, 0, 0); break;
        case 8: System.arraycopy(none, 0, b, 0, 1); break;
        case 9: System.arraycopy(a, 0, none, 0, 1); break;
        case 10: System.arraycopy(a, v, b, v, 0x7fffffff); break;
        case 11: System.arraycopy(a, 10, b, 10, 0); break;
        default: System.arraycopy(a, 0, b, 0, v); break;
        }
    }

    static String run(int which, int v) {
        try {
            failing(which, v);
            return "ok";
        } catch (Throwable t) {
            return t.getClass().getName();
        }
    }

    static String runCharToInt() {
        try {
            charToInt();
            return "ok";
        } catch (Throwable t) {
            return t.getClass().getName();
        }
    }

    static String runObjects() {
        try {
            objectsIntoStrings(3);
            return "ok";
        } catch (Throwable t) {
            return t.getClass().getName();
        }
    }

    public static void main(String[] args) {
        for (int i = 0; i < field.length; i++) field[i] = i * i;
        for (int i = 0; i < bigSource.length; i++) bigSource[i] = i ^ 0x5555;
        ArrayCopyInline self = new ArrayCopyInline();
        long[] longs = {1, 2, 3, 4, 5};
        String out = null;
        for (int round = 0; round < 2100; round++) {
            StringBuffer sb = new StringBuffer();
            sb.append("fresh ").append(fresh(9)).append('\n');
            for (int w = 0; w < 4; w++)
                sb.append("within ").append(w).append(' ').append(within(w)).append('\n');
            sb.append("withinVar ").append(withinVar(0, 10, 20)).append(' ').append(withinVar(10, 0, 20))
              .append(' ').append(withinVar(3, 3, 30)).append('\n');
            sb.append("charToInt ").append(runCharToInt()).append('\n');
            int[] p = made(8);
            int[] q = new int[8];
            sb.append("params ").append(params(p, q, 5)).append(' ').append(sum(p)).append('\n');
            sb.append("instance ").append(self.instanceParams(longs, 5)).append('\n');
            sb.append("fieldAndCall ").append(fieldAndCall(12)).append('\n');
            sb.append("types ").append(types(9)).append('\n');
            sb.append("refs ").append(refs(names, 3)).append('\n');
            sb.append("objectsIntoStrings ").append(runObjects()).append('\n');
            sb.append("big ").append(big()).append('\n');
            // The failures are slow to raise while interpreted: often enough
            // to be compiled, then once more at the end.
            if (round < 40 || round == 2099) {
                int[] values = {-1, 0, 10, 11, -2147483648, 2147483647, 5};
                for (int w = 0; w <= 12; w++)
                    for (int k = 0; k < values.length; k++)
                        sb.append(run(w, values[k])).append(k + 1 < values.length ? " " : "\n");
            }
            String s = sb.toString();
            if (out == null) {
                out = s;
            } else if (!s.equals(out) && (round < 40 || round == 2099 || !out.startsWith(s))) {
                System.out.println("round " + round + " differs:\n" + s);
                break;
            }
        }
        System.out.print(out);
    }
}
