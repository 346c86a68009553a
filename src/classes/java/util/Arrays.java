package java.util;

/**
 * Array utilities.  Range errors read like the usual ones:
 * "fromIndex(a) > toIndex(b)" (IllegalArgumentException) and
 * "Array index out of range: i" (ArrayIndexOutOfBoundsException).
 * Primitive sorts are quicksorts (floating-point ones order -0.0 before 0.0
 * and NaN last); object sorts are stable merge sorts.
 */
public final class Arrays {
    private Arrays() {}

    private static final int INSERTION_SORT_THRESHOLD = 7;

    static void rangeCheck(int arrayLength, int fromIndex, int toIndex) {
        if (fromIndex > toIndex) {
            throw new IllegalArgumentException("fromIndex(" + fromIndex + ") > toIndex(" + toIndex + ")");
        }
        if (fromIndex < 0) {
            throw new ArrayIndexOutOfBoundsException(fromIndex);
        }
        if (toIndex > arrayLength) {
            throw new ArrayIndexOutOfBoundsException(toIndex);
        }
    }

    private static void checkLength(int newLength) {
        if (newLength < 0) {
            throw new NegativeArraySizeException(Integer.toString(newLength));
        }
    }

    private static int checkCopyRange(int from, int to) {
        int newLength = to - from;
        if (newLength < 0) {
            throw new IllegalArgumentException(from + " > " + to);
        }
        return newLength;
    }
    // ---- long ----

    public static void fill(long[] a, long val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(long[] a, int fromIndex, int toIndex, long val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static long[] copyOf(long[] original, int newLength) {
        checkLength(newLength);
        long[] copy = new long[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static long[] copyOfRange(long[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        long[] copy = new long[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(long[] a, long[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(a[i] == a2[i])) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(long[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + (int) (a[i] ^ (a[i] >>> 32));
        }
        return result;
    }

    public static String toString(long[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    public static int binarySearch(long[] a, long key) {
        return binarySearch(a, 0, a.length, key);
    }

    public static int binarySearch(long[] a, int fromIndex, int toIndex, long key) {
        rangeCheck(a.length, fromIndex, toIndex);
        int low = fromIndex;
        int high = toIndex - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            long midVal = a[mid];
            int cmp = (midVal < key ? -1 : (midVal == key ? 0 : 1));
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    public static void sort(long[] a) {
        sort(a, 0, a.length);
    }

    public static void sort(long[] a, int fromIndex, int toIndex) {
        rangeCheck(a.length, fromIndex, toIndex);
        quickSort(a, fromIndex, toIndex - 1);
    }
    /** Sorts a[lo..hi] (inclusive) with <. */
    private static void quickSort(long[] a, int lo, int hi) {
        while (hi - lo >= INSERTION_SORT_THRESHOLD) {
            int mid = (lo + hi) >>> 1;
            // Median of three into a[mid].
            if (a[mid] < a[lo]) {
                long t = a[mid]; a[mid] = a[lo]; a[lo] = t;
            }
            if (a[hi] < a[mid]) {
                long t = a[hi]; a[hi] = a[mid]; a[mid] = t;
                if (a[mid] < a[lo]) {
                    t = a[mid]; a[mid] = a[lo]; a[lo] = t;
                }
            }
            long pivot = a[mid];
            int i = lo;
            int j = hi;
            while (i <= j) {
                while (a[i] < pivot) {
                    i++;
                }
                while (pivot < a[j]) {
                    j--;
                }
                if (i <= j) {
                    long t = a[i]; a[i] = a[j]; a[j] = t;
                    i++;
                    j--;
                }
            }
            // Recurse into the smaller side, loop on the larger.
            if (j - lo < hi - i) {
                quickSort(a, lo, j);
                lo = i;
            } else {
                quickSort(a, i, hi);
                hi = j;
            }
        }
        for (int i = lo + 1; i <= hi; i++) {
            long v = a[i];
            int j = i - 1;
            while (j >= lo && v < a[j]) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    // ---- int ----

    public static void fill(int[] a, int val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(int[] a, int fromIndex, int toIndex, int val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static int[] copyOf(int[] original, int newLength) {
        checkLength(newLength);
        int[] copy = new int[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static int[] copyOfRange(int[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        int[] copy = new int[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(int[] a, int[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(a[i] == a2[i])) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(int[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + a[i];
        }
        return result;
    }

    public static String toString(int[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    public static int binarySearch(int[] a, int key) {
        return binarySearch(a, 0, a.length, key);
    }

    public static int binarySearch(int[] a, int fromIndex, int toIndex, int key) {
        rangeCheck(a.length, fromIndex, toIndex);
        int low = fromIndex;
        int high = toIndex - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            int midVal = a[mid];
            int cmp = (midVal < key ? -1 : (midVal == key ? 0 : 1));
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    public static void sort(int[] a) {
        sort(a, 0, a.length);
    }

    public static void sort(int[] a, int fromIndex, int toIndex) {
        rangeCheck(a.length, fromIndex, toIndex);
        quickSort(a, fromIndex, toIndex - 1);
    }
    /** Sorts a[lo..hi] (inclusive) with <. */
    private static void quickSort(int[] a, int lo, int hi) {
        while (hi - lo >= INSERTION_SORT_THRESHOLD) {
            int mid = (lo + hi) >>> 1;
            // Median of three into a[mid].
            if (a[mid] < a[lo]) {
                int t = a[mid]; a[mid] = a[lo]; a[lo] = t;
            }
            if (a[hi] < a[mid]) {
                int t = a[hi]; a[hi] = a[mid]; a[mid] = t;
                if (a[mid] < a[lo]) {
                    t = a[mid]; a[mid] = a[lo]; a[lo] = t;
                }
            }
            int pivot = a[mid];
            int i = lo;
            int j = hi;
            while (i <= j) {
                while (a[i] < pivot) {
                    i++;
                }
                while (pivot < a[j]) {
                    j--;
                }
                if (i <= j) {
                    int t = a[i]; a[i] = a[j]; a[j] = t;
                    i++;
                    j--;
                }
            }
            // Recurse into the smaller side, loop on the larger.
            if (j - lo < hi - i) {
                quickSort(a, lo, j);
                lo = i;
            } else {
                quickSort(a, i, hi);
                hi = j;
            }
        }
        for (int i = lo + 1; i <= hi; i++) {
            int v = a[i];
            int j = i - 1;
            while (j >= lo && v < a[j]) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    // ---- short ----

    public static void fill(short[] a, short val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(short[] a, int fromIndex, int toIndex, short val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static short[] copyOf(short[] original, int newLength) {
        checkLength(newLength);
        short[] copy = new short[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static short[] copyOfRange(short[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        short[] copy = new short[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(short[] a, short[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(a[i] == a2[i])) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(short[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + a[i];
        }
        return result;
    }

    public static String toString(short[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    public static int binarySearch(short[] a, short key) {
        return binarySearch(a, 0, a.length, key);
    }

    public static int binarySearch(short[] a, int fromIndex, int toIndex, short key) {
        rangeCheck(a.length, fromIndex, toIndex);
        int low = fromIndex;
        int high = toIndex - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            short midVal = a[mid];
            int cmp = (midVal < key ? -1 : (midVal == key ? 0 : 1));
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    public static void sort(short[] a) {
        sort(a, 0, a.length);
    }

    public static void sort(short[] a, int fromIndex, int toIndex) {
        rangeCheck(a.length, fromIndex, toIndex);
        quickSort(a, fromIndex, toIndex - 1);
    }
    /** Sorts a[lo..hi] (inclusive) with <. */
    private static void quickSort(short[] a, int lo, int hi) {
        while (hi - lo >= INSERTION_SORT_THRESHOLD) {
            int mid = (lo + hi) >>> 1;
            // Median of three into a[mid].
            if (a[mid] < a[lo]) {
                short t = a[mid]; a[mid] = a[lo]; a[lo] = t;
            }
            if (a[hi] < a[mid]) {
                short t = a[hi]; a[hi] = a[mid]; a[mid] = t;
                if (a[mid] < a[lo]) {
                    t = a[mid]; a[mid] = a[lo]; a[lo] = t;
                }
            }
            short pivot = a[mid];
            int i = lo;
            int j = hi;
            while (i <= j) {
                while (a[i] < pivot) {
                    i++;
                }
                while (pivot < a[j]) {
                    j--;
                }
                if (i <= j) {
                    short t = a[i]; a[i] = a[j]; a[j] = t;
                    i++;
                    j--;
                }
            }
            // Recurse into the smaller side, loop on the larger.
            if (j - lo < hi - i) {
                quickSort(a, lo, j);
                lo = i;
            } else {
                quickSort(a, i, hi);
                hi = j;
            }
        }
        for (int i = lo + 1; i <= hi; i++) {
            short v = a[i];
            int j = i - 1;
            while (j >= lo && v < a[j]) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    // ---- char ----

    public static void fill(char[] a, char val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(char[] a, int fromIndex, int toIndex, char val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static char[] copyOf(char[] original, int newLength) {
        checkLength(newLength);
        char[] copy = new char[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static char[] copyOfRange(char[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        char[] copy = new char[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(char[] a, char[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(a[i] == a2[i])) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(char[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + a[i];
        }
        return result;
    }

    public static String toString(char[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    public static int binarySearch(char[] a, char key) {
        return binarySearch(a, 0, a.length, key);
    }

    public static int binarySearch(char[] a, int fromIndex, int toIndex, char key) {
        rangeCheck(a.length, fromIndex, toIndex);
        int low = fromIndex;
        int high = toIndex - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            char midVal = a[mid];
            int cmp = (midVal < key ? -1 : (midVal == key ? 0 : 1));
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    public static void sort(char[] a) {
        sort(a, 0, a.length);
    }

    public static void sort(char[] a, int fromIndex, int toIndex) {
        rangeCheck(a.length, fromIndex, toIndex);
        quickSort(a, fromIndex, toIndex - 1);
    }
    /** Sorts a[lo..hi] (inclusive) with <. */
    private static void quickSort(char[] a, int lo, int hi) {
        while (hi - lo >= INSERTION_SORT_THRESHOLD) {
            int mid = (lo + hi) >>> 1;
            // Median of three into a[mid].
            if (a[mid] < a[lo]) {
                char t = a[mid]; a[mid] = a[lo]; a[lo] = t;
            }
            if (a[hi] < a[mid]) {
                char t = a[hi]; a[hi] = a[mid]; a[mid] = t;
                if (a[mid] < a[lo]) {
                    t = a[mid]; a[mid] = a[lo]; a[lo] = t;
                }
            }
            char pivot = a[mid];
            int i = lo;
            int j = hi;
            while (i <= j) {
                while (a[i] < pivot) {
                    i++;
                }
                while (pivot < a[j]) {
                    j--;
                }
                if (i <= j) {
                    char t = a[i]; a[i] = a[j]; a[j] = t;
                    i++;
                    j--;
                }
            }
            // Recurse into the smaller side, loop on the larger.
            if (j - lo < hi - i) {
                quickSort(a, lo, j);
                lo = i;
            } else {
                quickSort(a, i, hi);
                hi = j;
            }
        }
        for (int i = lo + 1; i <= hi; i++) {
            char v = a[i];
            int j = i - 1;
            while (j >= lo && v < a[j]) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    // ---- byte ----

    public static void fill(byte[] a, byte val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(byte[] a, int fromIndex, int toIndex, byte val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static byte[] copyOf(byte[] original, int newLength) {
        checkLength(newLength);
        byte[] copy = new byte[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static byte[] copyOfRange(byte[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        byte[] copy = new byte[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(byte[] a, byte[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(a[i] == a2[i])) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(byte[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + a[i];
        }
        return result;
    }

    public static String toString(byte[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    public static int binarySearch(byte[] a, byte key) {
        return binarySearch(a, 0, a.length, key);
    }

    public static int binarySearch(byte[] a, int fromIndex, int toIndex, byte key) {
        rangeCheck(a.length, fromIndex, toIndex);
        int low = fromIndex;
        int high = toIndex - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            byte midVal = a[mid];
            int cmp = (midVal < key ? -1 : (midVal == key ? 0 : 1));
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    public static void sort(byte[] a) {
        sort(a, 0, a.length);
    }

    public static void sort(byte[] a, int fromIndex, int toIndex) {
        rangeCheck(a.length, fromIndex, toIndex);
        quickSort(a, fromIndex, toIndex - 1);
    }
    /** Sorts a[lo..hi] (inclusive) with <. */
    private static void quickSort(byte[] a, int lo, int hi) {
        while (hi - lo >= INSERTION_SORT_THRESHOLD) {
            int mid = (lo + hi) >>> 1;
            // Median of three into a[mid].
            if (a[mid] < a[lo]) {
                byte t = a[mid]; a[mid] = a[lo]; a[lo] = t;
            }
            if (a[hi] < a[mid]) {
                byte t = a[hi]; a[hi] = a[mid]; a[mid] = t;
                if (a[mid] < a[lo]) {
                    t = a[mid]; a[mid] = a[lo]; a[lo] = t;
                }
            }
            byte pivot = a[mid];
            int i = lo;
            int j = hi;
            while (i <= j) {
                while (a[i] < pivot) {
                    i++;
                }
                while (pivot < a[j]) {
                    j--;
                }
                if (i <= j) {
                    byte t = a[i]; a[i] = a[j]; a[j] = t;
                    i++;
                    j--;
                }
            }
            // Recurse into the smaller side, loop on the larger.
            if (j - lo < hi - i) {
                quickSort(a, lo, j);
                lo = i;
            } else {
                quickSort(a, i, hi);
                hi = j;
            }
        }
        for (int i = lo + 1; i <= hi; i++) {
            byte v = a[i];
            int j = i - 1;
            while (j >= lo && v < a[j]) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    // ---- boolean ----

    public static void fill(boolean[] a, boolean val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(boolean[] a, int fromIndex, int toIndex, boolean val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static boolean[] copyOf(boolean[] original, int newLength) {
        checkLength(newLength);
        boolean[] copy = new boolean[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static boolean[] copyOfRange(boolean[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        boolean[] copy = new boolean[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(boolean[] a, boolean[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(a[i] == a2[i])) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(boolean[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + (a[i] ? 1231 : 1237);
        }
        return result;
    }

    public static String toString(boolean[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    // ---- float ----

    public static void fill(float[] a, float val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(float[] a, int fromIndex, int toIndex, float val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static float[] copyOf(float[] original, int newLength) {
        checkLength(newLength);
        float[] copy = new float[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static float[] copyOfRange(float[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        float[] copy = new float[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(float[] a, float[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(Float.floatToIntBits(a[i]) == Float.floatToIntBits(a2[i]))) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(float[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + Float.floatToIntBits(a[i]);
        }
        return result;
    }

    public static String toString(float[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    public static int binarySearch(float[] a, float key) {
        return binarySearch(a, 0, a.length, key);
    }

    public static int binarySearch(float[] a, int fromIndex, int toIndex, float key) {
        rangeCheck(a.length, fromIndex, toIndex);
        int low = fromIndex;
        int high = toIndex - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            float midVal = a[mid];
            int cmp = Float.compare(midVal, key);
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    public static void sort(float[] a) {
        sort(a, 0, a.length);
    }

    public static void sort(float[] a, int fromIndex, int toIndex) {
        rangeCheck(a.length, fromIndex, toIndex);
        // NaNs go to the end; the rest sorts with <; then -0.0 before 0.0.
        int end = toIndex;
        for (int i = toIndex - 1; i >= fromIndex; i--) {
            float v = a[i];
            if (v != v) {
                a[i] = a[--end];
                a[end] = v;
            }
        }
        quickSort(a, fromIndex, end - 1);
        int lo = fromIndex;
        int hi = end;
        while (lo < hi) {
            int mid = (lo + hi) >>> 1;
            if (a[mid] < 0) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        int negZeros = 0;
        int k = lo;
        while (k < end && a[k] == 0) {
            if (Float.floatToRawIntBits(a[k]) < 0) {
                negZeros++;
            }
            k++;
        }
        for (int i = lo; i < k; i++) {
            a[i] = i < lo + negZeros ? -0.0f : 0.0f;
        }
    }
    /** Sorts a[lo..hi] (inclusive) with <. */
    private static void quickSort(float[] a, int lo, int hi) {
        while (hi - lo >= INSERTION_SORT_THRESHOLD) {
            int mid = (lo + hi) >>> 1;
            // Median of three into a[mid].
            if (a[mid] < a[lo]) {
                float t = a[mid]; a[mid] = a[lo]; a[lo] = t;
            }
            if (a[hi] < a[mid]) {
                float t = a[hi]; a[hi] = a[mid]; a[mid] = t;
                if (a[mid] < a[lo]) {
                    t = a[mid]; a[mid] = a[lo]; a[lo] = t;
                }
            }
            float pivot = a[mid];
            int i = lo;
            int j = hi;
            while (i <= j) {
                while (a[i] < pivot) {
                    i++;
                }
                while (pivot < a[j]) {
                    j--;
                }
                if (i <= j) {
                    float t = a[i]; a[i] = a[j]; a[j] = t;
                    i++;
                    j--;
                }
            }
            // Recurse into the smaller side, loop on the larger.
            if (j - lo < hi - i) {
                quickSort(a, lo, j);
                lo = i;
            } else {
                quickSort(a, i, hi);
                hi = j;
            }
        }
        for (int i = lo + 1; i <= hi; i++) {
            float v = a[i];
            int j = i - 1;
            while (j >= lo && v < a[j]) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    // ---- double ----

    public static void fill(double[] a, double val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(double[] a, int fromIndex, int toIndex, double val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    public static double[] copyOf(double[] original, int newLength) {
        checkLength(newLength);
        double[] copy = new double[newLength];
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    public static double[] copyOfRange(double[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        double[] copy = new double[newLength];
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(double[] a, double[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!(Double.doubleToLongBits(a[i]) == Double.doubleToLongBits(a2[i]))) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(double[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (int i = 0; i < a.length; i++) {
            result = 31 * result + Double.hashCode(a[i]);
        }
        return result;
    }

    public static String toString(double[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(a[i]);
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }
    public static int binarySearch(double[] a, double key) {
        return binarySearch(a, 0, a.length, key);
    }

    public static int binarySearch(double[] a, int fromIndex, int toIndex, double key) {
        rangeCheck(a.length, fromIndex, toIndex);
        int low = fromIndex;
        int high = toIndex - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            double midVal = a[mid];
            int cmp = Double.compare(midVal, key);
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    public static void sort(double[] a) {
        sort(a, 0, a.length);
    }

    public static void sort(double[] a, int fromIndex, int toIndex) {
        rangeCheck(a.length, fromIndex, toIndex);
        // NaNs go to the end; the rest sorts with <; then -0.0 before 0.0.
        int end = toIndex;
        for (int i = toIndex - 1; i >= fromIndex; i--) {
            double v = a[i];
            if (v != v) {
                a[i] = a[--end];
                a[end] = v;
            }
        }
        quickSort(a, fromIndex, end - 1);
        int lo = fromIndex;
        int hi = end;
        while (lo < hi) {
            int mid = (lo + hi) >>> 1;
            if (a[mid] < 0) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        int negZeros = 0;
        int k = lo;
        while (k < end && a[k] == 0) {
            if (Double.doubleToRawLongBits(a[k]) < 0) {
                negZeros++;
            }
            k++;
        }
        for (int i = lo; i < k; i++) {
            a[i] = i < lo + negZeros ? -0.0 : 0.0;
        }
    }
    /** Sorts a[lo..hi] (inclusive) with <. */
    private static void quickSort(double[] a, int lo, int hi) {
        while (hi - lo >= INSERTION_SORT_THRESHOLD) {
            int mid = (lo + hi) >>> 1;
            // Median of three into a[mid].
            if (a[mid] < a[lo]) {
                double t = a[mid]; a[mid] = a[lo]; a[lo] = t;
            }
            if (a[hi] < a[mid]) {
                double t = a[hi]; a[hi] = a[mid]; a[mid] = t;
                if (a[mid] < a[lo]) {
                    t = a[mid]; a[mid] = a[lo]; a[lo] = t;
                }
            }
            double pivot = a[mid];
            int i = lo;
            int j = hi;
            while (i <= j) {
                while (a[i] < pivot) {
                    i++;
                }
                while (pivot < a[j]) {
                    j--;
                }
                if (i <= j) {
                    double t = a[i]; a[i] = a[j]; a[j] = t;
                    i++;
                    j--;
                }
            }
            // Recurse into the smaller side, loop on the larger.
            if (j - lo < hi - i) {
                quickSort(a, lo, j);
                lo = i;
            } else {
                quickSort(a, i, hi);
                hi = j;
            }
        }
        for (int i = lo + 1; i <= hi; i++) {
            double v = a[i];
            int j = i - 1;
            while (j >= lo && v < a[j]) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = v;
        }
    }

    // ---- Object ----

    public static void fill(Object[] a, Object val) {
        for (int i = 0, len = a.length; i < len; i++) {
            a[i] = val;
        }
    }

    public static void fill(Object[] a, int fromIndex, int toIndex, Object val) {
        rangeCheck(a.length, fromIndex, toIndex);
        for (int i = fromIndex; i < toIndex; i++) {
            a[i] = val;
        }
    }
    // ---- objects ----

    public static <T> T[] copyOf(T[] original, int newLength) {
        @SuppressWarnings("unchecked")
        Class<? extends T[]> type = (Class<? extends T[]>) original.getClass();
        return copyOf(original, newLength, type);
    }

    @SuppressWarnings("unchecked")
    public static <T, U> T[] copyOf(U[] original, int newLength, Class<? extends T[]> newType) {
        checkLength(newLength);
        T[] copy = ((Object) newType == (Object) Object[].class)
            ? (T[]) new Object[newLength]
            : (T[]) java.lang.reflect.Array.newInstance(newType.getComponentType(), newLength);
        System.arraycopy(original, 0, copy, 0, Math.min(original.length, newLength));
        return copy;
    }

    @SuppressWarnings("unchecked")
    public static <T> T[] copyOfRange(T[] original, int from, int to) {
        int newLength = checkCopyRange(from, to);
        T[] copy = (T[]) java.lang.reflect.Array.newInstance(original.getClass().getComponentType(), newLength);
        System.arraycopy(original, from, copy, 0, Math.min(original.length - from, newLength));
        return copy;
    }

    public static boolean equals(Object[] a, Object[] a2) {
        if (a == a2) {
            return true;
        }
        if (a == null || a2 == null || a2.length != a.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (!Objects.equals(a[i], a2[i])) {
                return false;
            }
        }
        return true;
    }

    public static int hashCode(Object[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (Object element : a) {
            result = 31 * result + (element == null ? 0 : element.hashCode());
        }
        return result;
    }

    public static String toString(Object[] a) {
        if (a == null) {
            return "null";
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            return "[]";
        }
        StringBuilder b = new StringBuilder();
        b.append('[');
        for (int i = 0;; i++) {
            b.append(String.valueOf(a[i]));
            if (i == iMax) {
                return b.append(']').toString();
            }
            b.append(", ");
        }
    }

    public static String deepToString(Object[] a) {
        if (a == null) {
            return "null";
        }
        StringBuilder buf = new StringBuilder();
        deepToString(a, buf, new ArrayList<Object[]>());
        return buf.toString();
    }

    private static void deepToString(Object[] a, StringBuilder buf, List<Object[]> dejaVu) {
        if (a == null) {
            buf.append("null");
            return;
        }
        int iMax = a.length - 1;
        if (iMax == -1) {
            buf.append("[]");
            return;
        }
        dejaVu.add(a);
        buf.append('[');
        for (int i = 0;; i++) {
            Object element = a[i];
            if (element == null) {
                buf.append("null");
            } else if (element instanceof Object[]) {
                boolean seen = false;
                for (Object[] d : dejaVu) {
                    if (d == element) {
                        seen = true;
                    }
                }
                if (seen) {
                    buf.append("[...]");
                } else {
                    deepToString((Object[]) element, buf, dejaVu);
                }
            } else {
                buf.append(primitiveArrayToString(element));
            }
            if (i == iMax) {
                break;
            }
            buf.append(", ");
        }
        buf.append(']');
        dejaVu.remove(dejaVu.size() - 1);
    }

    private static String primitiveArrayToString(Object e) {
        if (e instanceof int[]) {
            return toString((int[]) e);
        } else if (e instanceof long[]) {
            return toString((long[]) e);
        } else if (e instanceof short[]) {
            return toString((short[]) e);
        } else if (e instanceof char[]) {
            return toString((char[]) e);
        } else if (e instanceof byte[]) {
            return toString((byte[]) e);
        } else if (e instanceof boolean[]) {
            return toString((boolean[]) e);
        } else if (e instanceof float[]) {
            return toString((float[]) e);
        } else if (e instanceof double[]) {
            return toString((double[]) e);
        }
        return e.toString();
    }

    public static boolean deepEquals(Object[] a1, Object[] a2) {
        if (a1 == a2) {
            return true;
        }
        if (a1 == null || a2 == null || a1.length != a2.length) {
            return false;
        }
        for (int i = 0; i < a1.length; i++) {
            Object e1 = a1[i];
            Object e2 = a2[i];
            if (e1 == e2) {
                continue;
            }
            if (e1 == null || !deepEquals0(e1, e2)) {
                return false;
            }
        }
        return true;
    }

    static boolean deepEquals0(Object e1, Object e2) {
        if (e1 instanceof Object[] && e2 instanceof Object[]) {
            return deepEquals((Object[]) e1, (Object[]) e2);
        } else if (e1 instanceof byte[] && e2 instanceof byte[]) {
            return equals((byte[]) e1, (byte[]) e2);
        } else if (e1 instanceof short[] && e2 instanceof short[]) {
            return equals((short[]) e1, (short[]) e2);
        } else if (e1 instanceof int[] && e2 instanceof int[]) {
            return equals((int[]) e1, (int[]) e2);
        } else if (e1 instanceof long[] && e2 instanceof long[]) {
            return equals((long[]) e1, (long[]) e2);
        } else if (e1 instanceof char[] && e2 instanceof char[]) {
            return equals((char[]) e1, (char[]) e2);
        } else if (e1 instanceof float[] && e2 instanceof float[]) {
            return equals((float[]) e1, (float[]) e2);
        } else if (e1 instanceof double[] && e2 instanceof double[]) {
            return equals((double[]) e1, (double[]) e2);
        } else if (e1 instanceof boolean[] && e2 instanceof boolean[]) {
            return equals((boolean[]) e1, (boolean[]) e2);
        }
        return e1.equals(e2);
    }

    public static int deepHashCode(Object[] a) {
        if (a == null) {
            return 0;
        }
        int result = 1;
        for (Object element : a) {
            int h;
            if (element instanceof Object[]) {
                h = deepHashCode((Object[]) element);
            } else if (element == null) {
                h = 0;
            } else if (element.getClass().isArray()) {
                h = primitiveArrayHash(element);
            } else {
                h = element.hashCode();
            }
            result = 31 * result + h;
        }
        return result;
    }

    private static int primitiveArrayHash(Object e) {
        if (e instanceof int[]) {
            return hashCode((int[]) e);
        } else if (e instanceof long[]) {
            return hashCode((long[]) e);
        } else if (e instanceof short[]) {
            return hashCode((short[]) e);
        } else if (e instanceof char[]) {
            return hashCode((char[]) e);
        } else if (e instanceof byte[]) {
            return hashCode((byte[]) e);
        } else if (e instanceof boolean[]) {
            return hashCode((boolean[]) e);
        } else if (e instanceof float[]) {
            return hashCode((float[]) e);
        } else if (e instanceof double[]) {
            return hashCode((double[]) e);
        }
        return e.hashCode();
    }

    public static void sort(Object[] a) {
        sort(a, 0, a.length, null);
    }

    public static void sort(Object[] a, int fromIndex, int toIndex) {
        sort(a, fromIndex, toIndex, null);
    }

    public static <T> void sort(T[] a, Comparator<? super T> c) {
        sort(a, 0, a.length, c);
    }

    /** Stable merge sort; a null comparator means natural (Comparable) order. */
    public static <T> void sort(T[] a, int fromIndex, int toIndex, Comparator<? super T> c) {
        rangeCheck(a.length, fromIndex, toIndex);
        int n = toIndex - fromIndex;
        if (n < 2) {
            return;
        }
        Object[] aux = new Object[n];
        System.arraycopy(a, fromIndex, aux, 0, n);
        mergeSort(aux, a, fromIndex, toIndex, -fromIndex, c);
    }

    /** Sorts dest[low..high) using src (a copy of the same elements at offset off) as scratch. */
    @SuppressWarnings({"unchecked", "rawtypes"})
    private static void mergeSort(Object[] src, Object[] dest, int low, int high, int off, Comparator c) {
        int length = high - low;
        if (length < INSERTION_SORT_THRESHOLD) {
            for (int i = low; i < high; i++) {
                for (int j = i; j > low && compare(c, dest[j - 1], dest[j]) > 0; j--) {
                    Object t = dest[j];
                    dest[j] = dest[j - 1];
                    dest[j - 1] = t;
                }
            }
            return;
        }
        int destLow = low;
        int destHigh = high;
        low += off;
        high += off;
        int mid = (low + high) >>> 1;
        mergeSort(dest, src, low, mid, -off, c);
        mergeSort(dest, src, mid, high, -off, c);
        if (compare(c, src[mid - 1], src[mid]) <= 0) {
            System.arraycopy(src, low, dest, destLow, length);
            return;
        }
        for (int i = destLow, p = low, q = mid; i < destHigh; i++) {
            if (q >= high || (p < mid && compare(c, src[p], src[q]) <= 0)) {
                dest[i] = src[p++];
            } else {
                dest[i] = src[q++];
            }
        }
    }

    @SuppressWarnings({"unchecked", "rawtypes"})
    private static int compare(Comparator c, Object x, Object y) {
        if (c == null) {
            return ((Comparable) x).compareTo(y);
        }
        return c.compare(x, y);
    }

    @SuppressWarnings({"unchecked", "rawtypes"})
    public static int binarySearch(Object[] a, Object key) {
        return binarySearch(a, key, (Comparator) null);
    }

    @SuppressWarnings({"unchecked", "rawtypes"})
    public static <T> int binarySearch(T[] a, T key, Comparator<? super T> c) {
        int low = 0;
        int high = a.length - 1;
        while (low <= high) {
            int mid = (low + high) >>> 1;
            int cmp = compare((Comparator) c, a[mid], key);
            if (cmp < 0) {
                low = mid + 1;
            } else if (cmp > 0) {
                high = mid - 1;
            } else {
                return mid;
            }
        }
        return -(low + 1);
    }

    @SafeVarargs
    public static <T> List<T> asList(T... a) {
        return new ArrayView<T>(a);
    }

    /** Fixed-size list written through to the array. */
    private static class ArrayView<E> extends AbstractList<E> implements RandomAccess, java.io.Serializable {
        private final E[] a;

        ArrayView(E[] array) {
            a = Objects.requireNonNull(array);
        }

        public int size() {
            return a.length;
        }

        public Object[] toArray() {
            return Arrays.copyOf(a, a.length, Object[].class);
        }

        public E get(int index) {
            if (index < 0 || index >= a.length) {
                throw new ArrayIndexOutOfBoundsException("Index " + index + " out of bounds for length " + a.length);
            }
            return a[index];
        }

        public E set(int index, E element) {
            if (index < 0 || index >= a.length) {
                throw new ArrayIndexOutOfBoundsException("Index " + index + " out of bounds for length " + a.length);
            }
            E oldValue = a[index];
            a[index] = element;
            return oldValue;
        }

        public int indexOf(Object o) {
            for (int i = 0; i < a.length; i++) {
                if (o == null ? a[i] == null : o.equals(a[i])) {
                    return i;
                }
            }
            return -1;
        }

        public boolean contains(Object o) {
            return indexOf(o) >= 0;
        }
    }
}
