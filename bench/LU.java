// Kernel: LU factorisation with partial pivoting of a dense matrix (row
// swaps through the row array, an inner update loop over row slices),
// repeated over a fresh copy.  The checksum is the rounded sum of the
// factors' diagonal magnitudes and the pivot order.
public class LU {
    static void factor(double[][] a, int[] pivot) {
        int n = a.length;
        for (int j = 0; j < n; j++) {
            int p = j;
            double best = Math.abs(a[j][j]);
            for (int i = j + 1; i < n; i++) {
                double v = Math.abs(a[i][j]);
                if (v > best) { best = v; p = i; }
            }
            pivot[j] = p;
            if (p != j) { double[] t = a[p]; a[p] = a[j]; a[j] = t; }
            double[] rj = a[j];
            double recip = 1.0 / rj[j];
            for (int i = j + 1; i < n; i++) {
                double[] ri = a[i];
                double f = ri[j] * recip;
                ri[j] = f;
                for (int k = j + 1; k < n; k++) ri[k] -= f * rj[k];
            }
        }
    }

    public static void main(String[] args) {
        int reps = args.length > 0 ? Integer.parseInt(args[0]) : 10;
        int n = 60;
        double[][] orig = new double[n][n], a = new double[n][n];
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) orig[i][j] = ((i * 37 + j * 11) % 23) / 23.0 + (i == j ? 2.0 : 0.0);
        int[] pivot = new int[n];
        long t0 = System.nanoTime();
        for (int r = 0; r < reps; r++) {
            for (int i = 0; i < n; i++) System.arraycopy(orig[i], 0, a[i], 0, n);
            factor(a, pivot);
        }
        long t1 = System.nanoTime();
        double sum = 0;
        long order = 0;
        for (int i = 0; i < n; i++) { sum += Math.abs(a[i][i]); order = order * 31 + pivot[i]; }
        System.out.println("checksum " + Math.round(sum * 1000) + " " + order);
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
