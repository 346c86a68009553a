// Kernel: long arithmetic: a 64-bit generator, multiplications, divisions
// and remainders by variables, shifts and modular exponentiation.
public class LongArith {
    static long modpow(long base, long exp, long mod) {
        long result = 1;
        base %= mod;
        while (exp > 0) {
            if ((exp & 1) != 0) result = result * base % mod;
            base = base * base % mod;
            exp >>= 1;
        }
        return result;
    }

    static long run(int n) {
        long seed = 0x123456789ABCDEFL;
        long acc = 0;
        for (int i = 0; i < n; i++) {
            seed = seed * 6364136223846793005L + 1442695040888963407L;
            long a = (seed >>> 33) | 1;
            long b = (seed >>> 17) % 1000003 + 7;
            acc += a / b - a % b;
            acc ^= acc << 13;
            acc += modpow(a & 0xFFFFF, i & 31, 1000000007L);
        }
        return acc;
    }

    public static void main(String[] args) {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 200000;
        long t0 = System.nanoTime();
        long r = run(n);
        long t1 = System.nanoTime();
        System.out.println("checksum " + r);
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
