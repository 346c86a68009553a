// Chains of "local != 0 ||" tests over int and boolean locals, which the
// front end may fold into one test of the locals' OR: every combination of
// zero and nonzero operands must take the same branch as the chain.  Chains
// that must stay as they are (another compare in the middle, a block that is
// also reached from elsewhere) run alongside.
public class ShortCircuit {
    static int or2(int a, int b) {
        if (a != 0 || b != 0)
            return 1;
        return 2;
    }

    static int or3(int a, int b, int c) {
        int r = 10;
        if (a != 0 || b != 0 || c != 0)
            r += 5;
        else
            r -= 3;
        return r;
    }

    static int or4(boolean p, boolean q, boolean r, boolean s) {
        return p || q || r || s ? 7 : 9;
    }

    // The middle test compares with a constant: no rewrite.
    static int mixed(int a, int b, int c) {
        if (a != 0 || b > 3 || c != 0)
            return 1;
        return 0;
    }

    // In a loop: the chain is rewritten inside the loop body.
    static int inLoop(int n) {
        int hits = 0;
        for (int i = 0; i < n; i++) {
            int x = i & 1, y = i & 2, z = i & 8;
            if (x != 0 || y != 0 || z != 0)
                hits++;
        }
        return hits;
    }

    // Values whose OR is zero only when all are: negative and large ones.
    static int signs(int a, int b) {
        if (a != 0 || b != 0)
            return a | b;
        return -1;
    }

    public static void main(String[] args) {
        int[] values = {0, 1, -1, Integer.MIN_VALUE, Integer.MAX_VALUE, 256};
        long sum = 0;
        for (int round = 0; round < 2100; round++) {
            for (int a : values)
                for (int b : values) {
                    sum += or2(a, b) + signs(a, b);
                    for (int c : values)
                        sum += or3(a, b, c) * 3 + mixed(a, b, c);
                }
            for (int k = 0; k < 16; k++)
                sum += or4((k & 1) != 0, (k & 2) != 0, (k & 4) != 0, (k & 8) != 0) * k;
            sum += inLoop(round % 40);
            if (round == 0 || round == 2099)
                System.out.println("round " + round + ": " + sum);
        }
        StringBuilder line = new StringBuilder();
        for (int a : values)
            for (int b : values)
                line.append(or2(a, b));
        System.out.println(line);
        System.out.println("or4:" + or4(false, false, false, false) + or4(false, false, false, true) + or4(true, false, false, false));
        System.out.println("sum " + sum);
    }
}
