import java.util.Random;
import java.util.Vector;

// The library methods that the compiler binds to hand-written bodies:
// String.equals, Random.next and the Vector methods elementAt, indexOf (both),
// removeElementAt, removeElement and contains.  Every mode must print the same.
// Vector's out-of-range messages are the index alone and removeElement counts
// modCount up once (the JDK's texts and counts differ there).
public class ReplacedBodies {
    static void p(String s) { System.out.println(s); }

    // ---- String.equals ----

    static String copy(String s) { return new String(s.toCharArray()); }

    static void stringEquals() {
        String[] words = {"", "a", "ab", "abc", "abcd", "abcde", "hello, world", "\u00e9t\u00e9\uffff"};
        for (int i = 0; i < words.length; i++) {
            String w = words[i];
            String c = copy(w);
            StringBuilder line = new StringBuilder("eq[" + w.length() + "]");
            line.append(' ').append(w.equals(w)).append(' ').append(w.equals(c)).append(' ').append(c.equals(w));
            for (int j = 0; j < words.length; j++)
                line.append(w.equals(words[j]) ? '1' : '0');
            if (w.length() > 0) {
                // Differ in the first, the middle and the last char.
                for (int k : new int[] {0, w.length() / 2, w.length() - 1}) {
                    char[] cs = w.toCharArray();
                    cs[k]++;
                    line.append(' ').append(w.equals(new String(cs)));
                }
            }
            p(line.toString());
        }
        // Strings that share a char array at different offsets.
        String big = "xxabcabcxx";
        String s1 = big.substring(2, 5), s2 = big.substring(5, 8), s3 = big.substring(1, 4);
        p("offsets " + s1.equals(s2) + " " + s2.equals(s1) + " " + s1.equals(s3) + " " + s1.equals("abc")
          + " " + big.substring(2, 2).equals(""));

        Object[] others = {null, Integer.valueOf(97), new Object(), new StringBuilder("a"), new StringBuffer("a"),
                           Character.valueOf('a'), ReplacedBodies.class,
                           new int[] {97}, new int[0], new byte[] {97}, new byte[0], new char[] {'a'}, new char[0],
                           new short[] {97}, new long[] {97L}, new float[] {97f}, new double[] {97.0},
                           new boolean[] {true}, new boolean[0], new Object[] {"a"}, new String[] {"a"},
                           new String[0], new int[1][1], new char[][] {{'a'}}};
        StringBuilder line = new StringBuilder("others");
        for (int round = 0; round < 3; round++) {
            line.append(' ');
            for (Object o : others) {
                line.append("a".equals(o) ? '1' : '0');
                line.append("".equals(o) ? '1' : '0');
            }
        }
        p(line.toString());
        // Through a reference of type Object, and as the argument of another equals.
        Object o = "abc";
        p("virtual " + o.equals("abc") + " " + o.equals(copy("abc")) + " " + o.equals(new char[] {'a', 'b', 'c'})
          + " " + "abc".equals(o) + " " + new Object().equals(o));
        int hits = 0;
        for (int i = 0; i < 3000; i++) {
            String k = Integer.toString(i % 50);
            if (k.equals("7")) hits++;
            if (k.equals(Integer.valueOf(7))) hits += 1000;
        }
        p("loop hits " + hits);
    }

    // ---- Random.next ----

    static class Bits extends Random {
        Bits(long seed) { super(seed); }
        int bits(int n) { return next(n); }
    }

    static void random() {
        long[] seeds = {0L, 1L, 42L, -1L, 0x5DEECE66DL, Long.MAX_VALUE, Long.MIN_VALUE};
        for (long seed : seeds) {
            Random r = new Random(seed);
            StringBuilder line = new StringBuilder("seed " + seed + ":");
            for (int i = 0; i < 4; i++) line.append(' ').append(r.nextInt());
            for (int n : new int[] {1, 2, 7, 16, 100, 1 << 30, Integer.MAX_VALUE}) line.append(' ').append(r.nextInt(n));
            line.append(' ').append(r.nextLong()).append(' ').append(r.nextBoolean());
            line.append(' ').append(Long.toHexString(Double.doubleToLongBits(r.nextDouble())));
            line.append(' ').append(Integer.toHexString(Float.floatToIntBits(r.nextFloat())));
            byte[] bytes = new byte[7];
            r.nextBytes(bytes);
            for (byte b : bytes) line.append(' ').append(b);
            p(line.toString());
        }
        Bits b = new Bits(12345L);
        StringBuilder line = new StringBuilder("bits");
        for (int n : new int[] {0, 1, 8, 16, 31, 32, 33, 47, 48, 49, 63, 64, 65, -1, -16, Integer.MIN_VALUE})
            line.append(' ').append(n).append('=').append(b.bits(n));
        p(line.toString());
        Random r = new Random(7L);
        long sum = 0;
        for (int i = 0; i < 5000; i++) sum += r.nextInt(1000);
        p("sum " + sum);
        r.setSeed(99L);
        p("reseeded " + r.nextInt() + " " + r.nextInt());
    }

    // ---- Vector ----

    static class Counting {
        static int calls;
        final int key;
        Counting(int key) { this.key = key; }
        public boolean equals(Object o) {
            calls++;
            return o instanceof Counting && ((Counting) o).key == key;
        }
        public int hashCode() { return key; }
        public String toString() { return "C" + key; }
    }

    // Equal to anything: shows which side's equals a search calls.
    static class Anything {
        public boolean equals(Object o) { return true; }
        public String toString() { return "any"; }
    }

    static class Bomb {
        public boolean equals(Object o) { throw new IllegalStateException("bomb " + o); }
    }

    static class CountedVector extends Vector<Object> {
        int mods() { return modCount; }
    }

    static String show(Vector<?> v) {
        StringBuilder sb = new StringBuilder("[");
        for (int i = 0; i < v.size(); i++) {
            if (i > 0) sb.append(',');
            Object e = v.elementAt(i);
            sb.append(e instanceof int[] ? "arr" : String.valueOf(e));
        }
        return sb.append("] size ").append(v.size()).toString();
    }

    static final int ELEMENT_AT = 0, INDEX_OF = 1, INDEX_OF_FROM = 2, CONTAINS = 3, REMOVE_AT = 4, REMOVE = 5;

    static Object op(Vector<Object> v, int kind, Object k, int i) {
        switch (kind) {
            case ELEMENT_AT: return v.elementAt(i);
            case INDEX_OF: return v.indexOf(k);
            case INDEX_OF_FROM: return v.indexOf(k, i);
            case CONTAINS: return v.contains(k);
            case REMOVE_AT: v.removeElementAt(i); return "done";
            default: return v.removeElement(k);
        }
    }

    static void probe(String what, Vector<Object> v, int kind, Object k, int i) {
        try {
            p(what + " = " + op(v, kind, k, i));
        } catch (ArrayIndexOutOfBoundsException e) {
            p(what + ": ArrayIndexOutOfBoundsException " + e.getMessage());
        } catch (RuntimeException e) {
            p(what + ": " + e.getClass().getName() + " " + e.getMessage());
        }
    }

    static void vectorBasics() {
        final CountedVector v = new CountedVector();
        for (String s : new String[] {"a", "b", null, "c", "b", null, "d"}) v.addElement(s);
        int[] arr = {1, 2};
        v.addElement(arr);
        v.addElement(Integer.valueOf(5));
        v.addElement(new Counting(3));
        p("start " + show(v) + " mods " + v.mods());
        final int n = v.size();
        int[] indexes = {0, 1, n - 1, -1, n, n + 5, Integer.MIN_VALUE, Integer.MAX_VALUE};
        for (final int i : indexes) probe("elementAt(" + i + ")", v, ELEMENT_AT, null, i);
        Object[] keys = {"a", "b", copy("c"), "d", "zz", null, arr, new int[] {1, 2}, Integer.valueOf(5),
                         Long.valueOf(5), new Counting(3), new Counting(4)};
        for (final Object k : keys) {
            String name = k instanceof int[] ? (k == arr ? "arr" : "arrcopy")
                          : k instanceof Long ? k + "L" : String.valueOf(k);
            probe("indexOf(" + name + ")", v, INDEX_OF, k, 0);
            probe("contains(" + name + ")", v, CONTAINS, k, 0);
            for (final int s : new int[] {0, 2, 5, n - 1, n, n + 1, -1, Integer.MIN_VALUE})
                probe("indexOf(" + name + "," + s + ")", v, INDEX_OF_FROM, k, s);
        }
        Counting.calls = 0;
        p("counting " + v.indexOf(new Counting(3)) + " calls " + Counting.calls);
        p("anything " + v.indexOf(new Anything()) + " " + v.indexOf(new Anything(), 4) + " " + v.contains(new Anything()));
        p("mods before removes " + v.mods());
        for (final int i : new int[] {-1, n, n + 3}) {
            probe("removeElementAt(" + i + ")", v, REMOVE_AT, null, i);
            p("  mods " + v.mods() + " " + show(v));
        }
        for (final int i : new int[] {0, 3, v.size() - 1, 1}) {
            probe("removeElementAt(" + i + ")", v, REMOVE_AT, null, i);
            p("  mods " + v.mods() + " " + show(v));
        }
        for (final Object k : new Object[] {"zz", null, "b", "b", "b", arr, new Counting(3), "d"}) {
            probe("removeElement(" + (k == arr ? "arr" : String.valueOf(k)) + ")", v, REMOVE, k, 0);
            p("  mods " + v.mods() + " " + show(v));
        }
        while (v.size() > 0) v.removeElementAt(v.size() - 1);
        p("emptied " + show(v) + " mods " + v.mods());
        probe("elementAt(0) empty", v, ELEMENT_AT, null, 0);
        probe("indexOf(null) empty", v, INDEX_OF, null, 0);
        probe("indexOf(null,0) empty", v, INDEX_OF_FROM, null, 0);
        probe("contains(a) empty", v, CONTAINS, "a", 0);
        probe("removeElement(a) empty", v, REMOVE, "a", 0);
        probe("removeElementAt(0) empty", v, REMOVE_AT, null, 0);
        p("mods " + v.mods());

        // Odd and even numbers of elements to move.
        for (int size = 1; size <= 6; size++) {
            StringBuilder line = new StringBuilder("shift " + size + ":");
            for (int at = 0; at < size; at++) {
                Vector<Integer> w = new Vector<Integer>();
                for (int i = 0; i < size; i++) w.addElement(i);
                w.removeElementAt(at);
                line.append(' ').append(show(w));
            }
            p(line.toString());
        }
    }

    static void vectorLocks() throws Exception {
        final Vector<Object> v = new Vector<Object>();
        v.addElement("x");
        v.addElement(new Bomb());
        v.addElement("y");
        // An exception from an element's equals leaves the Vector unlocked.
        probe("indexOf(bomb)", v, INDEX_OF, new Bomb(), 0);
        probe("contains(bomb)", v, CONTAINS, new Bomb(), 0);
        probe("removeElement(bomb)", v, REMOVE, new Bomb(), 0);
        probe("indexOf(y)", v, INDEX_OF, "y", 0);
        // Held by this thread: the bodies take the VM's monitor, nested.
        synchronized (v) {
            probe("held elementAt(2)", v, ELEMENT_AT, null, 2);
            probe("held elementAt(3)", v, ELEMENT_AT, null, 3);
            probe("held removeElementAt(7)", v, REMOVE_AT, null, 7);
            probe("held indexOf(y)", v, INDEX_OF, "y", 0);
            v.removeElementAt(0);
            p("held " + v.size());
        }
        // Another thread can take the lock afterwards.
        final int[] seen = new int[1];
        Thread t = new Thread() {
            public void run() { synchronized (v) { seen[0] = v.size(); } }
        };
        t.start();
        t.join();
        p("other thread saw " + seen[0]);

        // Two threads working on one Vector.
        final Vector<Integer> shared = new Vector<Integer>();
        for (int i = 0; i < 10; i++) shared.addElement(i);
        Thread[] ts = new Thread[2];
        final long[] sums = new long[2];
        for (int t2 = 0; t2 < 2; t2++) {
            final int id = t2;
            ts[t2] = new Thread() { public void run() {
                long s = 0;
                for (int i = 0; i < 1500; i++) {
                    synchronized (shared) {
                        shared.addElement(i);
                        s += shared.elementAt(shared.size() - 1);
                        shared.removeElementAt(shared.size() - 1);
                    }
                    s += shared.elementAt(i % 10);
                    if (shared.indexOf(Integer.valueOf(i % 10)) != i % 10) s -= 1000000;
                }
                sums[id] = s;
            } };
        }
        for (Thread th : ts) th.start();
        for (Thread th : ts) th.join();
        p("threads " + sums[0] + " " + sums[1] + " " + show(shared));
    }

    public static void main(String[] args) throws Exception {
        stringEquals();
        random();
        vectorBasics();
        vectorLocks();
        p("done");
    }
}
