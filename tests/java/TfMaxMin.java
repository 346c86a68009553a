// Type flow over bytecode: max(x, c) and min(x, c) of a value whose range
// lies wholly below (above) c are c itself, not an empty intersection; a
// branch on the result must not be folded as if no value reached it.
public class TfMaxMin {
    static int viaMath(int v) {
        int r = 0;
        for (int k = 0; k < 2; k++) {
            int a = v & 3;                  // 0..3
            int m = Math.max(a, 10);        // always 10
            int n = Math.min(a, -5);        // always -5
            if (v == 12345) r += 7;         // the tests below start a block of their own
            if (m < 10) r += 1000; else r += 1;
            if (n > -5) r += 1000; else r += 1;
        }
        return r;
    }

    static int viaSelect(int v) {
        int r = 0;
        for (int k = 0; k < 2; k++) {
            int a = v & 3;
            int m = a > 10 ? a : 10;
            int n = a < -5 ? a : -5;
            if (v == 12345) r += 7;
            if (m == 10) r += 1; else r += 1000;
            if (n == -5) r += 1; else r += 1000;
            int p = v;                      // a local, not a computed value
            int q = Math.max(p, 10);
            if (q < 10) r += 1000;
            if (q < 20) r += 2;
        }
        return r;
    }

    public static void main(String[] args) {
        long sum = 0;
        for (int i = 0; i < 3000; i++)
            sum += viaMath(i) + viaSelect(i % 15);
        System.out.println(sum);
        System.out.println(viaMath(7) + " " + viaSelect(3) + " " + viaSelect(25));
    }
}
