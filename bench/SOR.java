// Kernel: successive over-relaxation on a square grid (two-dimensional
// arrays, row pointers kept in locals).  The checksum is the rounded sum of
// the grid.
public class SOR {
    static void sweep(double omega, double[][] g, int iterations) {
        int m = g.length, n = g[0].length;
        double quarter = omega * 0.25, keep = 1.0 - omega;
        for (int p = 0; p < iterations; p++) {
            for (int i = 1; i < m - 1; i++) {
                double[] up = g[i - 1], row = g[i], down = g[i + 1];
                for (int j = 1; j < n - 1; j++)
                    row[j] = quarter * (up[j] + down[j] + row[j - 1] + row[j + 1]) + keep * row[j];
            }
        }
    }

    public static void main(String[] args) {
        int iterations = args.length > 0 ? Integer.parseInt(args[0]) : 40;
        int n = 100;
        double[][] g = new double[n][n];
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) g[i][j] = ((i * 31 + j * 17) % 97) / 97.0;
        long t0 = System.nanoTime();
        sweep(1.25, g, iterations);
        long t1 = System.nanoTime();
        double sum = 0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) sum += g[i][j];
        System.out.println("checksum " + Math.round(sum * 1000));
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
