// A compiled caller calls methods that are still interpreted (called too
// rarely to be compiled): the call gate copies the arguments into the
// interpreter's order.  Integer words travel in eax, edx, ecx counted among
// the integer words only, so an int after a float or double argument is in a
// register, not in the argument area.
public class ColdCalleeArgs {
    int base = 1000;

    static String fi(float f, int i) { return f + "/" + i; }
    static String dfi(double d, float f, int i) { return d + "/" + f + "/" + i; }
    static String ifi(int a, float f, int b) { return a + "/" + f + "/" + b; }
    static String difi(double d, int a, float f, int b) { return d + "/" + a + "/" + f + "/" + b; }
    static String fjii(float f, long j, int a, int b) { return f + "/" + j + "/" + a + "/" + b; }
    static String dllI(double d, long j, long k, int a) { return d + "/" + j + "/" + k + "/" + a; }
    String virt(float f, int a, int b) { return base + "/" + f + "/" + a + "/" + b; }

    static int seven = 7, thirteen = 13;

    // Hot: compiled once its counter runs out; the callees run once each.
    static String call(int i, ColdCalleeArgs o) {
        if (i != 2999)
            return null;
        return fi(2.5f, thirteen) + " " + dfi(-1e9, 3.0f, thirteen) + " " + ifi(seven, 0.5f, thirteen) + " "
            + difi(0.25, 0x80000000, 3.0f, thirteen) + " " + fjii(1.5f, 0x123456789L, seven, thirteen) + " "
            + dllI(-2.0, -5L, 1L << 40, thirteen) + " " + o.virt(4.0f, seven, thirteen);
    }

    public static void main(String[] args) {
        ColdCalleeArgs o = new ColdCalleeArgs();
        String s = null;
        for (int i = 0; i < 3000; i++) {
            String r = call(i, o);
            if (r != null)
                s = r;
        }
        System.out.println(s);
    }
}
