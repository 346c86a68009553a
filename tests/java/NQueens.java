// N-queens: solution counts for n = 1..9 with an array-based backtracking
// search, the first solution for n = 8 drawn as a board, and a bitmask
// search for n = 10 that must agree with the array search.
public class NQueens {
    private final int n;
    private final int[] col;       // col[row] = column of the queen in that row
    private final boolean[] usedCol, usedDiag, usedAnti;
    private int solutions;
    private int[] first;

    NQueens(int n) {
        this.n = n;
        col = new int[n];
        usedCol = new boolean[n];
        usedDiag = new boolean[2 * n];
        usedAnti = new boolean[2 * n];
    }

    void place(int row) {
        if (row == n) {
            if (solutions++ == 0) first = col.clone();
            return;
        }
        for (int c = 0; c < n; c++) {
            int d = row - c + n, a = row + c;
            if (usedCol[c] || usedDiag[d] || usedAnti[a]) continue;
            usedCol[c] = usedDiag[d] = usedAnti[a] = true;
            col[row] = c;
            place(row + 1);
            usedCol[c] = usedDiag[d] = usedAnti[a] = false;
        }
    }

    static int bits(int n, int row, int cols, int diag, int anti) {
        if (row == n) return 1;
        int count = 0;
        int free = ~(cols | diag | anti) & ((1 << n) - 1);
        while (free != 0) {
            int bit = free & -free;
            free ^= bit;
            count += bits(n, row + 1, cols | bit, (diag | bit) << 1, (anti | bit) >>> 1);
        }
        return count;
    }

    static boolean valid(int[] q) {
        for (int i = 0; i < q.length; i++) {
            for (int j = i + 1; j < q.length; j++) {
                if (q[i] == q[j] || Math.abs(q[i] - q[j]) == j - i) return false;
            }
        }
        return true;
    }

    public static void main(String[] args) {
        StringBuilder counts = new StringBuilder("counts:");
        int[] board8 = null;
        for (int n = 1; n <= 9; n++) {
            NQueens q = new NQueens(n);
            q.place(0);
            counts.append(' ').append(q.solutions);
            if (n == 8) board8 = q.first;
            if (q.first != null && !valid(q.first)) System.out.println("invalid solution for n=" + n);
        }
        System.out.println(counts);
        for (int r = 0; r < 8; r++) {
            StringBuilder line = new StringBuilder();
            for (int c = 0; c < 8; c++) line.append(board8[r] == c ? 'Q' : '.');
            System.out.println(line);
        }
        System.out.println("bitmask n=10: " + bits(10, 0, 0, 0, 0) + ", n=6: " + bits(6, 0, 0, 0, 0));
    }
}
