// Kernel: Monte Carlo estimate of pi with a small linear congruential
// generator in an object (synchronized next(), as library generators of the
// era were).  Integer state, double arithmetic, a call per sample.
public class MonteCarlo {
    static final class Random {
        private int seed;
        Random(int seed) { this.seed = seed; }
        synchronized double next() {
            seed = seed * 1103515245 + 12345;
            return ((seed >>> 1) & 0x3FFFFFFF) / (double) 0x40000000;
        }
    }

    static double integrate(int samples) {
        Random r = new Random(113);
        int under = 0;
        for (int i = 0; i < samples; i++) {
            double x = r.next(), y = r.next();
            if (x * x + y * y <= 1.0) under++;
        }
        return (double) under / samples * 4.0;
    }

    public static void main(String[] args) {
        int samples = args.length > 0 ? Integer.parseInt(args[0]) : 400000;
        long t0 = System.nanoTime();
        double pi = integrate(samples);
        long t1 = System.nanoTime();
        System.out.println("checksum " + Math.round(pi * 1e6));
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
