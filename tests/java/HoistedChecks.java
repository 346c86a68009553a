// Bound checks that every arm of a branch begins with may move up into the
// block that branches.  Each case must raise exactly what the interpreter
// raises, at the same point: the same exception and index, and no side
// effect of an arm lost or added.  Every case runs often enough to be
// compiled under the default threshold, and prints only in the last round.
public class HoistedChecks {
    static int sink;

    // Both arms begin with a[i]: one check at the branch serves both.
    static int diamond(int[] a, int i, boolean f) {
        int s;
        if (f)
            s = a[i] * 2;
        else
            s = a[i] + 3;
        return s;
    }

    // Both arms check a[i + 1] after plain arithmetic.
    static int offsetArms(int[] a, int i, int k) {
        int s;
        if (k > 0)
            s = a[i + 1] + k;
        else
            s = a[i + 1] - k;
        return s;
    }

    // One arm writes a field before its access: the index exception must
    // come after the write.
    static int storeFirst(int[] a, int i, boolean f) {
        int s;
        if (f) {
            sink = 7;
            s = a[i];
        } else {
            s = a[i];
        }
        return s;
    }

    // One arm loops (with a side effect) before its access.
    static int loopFirst(int[] a, int i, int n) {
        int s;
        if (n > 0) {
            for (int k = 0; k < n; k++)
                sink++;
            s = a[i];
        } else {
            s = a[i];
        }
        return s;
    }

    // One arm checks a[i] and then a[i + 1], the other only a[i]: the index
    // reported is the one that fails first on the path taken.
    static int longerArm(int[] a, int i, boolean f) {
        int s;
        if (f)
            s = a[i] + a[i + 1];
        else
            s = a[i];
        return s;
    }

    // A switch whose every case reads a[i].
    static int switchArms(int[] a, int i, int k) {
        switch (k) {
        case 0: return a[i];
        case 1: return a[i] + 1;
        default: return a[i] + 2;
        }
    }

    // The branch lies in a try range: the handler sees what the arm wrote.
    static int inTry(int[] a, int i, boolean f) {
        int s = -1;
        try {
            if (f) {
                s = 5;
                s = a[i];
            } else {
                s = a[i];
            }
        } catch (ArrayIndexOutOfBoundsException e) {
            return s * 100;
        }
        return s;
    }

    static void expect(String what, int which, boolean print) {
        int[] a = new int[10];
        for (int k = 0; k < a.length; k++)
            a[k] = k + 1;
        sink = 0;
        String r;
        try {
            int v;
            switch (which) {
            case 0: v = diamond(a, 10, true); break;
            case 1: v = diamond(a, -1, false); break;
            case 2: v = diamond(a, 9, false); break;
            case 3: v = offsetArms(a, 9, 1); break;
            case 4: v = offsetArms(a, 8, -1); break;
            case 5: v = storeFirst(a, 10, true); break;
            case 6: v = storeFirst(a, 10, false); break;
            case 7: v = loopFirst(a, 12, 3); break;
            case 8: v = loopFirst(a, 4, 0); break;
            case 9: v = longerArm(a, 9, true); break;
            case 10: v = longerArm(a, 9, false); break;
            case 11: v = switchArms(a, 11, 1); break;
            case 12: v = switchArms(a, 3, 2); break;
            case 13: v = inTry(a, 10, true); break;
            case 14: v = diamond(null, 0, true); break;
            default: v = inTry(a, 2, false); break;
            }
            r = "" + v;
        } catch (ArrayIndexOutOfBoundsException e) {
            r = "AIOOBE " + e.getMessage();
        } catch (NullPointerException e) {
            r = "NPE";
        }
        if (print)
            System.out.println(what + ": " + r + " sink " + sink);
    }

    public static void main(String[] args) {
        String[] names = {"diamond high", "diamond low", "diamond fits", "offset high", "offset fits",
                          "store then raise", "no store, raise", "loop then raise", "no loop",
                          "longer arm raises late", "short arm fits", "switch raises", "switch fits",
                          "try sees store", "null array", "try fits"};
        for (int round = 0; round <= 2100; round++)
            for (int k = 0; k < names.length; k++)
                expect(names[k], k, round == 2100);
    }
}
