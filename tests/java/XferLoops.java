// An interpreted activation hands its long loop over to compiled code: main
// runs one long loop (int, long, double and object locals), a synchronized
// method and a method whose loop sits in a try block each run one long loop
// on their only call.  Results are printed by methods called once, outside
// the loops.
public class XferLoops {
    static class Cell {
        int v;
        Cell next;
    }

    static int fill;

    synchronized int syncLoop(int n) {
        int s = 0;
        for (int i = 0; i < n; i++)
            s += i ^ (s >>> 3);
        return s;
    }

    static int tryLoop(int[] a, int n) {
        int s = 0;
        try {
            for (int i = 0; i <= n; i++)
                s += a[i] * 3 + i;
        } catch (ArrayIndexOutOfBoundsException e) {
            s = -s;
        }
        return s;
    }

    static void report(long acc, double d, Cell list, int[] arr) {
        int cells = 0;
        int count = 0;
        for (Cell c = list; c != null; c = c.next) {
            cells += c.v;
            count++;
        }
        System.out.println("acc " + acc);
        System.out.println("d " + d);
        System.out.println("cells " + count + " sum " + cells);
        System.out.println("arr " + arr[3] + " " + arr[15]);
    }

    static void others() {
        XferLoops x = new XferLoops();
        int s = x.syncLoop(40000);
        System.out.println("sync " + s);
        int[] a = new int[50000];
        for (int i = 0; i < a.length; i++)
            a[i] = i & 255;
        System.out.println("try " + tryLoop(a, 50000));
    }

    public static void main(String[] args) {
        int n = 30000;
        long acc = 1;
        double d = 0.5;
        Cell list = null;
        int[] arr = new int[16];
        for (int i = 0; i < n; i++) {
            acc = acc * 31 + i;
            d = d * 1.0001 + (i & 7);
            int k = i & 15;
            arr[k] = arr[k] + i;
            if ((i & 1023) == 0) {
                Cell c = new Cell();
                c.v = i;
                c.next = list;
                list = c;
            }
        }
        report(acc, d, list, arr);
        others();
    }
}
