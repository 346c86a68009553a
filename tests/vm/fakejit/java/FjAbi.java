// Invoker ABI, interpreter to compiled: each fj_abi_ method is replaced by
// the test double's checker, which verifies the registers and argument words
// the VM passes and returns what these Java bodies compute.
public class FjAbi {
    int base = 7;

    static void fj_abi_V() { }
    static int fj_abi_I(int a) { return a * 3 + 1; }
    static int fj_abi_II(int a, int b) { return a * 31 + b; }
    static int fj_abi_III(int a, int b, int c) { return (a * 31 + b) * 31 + c; }
    static int fj_abi_IIII(int a, int b, int c, int d) { return ((a * 31 + b) * 31 + c) * 31 + d; }
    static long fj_abi_J(long a) { return a * 7 + 0x100000001L; }
    static long fj_abi_IJ(int a, long b) { return ((long) a * 1000000007L) ^ b; }
    static double fj_abi_D(double d) { return d * 2.5 + 1.0; }
    static float fj_abi_F(float f) { return f * 0.5f + 2.0f; }
    static double fj_abi_DI(double d, int i) { return d * i + 0.25; }
    static Object fj_abi_OI(Object o, int i) { return (i & 1) == 0 ? o : null; }

    void fj_abi_V_i() { }
    int fj_abi_I_i(int a) { return a * 3 + 1; }
    int fj_abi_II_i(int a, int b) { return a * 31 + b; }
    int fj_abi_III_i(int a, int b, int c) { return (a * 31 + b) * 31 + c; }
    int fj_abi_IIII_i(int a, int b, int c, int d) { return ((a * 31 + b) * 31 + c) * 31 + d; }
    long fj_abi_J_i(long a) { return a * 7 + 0x100000001L; }
    long fj_abi_IJ_i(int a, long b) { return ((long) a * 1000000007L) ^ b; }
    double fj_abi_D_i(double d) { return d * 2.5 + 1.0; }
    float fj_abi_F_i(float f) { return f * 0.5f + 2.0f; }
    double fj_abi_DI_i(double d, int i) { return d * i + 0.25; }
    Object fj_abi_OI_i(Object o, int i) { return (i & 1) == 0 ? o : null; }

    static final int[] INTS = {0, 1, -1, 123456789, Integer.MIN_VALUE, Integer.MAX_VALUE};
    static final long[] LONGS = {0L, -1L, 0x123456789ABCDEF0L, 0x00000001FFFFFFFFL, Long.MIN_VALUE};
    static final double[] DOUBLES = {0.0, -1.5, 3.141592653589793, 1.0e300, -0.0};
    static final float[] FLOATS = {0.0f, -1.5f, 3.1415927f, 1.0e30f};

    public static void main(String[] args) {
        FjAbi self = new FjAbi();
        String tag = "tag";
        // Twice round: the first calls compile, the later ones run compiled.
        for (int round = 0; round < 2; round++) {
            fj_abi_V();
            self.fj_abi_V_i();
            for (int a : INTS) {
                System.out.println("I " + fj_abi_I(a) + " " + self.fj_abi_I_i(a));
                for (int b : INTS) {
                    System.out.println("II " + fj_abi_II(a, b) + " " + self.fj_abi_II_i(a, b)
                                       + " III " + fj_abi_III(a, b, 5) + " " + self.fj_abi_III_i(5, a, b)
                                       + " IIII " + fj_abi_IIII(a, b, -3, 9) + " "
                                       + self.fj_abi_IIII_i(9, a, -3, b));
                }
                for (long l : LONGS)
                    System.out.println("IJ " + fj_abi_IJ(a, l) + " " + self.fj_abi_IJ_i(a, l));
            }
            for (long l : LONGS)
                System.out.println("J " + fj_abi_J(l) + " " + self.fj_abi_J_i(l));
            for (double d : DOUBLES) {
                System.out.println("D " + fj_abi_D(d) + " " + self.fj_abi_D_i(d));
                System.out.println("DI " + fj_abi_DI(d, 3) + " " + self.fj_abi_DI_i(d, -2));
            }
            for (float f : FLOATS)
                System.out.println("F " + fj_abi_F(f) + " " + self.fj_abi_F_i(f));
            System.out.println("OI " + fj_abi_OI(tag, 2) + " " + fj_abi_OI(tag, 3) + " "
                               + self.fj_abi_OI_i(tag, 4) + " " + self.fj_abi_OI_i(tag, -1));
        }
    }
}
