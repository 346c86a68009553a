// Calls whose arguments all travel in registers, into callees that assign
// their parameters (so the parameters' home words are written back), while
// the caller keeps values in its frame and in callee-saved registers; and
// element stores whose stored value is computed in front of the store.
// Floats and doubles as arguments and as locals live across calls.
public class ArgHomes {
    static int one(int a) {
        a = a * 3 + 1;
        int s = 0;
        for (int k = 0; k < 4; k++) { s += a; a--; }
        return s;
    }

    static int two(int a, int b) {
        if (a < b) { int t = a; a = b; b = t; }
        while (b != 0) { int t = a % b; a = b; b = t; }
        return a;
    }

    static void three(int i, int end, char[] buf) {
        boolean negative = i < 0;
        if (negative) i = -i;
        do {
            buf[--end] = (char) ('0' + i % 10);
            i /= 10;
        } while (i != 0);
        if (negative) buf[--end] = '-';
        buf = null;
    }

    static long wide(long v, int shift) {
        v = v << shift;
        shift = -shift;
        return v + shift;
    }

    static double half(double v, int k) {
        v = v / 2;
        k = k + 1;
        return v * k;
    }

    static float scale(float x, int k) {
        x = x * 2;
        return x + k;
    }

    public static void main(String[] args) {
        int x = 11, y = 22, z = 33;
        long w = 0x1122334455667788L;
        char[] buf = new char[8];
        for (int r = 0; r < 3; r++) {
            int p = one(x + r);
            int q = two(y * (r + 1), z);
            java.util.Arrays.fill(buf, '.');
            three(-120034 * (r + 1), 8, buf);
            long v = wide(w, r);
            System.out.println(p + " " + q + " " + new String(buf) + " " + v);
            System.out.println(x + " " + y + " " + z + " " + w + " " + buf.length);
        }
        // A double local stored in front of a call and read after it.
        for (double d : new double[] {0.5, -0.0, 2.5, 1e300})
            System.out.println("d " + d + " " + half(d, 3) + " " + d);
        float f = 0.5f;
        float g = scale(f, 1);
        System.out.println("f " + f + " " + g + " " + scale(1.5f, -1) + " " + (int) (g * 100));
        int[] sq = new int[5];
        for (int k = 0; k < sq.length; k++) sq[k] = k * k - k;
        short[] sh = new short[3];
        for (int k = 0; k < sh.length; k++) sh[k] = (short) (70000 * k);
        byte[] by = new byte[3];
        for (int k = 0; k < by.length; k++) by[k] = (byte) (200 + k);
        System.out.println(sq[0] + " " + sq[1] + " " + sq[4] + " " + sh[1] + " " + sh[2] + " " + by[0] + " " + by[2]);
    }
}
