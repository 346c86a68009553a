// Kernel: sparse matrix times vector in compressed-row form (indirect
// indexing through int arrays).  The checksum is the rounded sum of the
// result.
public class SparseMatMult {
    static void multiply(double[] y, double[] val, int[] row, int[] col, double[] x, int reps) {
        int m = row.length - 1;
        for (int r = 0; r < reps; r++) {
            for (int i = 0; i < m; i++) {
                double sum = 0.0;
                for (int k = row[i]; k < row[i + 1]; k++) sum += x[col[k]] * val[k];
                y[i] = sum;
            }
        }
    }

    public static void main(String[] args) {
        int reps = args.length > 0 ? Integer.parseInt(args[0]) : 100;
        int n = 1000, perRow = 5;
        double[] x = new double[n], y = new double[n], val = new double[n * perRow];
        int[] row = new int[n + 1], col = new int[n * perRow];
        for (int i = 0; i < n; i++) x[i] = (i % 13) * 0.5;
        int k = 0;
        for (int i = 0; i < n; i++) {
            row[i] = k;
            for (int j = 0; j < perRow; j++) {
                col[k] = (i * 7 + j * 131) % n;
                val[k] = ((i + j) % 9) * 0.125;
                k++;
            }
        }
        row[n] = k;
        long t0 = System.nanoTime();
        multiply(y, val, row, col, x, reps);
        long t1 = System.nanoTime();
        double sum = 0;
        for (int i = 0; i < n; i++) sum += y[i];
        System.out.println("checksum " + Math.round(sum * 1000));
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
