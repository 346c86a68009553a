// Kernel: double arithmetic over arrays: a dense matrix product and a
// relaxation sweep over a grid.  The checksum is printed as raw bits of a
// sum, rounded to the nearest integer (x87 and SSE may differ in the last
// bits of long reductions, the rounded value does not for these sizes).
public class DoubleArrays {
    static double matmul(int n, int reps) {
        double[][] a = new double[n][n], b = new double[n][n], c = new double[n][n];
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < n; j++) {
                a[i][j] = (i * 7 + j * 3) % 11 - 5.0;
                b[i][j] = (i * 5 + j * 2) % 13 * 0.25;
            }
        }
        for (int r = 0; r < reps; r++) {
            for (int i = 0; i < n; i++) {
                double[] ai = a[i], ci = c[i];
                for (int j = 0; j < n; j++) ci[j] = 0.0;
                for (int k = 0; k < n; k++) {
                    double aik = ai[k];
                    double[] bk = b[k];
                    for (int j = 0; j < n; j++) ci[j] += aik * bk[j];
                }
            }
        }
        double s = 0;
        for (int i = 0; i < n; i++) for (int j = 0; j < n; j++) s += c[i][j];
        return s;
    }

    static double relax(int n, int sweeps) {
        double[] g = new double[n * n];
        for (int i = 0; i < n; i++) g[i] = 100.0;
        for (int s = 0; s < sweeps; s++) {
            for (int y = 1; y < n - 1; y++) {
                for (int x = 1; x < n - 1; x++) {
                    int p = y * n + x;
                    g[p] = 0.25 * (g[p - 1] + g[p + 1] + g[p - n] + g[p + n]);
                }
            }
        }
        double sum = 0;
        for (double v : g) sum += v;
        return sum;
    }

    public static void main(String[] args) {
        int scale = args.length > 0 ? Integer.parseInt(args[0]) : 16;
        long t0 = System.nanoTime();
        double m = matmul(60, scale);
        double r = relax(64, 10 * scale);
        long t1 = System.nanoTime();
        System.out.println("checksum " + Math.round(m) + " " + Math.round(r * 1000));
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
