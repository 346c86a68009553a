// Array loads and stores of every element type, lengths, and the exceptions
// of bad indexes and null arrays with their messages.
public class ArrayAccess {
    static int getI(int[] a, int i) { return a[i]; }
    static void putI(int[] a, int i, int v) { a[i] = v; }
    static byte getB(byte[] a, int i) { return a[i]; }
    static void putB(byte[] a, int i, byte v) { a[i] = v; }
    static char getC(char[] a, int i) { return a[i]; }
    static void putC(char[] a, int i, char v) { a[i] = v; }
    static short getS(short[] a, int i) { return a[i]; }
    static void putS(short[] a, int i, short v) { a[i] = v; }
    static boolean getZ(boolean[] a, int i) { return a[i]; }
    static void putZ(boolean[] a, int i, boolean v) { a[i] = v; }
    static long getJ(long[] a, int i) { return a[i]; }
    static void putJ(long[] a, int i, long v) { a[i] = v; }
    static float getF(float[] a, int i) { return a[i]; }
    static void putF(float[] a, int i, float v) { a[i] = v; }
    static double getD(double[] a, int i) { return a[i]; }
    static void putD(double[] a, int i, double v) { a[i] = v; }
    static Object getL(Object[] a, int i) { return a[i]; }
    static void putL(Object[] a, int i, Object v) { a[i] = v; }
    static int len(Object[] a) { return a.length; }
    static int constIndex(int[] a) { return a[2] + a[0]; }
    static int negConst(int[] a) { return a[-1]; }

    static void attempt(int which, int[] ia, long[] ja, double[] da, byte[] ba, char[] ca) {
        switch (which) {
        case 0: getI(ia, 4); break;
        case 1: putI(ia, -1, 0); break;
        case 2: getI(ia, Integer.MIN_VALUE); break;
        case 3: negConst(ia); break;
        case 4: putJ(ja, 3, 1L); break;
        case 5: getD(da, 7); break;
        case 6: putB(ba, 3, (byte) 1); break;
        case 7: getC(ca, 9); break;
        case 8: getI(new int[0], 0); break;
        case 9: getI(null, 0); break;
        case 10: putL(null, 0, "x"); break;
        default: len(null); break;
        }
    }

    static void expect(String what, int which, int[] ia, long[] ja, double[] da, byte[] ba, char[] ca) {
        try {
            attempt(which, ia, ja, da, ba, ca);
            System.out.println(what + ": no exception");
        } catch (ArrayIndexOutOfBoundsException e) {
            System.out.println(what + ": AIOOBE " + e.getMessage());
        } catch (NullPointerException e) {
            System.out.println(what + ": NPE");
        }
    }

    public static void main(String[] args) {
        int[] ia = new int[4];
        byte[] ba = new byte[3];
        char[] ca = new char[3];
        short[] sa = new short[3];
        boolean[] za = new boolean[3];
        long[] ja = new long[3];
        float[] fa = new float[3];
        double[] da = new double[3];
        Object[] la = new Object[3];
        putI(ia, 3, -7); putI(ia, 2, Integer.MIN_VALUE); putI(ia, 0, 5);
        putB(ba, 1, (byte) -128); putC(ca, 2, '\uffff'); putS(sa, 0, (short) -32768);
        putZ(za, 1, true); putJ(ja, 2, Long.MIN_VALUE + 1); putF(fa, 1, -0.5f);
        putD(da, 2, 1e300); putL(la, 0, "str");
        System.out.println(getI(ia, 3) + " " + getI(ia, 2) + " " + getB(ba, 1) + " " + (int) getC(ca, 2) + " "
                + getS(sa, 0) + " " + getZ(za, 1) + " " + getZ(za, 0) + " " + getJ(ja, 2) + " " + getF(fa, 1)
                + " " + getD(da, 2) + " " + getL(la, 0) + " " + len(la) + " " + constIndex(ia));
        expect("int[4] index 4", 0, ia, ja, da, ba, ca);
        expect("int[4] index -1", 1, ia, ja, da, ba, ca);
        expect("int[4] index MIN", 2, ia, ja, da, ba, ca);
        expect("int[4] const -1", 3, ia, ja, da, ba, ca);
        expect("long[3] index 3", 4, ia, ja, da, ba, ca);
        expect("double[3] index 7", 5, ia, ja, da, ba, ca);
        expect("byte[3] index 3", 6, ia, ja, da, ba, ca);
        expect("char[3] index 9", 7, ia, ja, da, ba, ca);
        expect("empty array", 8, ia, ja, da, ba, ca);
        expect("null int[]", 9, ia, ja, da, ba, ca);
        expect("null store", 10, ia, ja, da, ba, ca);
        expect("null length", 11, ia, ja, da, ba, ca);
        System.out.println(ia[0] + " " + ia[1] + " " + ja[0]);
    }
}
