// System.arraycopy over every primitive element type: copies between two
// arrays and within one array in both directions, constant and variable
// positions, and the failures (null arrays, bad positions and counts, counts
// whose sum with a position overflows, incompatible and non-array objects).
// Arrays made in the same method or held in array-typed fields are the ones
// a compiler can copy inline.  Only exception class names are printed.
public class ArrayCopyAll {
    static int[] ia = new int[16];
    static int[] ib = new int[16];
    static byte[] ba = new byte[40];
    static char[] ca = new char[20];
    static long[] la = new long[10];
    static double[] da = new double[10];
    static int[] nullInts;

    static int sum(int[] a) { int s = 0; for (int i = 0; i < a.length; i++) s = s * 31 + a[i]; return s; }
    static int sum(byte[] a) { int s = 0; for (int i = 0; i < a.length; i++) s = s * 31 + a[i]; return s; }
    static int sum(char[] a) { int s = 0; for (int i = 0; i < a.length; i++) s = s * 31 + a[i]; return s; }
    static int sum(short[] a) { int s = 0; for (int i = 0; i < a.length; i++) s = s * 31 + a[i]; return s; }
    static int sum(boolean[] a) { int s = 0; for (int i = 0; i < a.length; i++) s = s * 31 + (a[i] ? 1 : 0); return s; }
    static long sum(long[] a) { long s = 0; for (int i = 0; i < a.length; i++) s = s * 31 + a[i]; return s; }
    static double sum(double[] a) { double s = 0; for (int i = 0; i < a.length; i++) s = s * 3 + a[i]; return s; }
    static double sum(float[] a) { double s = 0; for (int i = 0; i < a.length; i++) s = s * 3 + a[i]; return s; }

    static void fill() {
        for (int i = 0; i < ia.length; i++) { ia[i] = i * 7 + 1; ib[i] = -i; }
        for (int i = 0; i < ba.length; i++) ba[i] = (byte) (i * 13);
        for (int i = 0; i < ca.length; i++) ca[i] = (char) ('a' + i);
        for (int i = 0; i < la.length; i++) la[i] = (long) i << 33 | i;
        for (int i = 0; i < da.length; i++) da[i] = i * 0.5;
    }

    static void twoArrays(int p, int q, int n) {
        int[] dst = new int[12];
        System.arraycopy(ia, 2, dst, 3, 6);          // constant positions
        System.out.println("int const " + sum(dst));
        System.arraycopy(ia, p, dst, q, n);          // variable positions
        System.out.println("int var " + sum(dst));
        short[] s1 = new short[9];
        short[] s2 = new short[9];
        for (int i = 0; i < 9; i++) s1[i] = (short) (i * 1000 - 3000);
        System.arraycopy(s1, 0, s2, 1, 8);
        System.out.println("short " + sum(s2));
        float[] f1 = new float[5];
        float[] f2 = new float[9];
        for (int i = 0; i < 5; i++) f1[i] = i + 0.25f;
        System.arraycopy(f1, 1, f2, p, 3);
        System.out.println("float " + sum(f2));
        boolean[] z1 = new boolean[7];
        boolean[] z2 = new boolean[7];
        z1[1] = z1[4] = z1[6] = true;
        System.arraycopy(z1, 0, z2, 0, n);
        System.out.println("boolean " + sum(z2));
    }

    static void oneArray(int up, int n) {
        fill();
        System.arraycopy(ba, 1, ba, 1 + up, n);      // overlap, destination above
        System.out.println("byte up " + sum(ba));
        fill();
        System.arraycopy(ba, 1 + up, ba, 1, n);      // overlap, destination below
        System.out.println("byte down " + sum(ba));
        fill();
        System.arraycopy(ca, 0, ca, 3, 17);
        System.out.println("char up " + sum(ca));
        fill();
        System.arraycopy(ia, 2, ia, 5, 11);
        System.out.println("int up const " + sum(ia));
        fill();
        System.arraycopy(la, 0, la, up, 10 - up);
        System.out.println("long up " + sum(la));
        fill();
        System.arraycopy(la, up, la, 0, 10 - up);
        System.out.println("long down " + sum(la));
        fill();
        System.arraycopy(da, 0, da, 3, 7);
        System.out.println("double up " + sum(da));
        fill();
        System.arraycopy(ia, 0, ia, 0, 16);
        System.out.println("int self " + sum(ia));
    }

    static void tryCopy(String what, int sp, int dp, int n) {
        try {
            System.arraycopy(ia, sp, ib, dp, n);
            System.out.println(what + " ok " + sum(ib));
        } catch (RuntimeException e) {
            System.out.println(what + " " + e.getClass().getName() + " " + sum(ib));
        }
    }

    static void failures(int big) {
        fill();
        tryCopy("negative source", -1, 0, 1);
        tryCopy("negative destination", 0, -1, 1);
        tryCopy("negative count", 0, 0, -1);
        tryCopy("source end", 10, 0, 7);
        tryCopy("destination end", 0, 10, 7);
        tryCopy("count at the end", 16, 16, 0);
        tryCopy("past the end", 17, 0, 0);
        tryCopy("overflow", big, big, big);
        tryCopy("overflow count", 1, 1, Integer.MAX_VALUE);
        try {
            System.arraycopy(ia, -2, ib, 0, 1);      // negative constant position
            System.out.println("negative constant ok");
        } catch (ArrayIndexOutOfBoundsException e) {
            System.out.println("negative constant " + e.getClass().getName());
        }
        try {
            System.arraycopy(nullInts, 0, ib, 0, 1);
            System.out.println("null source ok");
        } catch (NullPointerException e) {
            System.out.println("null source " + e.getClass().getName());
        }
        try {
            System.arraycopy(ia, 0, nullInts, 0, -1);   // null before the bad count
            System.out.println("null destination ok");
        } catch (RuntimeException e) {
            System.out.println("null destination " + e.getClass().getName());
        }
        Object ints = ia, longs = la, text = "text";
        try {
            System.arraycopy(ints, 0, longs, 0, 1);
            System.out.println("mismatch ok");
        } catch (ArrayStoreException e) {
            System.out.println("mismatch " + e.getClass().getName());
        }
        try {
            System.arraycopy(text, 0, ints, 0, 1);
            System.out.println("not an array ok");
        } catch (ArrayStoreException e) {
            System.out.println("not an array " + e.getClass().getName());
        }
        Object[] objs = {"a", "b"};
        Integer[] boxes = new Integer[2];
        try {
            System.arraycopy(objs, 0, boxes, 0, 2);
            System.out.println("element store ok");
        } catch (ArrayStoreException e) {
            System.out.println("element store " + e.getClass().getName());
        }
    }

    public static void main(String[] args) {
        fill();
        // Repeated so that the methods are compiled where the compiler runs.
        for (int round = 0; round < 3; round++) {
            fill();
            twoArrays(4, 5, 7);
            oneArray(6, 30);
            failures(0x7FFFFFF0);
        }
    }
}
