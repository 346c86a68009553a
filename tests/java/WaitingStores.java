// Stores that the optimizer may keep in a temporary for a while (a field or
// element stored again before anything reads it) must still reach memory
// before every point that can see them: another reference to the same
// object or array, a call, a monitor, a volatile access, an exception that a
// handler catches, and the method's return.  Each case runs many times so
// that it is compiled, and prints what the observer saw.
public class WaitingStores {
    int f, g;
    long l;
    volatile int v;
    static int s;
    static WaitingStores shared;

    // Two stores in a row: the first is dead, the second must land.
    static int twice(WaitingStores o, int x) {
        o.f = x;
        o.f = x + 1;
        return o.g;
    }

    // The same object under another name reads the store.
    static int alias(WaitingStores a, WaitingStores b, int x) {
        a.f = x;
        int seen = b.f;
        a.f = x + 2;
        return seen + b.f;
    }

    // A call that reads the field sees the store before it.
    static int readF() { return shared.f; }
    static int call(WaitingStores o, int x) {
        o.f = x;
        int seen = readF();
        o.f = seen + 1;
        return seen;
    }

    // A handler sees every store made before the exception.
    static int handler(WaitingStores o, int[] a, int i) {
        try {
            o.f = 10;
            o.l = 20;
            a[i] = 1;
            o.f = 11;
            return 0;
        } catch (ArrayIndexOutOfBoundsException e) {
            return o.f * 100 + (int) o.l;
        }
    }

    // A caller's handler too: the exception leaves the method.
    static void throwing(WaitingStores o, int[] a, int i) {
        o.f = i;
        a[i] = o.f;
        o.f = i + 5;
    }

    // Around a monitor and a volatile write.
    static int ordered(WaitingStores o, int x) {
        o.f = x;
        synchronized (o) {
            o.g = o.f;
        }
        o.f = x + 1;
        o.v = x;
        o.f = x + 2;
        return o.g;
    }

    // Stores in a loop with branches; the last one must be in memory at
    // the exit and at every call in between.
    static int loop(WaitingStores o, int n) {
        int sum = 0;
        for (int i = 0; i < n; i++) {
            o.f = i;
            if ((i & 3) == 0) {
                o.f = i * 2;
                sum += readF();
            }
            o.g = o.f + 1;
        }
        return sum;
    }

    // Arrays: an element stored twice; another array that is the same.
    static int elements(int[] a, int[] b, int i) {
        a[i] = 5;
        a[i] = 6;
        int seen = b[i];
        a[i] = seen + 1;
        b[i + 1] = a[i];
        return a[i] + b[i] + a[i + 1];
    }

    // Static fields: a reader method sees them.
    static int readS() { return s; }
    static int statics(int x) {
        s = x;
        s = x * 2;
        int seen = readS();
        s = seen + 1;
        return seen;
    }

    public static void main(String[] args) {
        WaitingStores o = new WaitingStores();
        shared = o;
        int[] arr = new int[4];
        long total = 0;
        for (int r = 0; r < 3000; r++) {
            int x = r & 15;
            total += twice(o, x) + o.f;
            total += alias(o, o, x) * 3 + o.f;
            total += call(o, x) * 5 + o.f;
            total += handler(o, arr, (r & 1) == 0 ? 9 : 1) + o.f;
            try {
                throwing(o, arr, (r & 1) == 0 ? 7 : 2);
            } catch (ArrayIndexOutOfBoundsException e) {
                total += 1000 * o.f;
            }
            total += o.f;
            total += ordered(o, x) * 7 + o.f + o.v;
            total += loop(o, x) * 11 + o.f + o.g;
            total += elements(arr, arr, x & 1) + arr[0] + arr[1] + arr[2];
            total += statics(x) * 13 + s;
            if (r % 1000 == 999)
                System.out.println(r + " " + total);
        }
        System.out.println("f=" + o.f + " g=" + o.g + " l=" + o.l + " v=" + o.v + " s=" + s);
        System.out.println(handler(o, arr, 5) + " " + o.f + " " + o.l);
        System.out.println(twice(o, 40) + " " + o.f);
    }
}
