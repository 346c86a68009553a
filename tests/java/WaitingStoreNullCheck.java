// A field store that waits in a temporary no longer touches the object
// where the method stored: the null check of the object must still raise
// its exception there, outside the try region that follows, and not at the
// later access inside it.  Each case runs many times so that it is
// compiled; the last run of each meets a null element.
public class WaitingStoreNullCheck {
    int fi;
    WaitingStoreNullCheck(int s) { fi = s; }

    static WaitingStoreNullCheck[] objs = new WaitingStoreNullCheck[8];
    static int inner, count;
    static long cs, seen;

    // The store before the try region raises; the handler inside must not
    // see the exception.
    static void caught() {
        int k = 9;
        while (k-- > 0) {
            objs[k & 7].fi = k;
            try {
                objs[k & 7].fi -= 5;
            } catch (NullPointerException x) {
                inner = k;
            }
            count++;
        }
    }

    // The same under a finally clause and an outer handler: the finally
    // code must not run for the exception of the store before it.
    static void finallyClause() {
        try {
            int k = 9;
            while (k-- > 0) {
                objs[k & 7].fi = k;
                try {
                    objs[k & 7].fi -= 5;
                } finally {
                    cs++;
                }
            }
        } catch (RuntimeException x) {
            seen = cs;
        }
    }

    static void fill(boolean withNull) {
        for (int k = 0; k < 8; k++) objs[k] = new WaitingStoreNullCheck(k * 4 + 7);
        if (withNull) objs[2] = null;
    }

    static String fields() {
        StringBuilder b = new StringBuilder();
        for (int k = 0; k < 8; k++) b.append(objs[k] == null ? "null" : String.valueOf(objs[k].fi)).append(' ');
        return b.toString().trim();
    }

    public static void main(String[] args) {
        String outer = "";
        for (int r = 0; r < 3000; r++) {
            boolean last = r == 2999;
            fill(last);
            inner = -1;
            count = 0;
            try {
                caught();
            } catch (NullPointerException x) {
                outer = "outer";
            }
        }
        System.out.println(outer + " " + inner + " " + count + " " + fields());
        for (int r = 0; r < 3000; r++) {
            fill(r == 2999);
            cs = 0;
            seen = -1;
            finallyClause();
        }
        System.out.println(seen + " " + cs + " " + fields());
    }
}
