// Kernel: an in-place radix-2 complex FFT (bit reversal, butterflies with
// trigonometric twiddles) run forward and inverse over the same data, in the
// style of the scientific kernels compilers of the era were measured on.
// The checksum is the rounded error of the round trip and of the spectrum.
public class FFT {
    static void bitReverse(double[] data) {
        int n = data.length / 2;
        for (int i = 0, j = 0; i < n - 1; i++) {
            if (i < j) {
                double tr = data[2 * i], ti = data[2 * i + 1];
                data[2 * i] = data[2 * j];
                data[2 * i + 1] = data[2 * j + 1];
                data[2 * j] = tr;
                data[2 * j + 1] = ti;
            }
            int k = n >> 1;
            while (k <= j) {
                j -= k;
                k >>= 1;
            }
            j += k;
        }
    }

    static void transform(double[] data, int direction) {
        int n = data.length / 2;
        bitReverse(data);
        for (int len = 1; len < n; len <<= 1) {
            double theta = direction * Math.PI / len;
            double s = Math.sin(0.5 * theta);
            double wpr = -2.0 * s * s, wpi = Math.sin(theta);
            double wr = 1.0, wi = 0.0;
            for (int a = 0; a < len; a++) {
                for (int b = a; b < n; b += 2 * len) {
                    int i = 2 * b, j = 2 * (b + len);
                    double tr = wr * data[j] - wi * data[j + 1];
                    double ti = wr * data[j + 1] + wi * data[j];
                    data[j] = data[i] - tr;
                    data[j + 1] = data[i + 1] - ti;
                    data[i] += tr;
                    data[i + 1] += ti;
                }
                double t = wr;
                wr += t * wpr - wi * wpi;
                wi += wi * wpr + t * wpi;
            }
        }
    }

    public static void main(String[] args) {
        int reps = args.length > 0 ? Integer.parseInt(args[0]) : 20;
        int n = 1024;
        double[] data = new double[2 * n], orig = new double[2 * n];
        int seed = 12345;
        for (int i = 0; i < 2 * n; i++) {
            seed = seed * 1103515245 + 12345;
            orig[i] = ((seed >>> 8) & 0xFFFF) / 65536.0;
        }
        long t0 = System.nanoTime();
        double err = 0, spectrum = 0;
        for (int r = 0; r < reps; r++) {
            System.arraycopy(orig, 0, data, 0, 2 * n);
            transform(data, -1);
            spectrum = 0;
            for (int i = 0; i < 2 * n; i++) spectrum += Math.abs(data[i]);
            transform(data, 1);
            err = 0;
            for (int i = 0; i < 2 * n; i++) err += Math.abs(data[i] / n - orig[i]);
        }
        long t1 = System.nanoTime();
        System.out.println("checksum " + Math.round(spectrum) + " " + Math.round(err * 1e6));
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
