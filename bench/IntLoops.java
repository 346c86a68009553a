// Kernel: int arithmetic in nested loops (adds, multiplies, shifts, xor,
// compares and array indexing), no calls and no allocation inside the loop.
public class IntLoops {
    static int run(int n) {
        int[] table = new int[256];
        for (int i = 0; i < table.length; i++) table[i] = i * 0x9E3779B1;
        int h = 1;
        for (int outer = 0; outer < n; outer++) {
            for (int i = 0; i < 1000; i++) {
                int x = h ^ (i * 31 + outer);
                x += table[x & 255];
                x ^= x >>> 7;
                if ((x & 1) != 0) h += x; else h -= x >> 3;
                h = (h << 5) - h;
            }
        }
        return h;
    }

    public static void main(String[] args) {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 2000;
        long t0 = System.nanoTime();
        int r = run(n);
        long t1 = System.nanoTime();
        System.out.println("checksum " + r);
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
