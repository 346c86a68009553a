// Arrays: multi-dimensional arrays with a zero dimension, covariance in
// instanceof and checkcast, ArrayStoreException, clone of primitive and
// reference arrays, System.arraycopy overlapping both ways and every error
// case, and the default values and bounds of each element type.
public class ArrayOps {
    static void p(String s) { System.out.println(s); }

    static String ints(int[] a) {
        StringBuilder sb = new StringBuilder("[");
        for (int i = 0; i < a.length; i++) {
            if (i > 0) sb.append(',');
            sb.append(a[i]);
        }
        return sb.append(']').toString();
    }

    static String objs(Object[] a) {
        StringBuilder sb = new StringBuilder("[");
        for (int i = 0; i < a.length; i++) {
            if (i > 0) sb.append(',');
            sb.append(a[i]);
        }
        return sb.append(']').toString();
    }

    static void multi() {
        int[][] m = new int[3][4];
        m[2][3] = 7;
        p("int[3][4] " + m.length + " " + m[0].length + " " + m[2][3] + " " + m.getClass().getName() + " "
          + m[0].getClass().getName());
        int[][][] z = new int[2][0][5];
        p("int[2][0][5] " + z.length + " " + z[1].length + " " + z.getClass().getName());
        int[][] partial = new int[2][];
        p("int[2][] " + (partial[0] == null) + " " + (partial[1] == null));
        long[][] l = new long[0][3];
        p("long[0][3] " + l.length);
        String[][] s = new String[2][2];
        s[1][0] = "x";
        p("String[2][2] " + s[1][0] + s[1][1] + " " + s.getClass().getName() + " " + s[0].getClass().getName());
        Object[][][] deep = new Object[1][2][3];
        deep[0][1][2] = deep;
        p("deep " + (deep[0][1][2] == deep) + " " + deep[0][1].length);
        int[][] ragged = {{1}, {2, 3}, {}, {4, 5, 6}};
        int sum = 0;
        for (int[] row : ragged) for (int x : row) sum += x;
        p("ragged sum " + sum + " lengths " + ragged[0].length + ragged[1].length + ragged[2].length + ragged[3].length);
        try {
            int[][] bad = new int[2][-1];
            p("no exception " + bad.length);
        } catch (NegativeArraySizeException e) {
            p("new int[2][-1]: NegativeArraySizeException");
        }
        try {
            int[][] bad = new int[-3][0];
            p("no exception " + bad.length);
        } catch (NegativeArraySizeException e) {
            p("new int[-3][0]: NegativeArraySizeException");
        }
        try {
            int[] bad = new int[-1];
            p("no exception " + bad.length);
        } catch (NegativeArraySizeException e) {
            p("new int[-1]: NegativeArraySizeException");
        }
        try {
            String[] bad = new String[-1];
            p("no exception " + bad.length);
        } catch (NegativeArraySizeException e) {
            p("new String[-1]: NegativeArraySizeException");
        }
    }

    static void covariance() {
        Object o1 = new String[2];
        Object o2 = new int[2];
        Object o3 = new Integer[1][1];
        Object o4 = new Object[0];
        p("String[] instanceof Object[] " + (o1 instanceof Object[]) + " String[] " + (o1 instanceof String[])
          + " Comparable[] " + (o1 instanceof Comparable[]) + " Integer[] " + (o1 instanceof Integer[]));
        p("int[] instanceof Object[] " + (o2 instanceof Object[]) + " int[] " + (o2 instanceof int[])
          + " long[] " + (o2 instanceof long[]) + " Object " + (o2 instanceof Object) + " Cloneable " + (o2 instanceof Cloneable)
          + " Serializable " + (o2 instanceof java.io.Serializable));
        p("Integer[][] instanceof Object[] " + (o3 instanceof Object[]) + " Object[][] " + (o3 instanceof Object[][])
          + " Number[][] " + (o3 instanceof Number[][]) + " Number[] " + (o3 instanceof Number[]));
        p("Object[] instanceof String[] " + (o4 instanceof String[]));
        Object[] asObjs = (Object[]) o1;
        Comparable[] asCmp = (Comparable[]) o1;
        p("casts ok " + asObjs.length + " " + asCmp.length);
        try {
            String[] bad = (String[]) o4;
            p("no exception " + bad.length);
        } catch (ClassCastException e) {
            p("(String[]) Object[]: ClassCastException " + e.getMessage());
        }
        try {
            Object[] bad = (Object[]) o2;
            p("no exception " + bad.length);
        } catch (ClassCastException e) {
            p("(Object[]) int[]: ClassCastException " + e.getMessage());
        }
        try {
            Integer bad = (Integer) o4;
            p("no exception " + bad);
        } catch (ClassCastException e) {
            p("(Integer) Object[]: ClassCastException " + e.getMessage());
        }
        Object nul = null;
        String[] ns = (String[]) nul;
        p("null casts fine " + (ns == null) + " null instanceof " + (nul instanceof Object[]));
    }

    static void stores() {
        Object[] arr = new String[3];
        arr[0] = "ok";
        arr[1] = null;
        try {
            arr[2] = Integer.valueOf(1);
            p("no exception");
        } catch (ArrayStoreException e) {
            p("Integer into String[]: ArrayStoreException");
        }
        p("after failed store " + objs(arr));
        Number[] nums = new Integer[2];
        try {
            nums[0] = Long.valueOf(5);
            p("no exception");
        } catch (ArrayStoreException e) {
            p("Long into Integer[]: ArrayStoreException");
        }
        Object[][] grid = new String[2][];
        try {
            grid[0] = new Integer[1];
            p("no exception");
        } catch (ArrayStoreException e) {
            p("Integer[] into String[][]: ArrayStoreException");
        }
        grid[1] = new String[] {"a"};
        Comparable[] cmp = new Comparable[2];
        cmp[0] = "str";
        cmp[1] = Integer.valueOf(3);
        p("Comparable[] holds both " + objs(cmp));
        Object[] any = new Object[2];
        any[0] = new int[1];
        any[1] = any;
        p("Object[] holds arrays " + (any[1] == any));
        Cloneable[] cl = new Cloneable[1];
        cl[0] = new int[2];
        p("int[] into Cloneable[] ok");
    }

    static void clones() {
        int[] a = {1, 2, 3};
        int[] b = a.clone();
        b[0] = 99;
        p("int clone " + ints(a) + " " + ints(b) + " same " + (a == b));
        String[] s = {"x", "y"};
        String[] t = s.clone();
        p("String clone " + objs(t) + " same " + (s == t) + " elements shared " + (s[0] == t[0]) + " class "
          + t.getClass().getName());
        int[][] m = {{1, 2}, {3}};
        int[][] mc = m.clone();
        mc[0][0] = 50;
        p("shallow 2-d clone " + m[0][0] + " rows shared " + (m[0] == mc[0]));
        double[] d = {0.5, -1.0};
        double[] dc = d.clone();
        p("double clone " + dc[0] + " " + dc[1] + " " + dc.length);
        long[] e = new long[0];
        p("empty clone " + e.clone().length);
        char[] ch = "clone".toCharArray();
        p("char clone " + new String(ch.clone()));
        Object[] asObj = s;
        Object[] oc = asObj.clone();
        p("clone via Object[] keeps class " + oc.getClass().getName());
        try {
            oc[0] = Integer.valueOf(1);
            p("no exception");
        } catch (ArrayStoreException ex) {
            p("store into cloned String[]: ArrayStoreException");
        }
    }

    static void arraycopy() {
        int[] a = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        System.arraycopy(a, 0, a, 2, 6);
        p("overlap forward " + ints(a));
        int[] b = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        System.arraycopy(b, 3, b, 1, 6);
        p("overlap backward " + ints(b));
        char[] c = "abcdefgh".toCharArray();
        System.arraycopy(c, 0, c, 1, 7);
        p("char overlap " + new String(c));
        byte[] by = {1, 2, 3, 4, 5};
        System.arraycopy(by, 1, by, 0, 4);
        p("byte overlap " + by[0] + by[1] + by[2] + by[3] + by[4]);
        long[] l = {1L, 2L, 3L, 4L};
        System.arraycopy(l, 0, l, 1, 3);
        p("long overlap " + l[0] + l[1] + l[2] + l[3]);
        double[] d = {1.5, 2.5, 3.5};
        double[] d2 = new double[5];
        System.arraycopy(d, 0, d2, 2, 3);
        p("double copy " + d2[0] + " " + d2[2] + " " + d2[4]);
        Object[] objs = {"a", "b", "c", "d"};
        System.arraycopy(objs, 0, objs, 1, 3);
        p("Object overlap " + objs(objs));
        String[] strs = new String[4];
        Object[] src = {"p", "q", "r"};
        System.arraycopy(src, 0, strs, 0, 3);
        p("Object[] of strings into String[] " + objs(strs));
        System.arraycopy(a, 10, a, 0, 0);
        System.arraycopy(a, 0, a, 10, 0);
        p("zero-length at the end ok");

        Object[] mixed = {"s", "t", Integer.valueOf(7), "u"};
        String[] dst = {"0", "1", "2", "3"};
        try {
            System.arraycopy(mixed, 0, dst, 0, 4);
            p("no exception");
        } catch (ArrayStoreException e) {
            p("incompatible element: ArrayStoreException, copied before it " + objs(dst));
        }

        String[] names = {"null src", "null dst", "int[] to long[]", "int[] to Object[]", "Object[] to int[]",
                          "String to int[]", "int[] to String", "srcPos -1", "dstPos -1", "length -1",
                          "src end past", "dst end past", "srcPos past length", "huge length"};
        int[] ten = new int[10];
        for (int i = 0; i < names.length; i++) {
            try {
                switch (i) {
                    case 0: System.arraycopy(null, 0, ten, 0, 1); break;
                    case 1: System.arraycopy(ten, 0, null, 0, 1); break;
                    case 2: System.arraycopy(ten, 0, new long[10], 0, 1); break;
                    case 3: System.arraycopy(ten, 0, new Object[10], 0, 1); break;
                    case 4: System.arraycopy(new Object[10], 0, ten, 0, 1); break;
                    case 5: System.arraycopy("string", 0, ten, 0, 1); break;
                    case 6: System.arraycopy(ten, 0, "string", 0, 1); break;
                    case 7: System.arraycopy(ten, -1, ten, 0, 1); break;
                    case 8: System.arraycopy(ten, 0, ten, -1, 1); break;
                    case 9: System.arraycopy(ten, 0, ten, 0, -1); break;
                    case 10: System.arraycopy(ten, 5, ten, 0, 6); break;
                    case 11: System.arraycopy(ten, 0, ten, 5, 6); break;
                    case 12: System.arraycopy(ten, 11, ten, 0, 0); break;
                    case 13: System.arraycopy(ten, 1, ten, 0, Integer.MAX_VALUE); break;
                }
                p(names[i] + ": no exception");
            } catch (NullPointerException e) {
                p(names[i] + ": NullPointerException");
            } catch (ArrayStoreException e) {
                p(names[i] + ": ArrayStoreException");
            } catch (ArrayIndexOutOfBoundsException e) {
                p(names[i] + ": ArrayIndexOutOfBoundsException");
            }
        }
    }

    static void elements() {
        boolean[] z = new boolean[2];
        byte[] b = new byte[2];
        char[] c = new char[2];
        short[] s = new short[2];
        int[] i = new int[2];
        long[] l = new long[2];
        float[] f = new float[2];
        double[] d = new double[2];
        Object[] o = new Object[2];
        p("defaults " + z[1] + " " + b[1] + " " + (int) c[1] + " " + s[1] + " " + i[1] + " " + l[1] + " " + f[1] + " " + d[1]
          + " " + o[1]);
        b[0] = (byte) 200;
        c[0] = (char) -1;
        s[0] = (short) 40000;
        z[0] = true;
        p("narrow stores " + b[0] + " " + (int) c[0] + " " + s[0] + " " + z[0]);
        p("class names " + z.getClass().getName() + b.getClass().getName() + c.getClass().getName() + s.getClass().getName()
          + i.getClass().getName() + l.getClass().getName() + f.getClass().getName() + d.getClass().getName() + " "
          + o.getClass().getName());
        Object[] all = {z, b, c, s, i, l, f, d, o};
        int caught = 0;
        for (int k = 0; k < all.length; k++) {
            for (int idx = -1; idx <= 2; idx += 3) {
                try {
                    switch (k) {
                        case 0: z[idx] = true; break;
                        case 1: b[idx] = 1; break;
                        case 2: c[idx] = 'c'; break;
                        case 3: s[idx] = 1; break;
                        case 4: i[idx] = i[idx]; break;
                        case 5: l[idx] = 1L; break;
                        case 6: f[idx] = f[0]; break;
                        case 7: d[idx] = 1.0; break;
                        case 8: o[idx] = null; break;
                    }
                } catch (ArrayIndexOutOfBoundsException e) {
                    caught++;
                    if (k == 4 || k == 5) p("bounds " + all[k].getClass().getName() + " " + e.getMessage());
                }
            }
        }
        p("bounds failures " + caught);
        int[] nul = null;
        try {
            nul[0] = 1;
            p("no exception");
        } catch (NullPointerException e) {
            p("store into null array: NullPointerException");
        }
        try {
            p("no exception " + nul.length);
        } catch (NullPointerException e) {
            p("length of null array: NullPointerException");
        }
        int[] big = new int[100000];
        for (int k = 0; k < big.length; k++) big[k] = k * 3;
        long total = 0;
        for (int k = big.length - 1; k >= 0; k--) total += big[k];
        p("big array total " + total + " last " + big[big.length - 1]);
    }

    public static void main(String[] args) {
        multi();
        covariance();
        stores();
        clones();
        arraycopy();
        elements();
    }
}
