import java.util.Vector;

// Allocation beyond the heap limit (run with -Xmx16m): each failure is an
// OutOfMemoryError that the program catches, after which it keeps working.
// The heap is filled in 2 MB chunks so that some room is left when the
// error comes even without a collector.
public class OutOfMemory {
    static Object sink;

    public static void main(String[] args) {
        try {
            sink = new long[Integer.MAX_VALUE - 16];
            System.out.println("huge long[]: allocated?");
        } catch (OutOfMemoryError e) {
            System.out.println("huge long[]: OutOfMemoryError");
        }
        try {
            // The first inner array is already too big, so the partly built
            // array costs almost nothing.
            sink = new int[4][8 * 1024 * 1024];
            System.out.println("int[4][8M]: allocated?");
        } catch (OutOfMemoryError e) {
            System.out.println("int[4][8M]: OutOfMemoryError");
        }
        try {
            sink = new byte[64 * 1024 * 1024];
            System.out.println("byte[64M]: allocated?");
        } catch (OutOfMemoryError e) {
            System.out.println("byte[64M]: OutOfMemoryError");
        }
        sink = null;
        Vector<int[]> keep = new Vector<int[]>();
        int chunks = 0;
        try {
            while (true) {
                keep.addElement(new int[512 * 1024]);
                chunks++;
            }
        } catch (OutOfMemoryError e) {
            keep = null;
            System.out.println("chunks: OutOfMemoryError after fewer than 8: " + (chunks < 8));
        }
        int[] small = new int[100];
        for (int i = 0; i < small.length; i++) small[i] = i;
        int sum = 0;
        for (int x : small) sum += x;
        System.out.println("work afterwards: " + sum + " " + "con" + "cat".length());
    }
}
