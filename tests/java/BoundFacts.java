// Bound checks that one check seems to cover but does not: each case must
// raise ArrayIndexOutOfBoundsException exactly where the interpreter does,
// after the bound-check elimination has merged, moved or deleted checks.
// Then checks that are covered, whose results must not change.  Every case
// runs often enough to be compiled under the default threshold, and prints
// only in the last round.
public class BoundFacts {
    static int sink;

    static void call() { sink++; }

    // i = i + 1 shifts what a[i] proved: the second a[i] is a new index.
    static int increment(int[] a, int i) {
        int s = a[i];
        i = i + 1;
        return s + a[i];
    }

    // The same with the increment alone in a block of its own.
    static int incrementInBranch(int[] a, int i, boolean f) {
        int s = a[i];
        if (f)
            i++;
        return s + a[i];
    }

    // A block without any check still writes i.
    static int storeInBranch(int[] a, int i, boolean f) {
        int s = a[i];
        if (f)
            i = 100;
        return s + a[i];
    }

    // A block without any check writes the array.
    static int arrayInBranch(int[] a, int i, boolean f) {
        int s = a[i];
        if (f)
            a = new int[1];
        return s + a[i];
    }

    // y + 1 and z + 1 inside a says nothing of y and z themselves.
    static int midpointOffsets(int[] a, int y, int z) {
        int s = a[y + 1] + a[z + 1];
        int x = (y + z) >>> 1;
        return s + a[x];
    }

    // The index t = x + 1 is checked after x was written: it says nothing
    // of the new x.
    static int staleAddition(int[] b, int x) {
        b[x + 1] = x = 0;
        return b[x + 1];
    }

    // Two decrements of 100 move a[i] out of what a byte offset can hold.
    static int farDecrement(int[] a, int i) {
        int s = a[i];
        call();
        i -= 100;
        i -= 100;
        return s + a[i + 127];
    }

    // An offset of 200 does not fit a byte: it proves nothing of i + 127.
    static int farOffset(int[] a, int i) {
        return a[i + 200] + a[i + 127];
    }

    // A constant index below zero is never covered.
    static int negativeConstant(int[] a) {
        return a[5] + a[-1];
    }

    // Everything covered in a loop and across a branch: results only.
    static int window(int[] a) {
        int s = 0;
        for (int i = 0; i + 2 < a.length; i++)
            s += a[i] + a[i + 1] + a[i + 2];
        return s;
    }

    static int join(int[] a, int i, boolean f) {
        int s = a[i] + a[i + 1];
        if (f)
            s += a[i + 1];
        else
            s -= a[i];
        return s + a[i] * a[i + 1];
    }

    static int constants() {
        int[] a = new int[10];
        a[9] = 1;
        a[3] = a[9] + 2;
        return a[5] + a[3] + a[9];
    }

    static int binarySearch(int[] a, int key) {
        int lo = 0, hi = a.length - 1;
        while (lo <= hi) {
            int mid = (lo + hi) >>> 1;
            if (a[mid] < key)
                lo = mid + 1;
            else if (a[mid] > key)
                hi = mid - 1;
            else
                return mid;
        }
        return -(lo + 1);
    }

    static void expect(String what, int which, boolean print) {
        int[] a = new int[10];
        for (int k = 0; k < a.length; k++)
            a[k] = k + 1;
        try {
            int r;
            switch (which) {
            case 0: r = increment(a, 9); break;
            case 1: r = incrementInBranch(a, 9, true); break;
            case 2: r = storeInBranch(a, 9, true); break;
            case 3: r = arrayInBranch(a, 5, true); break;
            case 4: r = midpointOffsets(a, -1, -1); break;
            case 5: r = staleAddition(new int[1], -1); break;
            case 6: r = farDecrement(a, 9); break;
            case 7: r = farOffset(new int[60], -150); break;
            case 8: r = negativeConstant(a); break;
            case 9: r = increment(a, 8); break;
            case 10: r = incrementInBranch(a, 9, false); break;
            case 11: r = storeInBranch(a, 9, false); break;
            case 12: r = arrayInBranch(a, 5, false); break;
            case 13: r = midpointOffsets(a, 3, 5); break;
            default: r = farOffset(new int[300], 0); break;
            }
            if (print)
                System.out.println(what + ": " + r);
        } catch (ArrayIndexOutOfBoundsException e) {
            if (print)
                System.out.println(what + ": AIOOBE");
        }
    }

    public static void main(String[] args) {
        String[] names = {"increment", "incrementInBranch", "storeInBranch", "arrayInBranch", "midpointOffsets",
                          "staleAddition", "farDecrement", "farOffset", "negativeConstant", "increment ok",
                          "incrementInBranch ok", "storeInBranch ok", "arrayInBranch ok", "midpointOffsets ok",
                          "farOffset ok"};
        for (int round = 0; round <= 2100; round++)
            for (int k = 0; k < names.length; k++)
                expect(names[k], k, round == 2100);
        int[] a = new int[12];
        for (int k = 0; k < a.length; k++)
            a[k] = k * 3;
        for (int round = 0; round < 2100; round++)
            sink += window(a) + join(a, 4, (round & 1) == 0) + constants() + binarySearch(a, round % 40);
        System.out.println("window " + window(a) + " " + window(new int[2]));
        System.out.println("join " + join(a, 4, true) + " " + join(a, 4, false));
        System.out.println("constants " + constants());
        System.out.println("search " + binarySearch(a, 21) + " " + binarySearch(a, 22) + " " + binarySearch(a, -5));
        try {
            join(a, 11, true);
            System.out.println("join 11: no exception");
        } catch (ArrayIndexOutOfBoundsException e) {
            System.out.println("join 11: AIOOBE");
        }
    }
}
