import java.util.Arrays;
import java.util.Random;

// Sorting: five algorithms over the same pseudo-random int arrays must agree
// with each other and with Arrays.sort; a stable merge sort of records keeps
// equal keys in input order; a generic insertion sort over Comparable.
public class Sorting {
    interface IntSorter {
        String name();
        void sort(int[] a);
    }

    static final class Quick implements IntSorter {
        public String name() { return "quick"; }
        public void sort(int[] a) { sort(a, 0, a.length - 1); }
        private void sort(int[] a, int lo, int hi) {
            while (lo < hi) {
                int pivot = a[(lo + hi) >>> 1];
                int i = lo, j = hi;
                while (i <= j) {
                    while (a[i] < pivot) i++;
                    while (a[j] > pivot) j--;
                    if (i <= j) {
                        int t = a[i]; a[i] = a[j]; a[j] = t;
                        i++;
                        j--;
                    }
                }
                if (j - lo < hi - i) {
                    sort(a, lo, j);
                    lo = i;
                } else {
                    sort(a, i, hi);
                    hi = j;
                }
            }
        }
    }

    static final class Merge implements IntSorter {
        public String name() { return "merge"; }
        public void sort(int[] a) {
            int[] tmp = new int[a.length];
            for (int width = 1; width < a.length; width *= 2) {
                for (int lo = 0; lo < a.length - width; lo += 2 * width) {
                    int mid = lo + width, hi = Math.min(lo + 2 * width, a.length);
                    int i = lo, j = mid, k = lo;
                    while (i < mid && j < hi) tmp[k++] = a[i] <= a[j] ? a[i++] : a[j++];
                    while (i < mid) tmp[k++] = a[i++];
                    while (j < hi) tmp[k++] = a[j++];
                    System.arraycopy(tmp, lo, a, lo, hi - lo);
                }
            }
        }
    }

    static final class Heap implements IntSorter {
        public String name() { return "heap"; }
        public void sort(int[] a) {
            int n = a.length;
            for (int i = n / 2 - 1; i >= 0; i--) down(a, i, n);
            for (int end = n - 1; end > 0; end--) {
                int t = a[0]; a[0] = a[end]; a[end] = t;
                down(a, 0, end);
            }
        }
        private static void down(int[] a, int i, int n) {
            while (true) {
                int l = 2 * i + 1, big = i;
                if (l < n && a[l] > a[big]) big = l;
                if (l + 1 < n && a[l + 1] > a[big]) big = l + 1;
                if (big == i) return;
                int t = a[i]; a[i] = a[big]; a[big] = t;
                i = big;
            }
        }
    }

    static final class Shell implements IntSorter {
        public String name() { return "shell"; }
        public void sort(int[] a) {
            int gap = 1;
            while (gap < a.length / 3) gap = gap * 3 + 1;
            for (; gap > 0; gap /= 3) {
                for (int i = gap; i < a.length; i++) {
                    int v = a[i], j = i;
                    while (j >= gap && a[j - gap] > v) {
                        a[j] = a[j - gap];
                        j -= gap;
                    }
                    a[j] = v;
                }
            }
        }
    }

    static final class Insertion implements IntSorter {
        public String name() { return "insertion"; }
        public void sort(int[] a) {
            for (int i = 1; i < a.length; i++) {
                int v = a[i], j = i - 1;
                while (j >= 0 && a[j] > v) {
                    a[j + 1] = a[j];
                    j--;
                }
                a[j + 1] = v;
            }
        }
    }

    static final class Rec implements Comparable<Rec> {
        final int key;
        final int seq;
        Rec(int key, int seq) { this.key = key; this.seq = seq; }
        public int compareTo(Rec o) { return key < o.key ? -1 : key > o.key ? 1 : 0; }
        public String toString() { return key + ":" + seq; }
    }

    static void mergeRecs(Rec[] a, Rec[] tmp, int lo, int hi) {
        if (hi - lo < 2) return;
        int mid = (lo + hi) >>> 1;
        mergeRecs(a, tmp, lo, mid);
        mergeRecs(a, tmp, mid, hi);
        int i = lo, j = mid, k = lo;
        while (i < mid && j < hi) tmp[k++] = a[j].compareTo(a[i]) < 0 ? a[j++] : a[i++];
        while (i < mid) tmp[k++] = a[i++];
        while (j < hi) tmp[k++] = a[j++];
        for (k = lo; k < hi; k++) a[k] = tmp[k];
    }

    static <T extends Comparable<T>> void insertion(T[] a) {
        for (int i = 1; i < a.length; i++) {
            T v = a[i];
            int j = i - 1;
            while (j >= 0 && a[j].compareTo(v) > 0) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    static long checksum(int[] a) {
        long h = 17;
        for (int x : a) h = h * 1000003L + x;
        return h;
    }

    public static void main(String[] args) {
        IntSorter[] sorters = {new Quick(), new Merge(), new Heap(), new Shell(), new Insertion()};
        Random rnd = new Random(1);
        int[][] inputs = new int[5][];
        inputs[0] = new int[1500];
        for (int i = 0; i < inputs[0].length; i++) inputs[0][i] = rnd.nextInt();
        inputs[1] = new int[1000];
        for (int i = 0; i < inputs[1].length; i++) inputs[1][i] = rnd.nextInt(10);
        inputs[2] = new int[800];
        for (int i = 0; i < inputs[2].length; i++) inputs[2][i] = 800 - i;
        inputs[3] = new int[0];
        inputs[4] = new int[] {Integer.MAX_VALUE, Integer.MIN_VALUE, 0, -1, 1, Integer.MIN_VALUE};
        for (int t = 0; t < inputs.length; t++) {
            int[] ref = inputs[t].clone();
            Arrays.sort(ref);
            StringBuilder sb = new StringBuilder("input " + t + " (" + ref.length + "): checksum " + checksum(ref));
            for (IntSorter s : sorters) {
                int[] a = inputs[t].clone();
                s.sort(a);
                sb.append(' ').append(s.name()).append(Arrays.equals(a, ref) ? "=ok" : "=WRONG");
            }
            if (ref.length > 0) sb.append(" min ").append(ref[0]).append(" max ").append(ref[ref.length - 1]);
            System.out.println(sb);
        }
        Rec[] recs = new Rec[40];
        for (int i = 0; i < recs.length; i++) recs[i] = new Rec(rnd.nextInt(5), i);
        mergeRecs(recs, new Rec[recs.length], 0, recs.length);
        boolean stable = true;
        for (int i = 1; i < recs.length; i++) {
            if (recs[i - 1].key == recs[i].key && recs[i - 1].seq > recs[i].seq) stable = false;
        }
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 10; i++) sb.append(recs[i]).append(' ');
        System.out.println("stable merge: " + stable + " first " + sb);
        String[] words = {"kiwi", "apple", "mango", "fig", "banana", "cherry", "date", "apple"};
        insertion(words);
        System.out.println("generic insertion: " + Arrays.toString(words));
        Integer[] boxed = {5, 3, 9, 1, 7, 3};
        insertion(boxed);
        System.out.println("boxed: " + Arrays.toString(boxed));
    }
}
