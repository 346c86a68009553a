// Bound checks that the analysis over bytecode must keep: each case raises
// ArrayIndexOutOfBoundsException at its second access, where a fact proven
// for another index value seems to cover it.  The methods have no handlers of
// their own (the analysis leaves such methods alone); main catches.  Then
// accesses that are covered, whose results must not change.
public class BcBoundFacts {
    static int sink;

    // a[i++] = x: the index on the stack is the old i; a[i] is the new one.
    static int stackedIncrement(int[] a, int i, boolean c) {
        a[i++] = 1;
        if (c)
            a[i] = 2;
        return i;
    }

    // a[i] = (i = j): the store happens while the old i is on the stack.
    static int storeWhileStacked(int[] a, int i, int j, boolean c) {
        a[i] = (i = j);
        if (c)
            sink++;
        a[i] = 0;
        return i;
    }

    // i never carries an offset, yet the increment moves it past what the
    // first block proved.
    static int incrementInner(int[] a, int i, boolean c) {
        a[i] = 0;
        if (c) {
            i++;
            a[i] = 1;
        }
        return i;
    }

    // a[i + 200] says nothing about a[i + 127] when i is negative.
    static int farOffsets(int[] a, int i, boolean c) {
        int s = a[i + 200];
        if (c)
            sink++;
        return s + a[i + 127];
    }

    // Far increments: a[i] and then i -= 200.
    static int farIncrement(int[] a, int i, boolean c) {
        int s = a[i];
        i -= 200;
        if (c)
            sink++;
        return s + a[i + 127];
    }

    // Covered accesses: the same index twice, a window, constants.
    static int covered(int[] a, int i, boolean c) {
        int s = a[i] + a[i];
        if (c)
            s += a[i + 1] + a[i - 1] + a[i];
        int[] t = new int[10];
        t[9] = s;
        s += a[3] + a[2] + t[9];
        return s;
    }

    static int window(int[] a) {
        int s = 0;
        for (int i = 1; i + 1 < a.length; i++)
            s += a[i - 1] + a[i] + a[i + 1];
        return s;
    }

    static int run(int which, int[] a) {
        switch (which) {
        case 0: return stackedIncrement(a, a.length - 1, true);
        case 1: return storeWhileStacked(a, 0, a.length, true);
        case 2: return incrementInner(a, a.length - 1, true);
        case 3: return farOffsets(a, -150, true);
        default: return farIncrement(a, 10, true);
        }
    }

    public static void main(String[] args) {
        String[] names = {"stackedIncrement", "storeWhileStacked", "incrementInner", "farOffsets", "farIncrement"};
        int[] a = new int[60];
        int[] thrown = new int[names.length];
        for (int round = 0; round <= 2100; round++)
            for (int k = 0; k < names.length; k++) {
                try {
                    run(k, a);
                } catch (ArrayIndexOutOfBoundsException e) {
                    thrown[k]++;
                }
            }
        for (int k = 0; k < names.length; k++)
            System.out.println(names[k] + ": thrown " + thrown[k]);
        for (int k = 0; k < a.length; k++)
            a[k] = k * 3 + 1;
        int s = 0;
        for (int round = 0; round < 2100; round++)
            s += covered(a, 5 + round % 50, (round & 1) == 0) + window(a);
        System.out.println("covered: " + s);
    }
}
