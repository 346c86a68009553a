import java.util.ArrayList;
import java.util.Arrays;
import java.util.Enumeration;
import java.util.HashMap;
import java.util.Hashtable;
import java.util.Iterator;
import java.util.NoSuchElementException;
import java.util.Objects;
import java.util.Random;
import java.util.Stack;
import java.util.Vector;

// The class library behaviour that the compiler's replacement bodies must
// match (Vector messages and equality rules, Random's formula), plus the
// Hashtable, wrapper and parsing behaviour that programs depend on.
public class Library {
    static void p(String s) { System.out.println(s); }

    static void vector() {
        Vector<String> v = new Vector<String>();
        v.addElement("a");
        v.add("b");
        v.addElement(null);
        p("vector " + v + " size " + v.size());
        String[] probes = {"elementAt(-1)", "elementAt(size)", "removeElementAt(size)", "removeElementAt(-1)",
                           "indexOf(x, -1)", "elementAt(size+5)"};
        for (int i = 0; i < probes.length; i++) {
            try {
                switch (i) {
                    case 0: v.elementAt(-1); break;
                    case 1: v.elementAt(v.size()); break;
                    case 2: v.removeElementAt(3); break;
                    case 3: v.removeElementAt(-1); break;
                    case 4: v.indexOf("a", -1); break;
                    case 5: v.elementAt(8); break;
                }
                p(probes[i] + ": no exception");
            } catch (ArrayIndexOutOfBoundsException e) {
                p(probes[i] + ": ArrayIndexOutOfBoundsException " + e.getMessage());
            }
        }
        p("indexOf(null) " + v.indexOf(null) + " contains(null) " + v.contains(null) + " indexOf(b) "
          + v.indexOf(new String("b")) + " indexOf(b, 2) " + v.indexOf("b", 2) + " indexOf(a, 10) " + v.indexOf("a", 10)
          + " contains(c) " + v.contains("c"));
        p("removeElement absent " + v.removeElement("zz") + " " + v + " present " + v.removeElement(new String("a")) + " " + v);
        p("removeElement null " + v.removeElement(null) + " " + v);
        Vector<Object> arrays = new Vector<Object>();
        int[] arr1 = {1};
        arrays.addElement(new int[] {1});
        arrays.addElement(arr1);
        p("arrays by identity " + arrays.indexOf(arr1) + " " + arrays.contains(new int[] {1}));
        Vector<Integer> nums = new Vector<Integer>(2);
        for (int i = 0; i < 20; i++) nums.addElement(i * i);
        nums.insertElementAt(-1, 0);
        nums.setElementAt(-2, 1);
        nums.removeElementAt(5);
        nums.set(2, 100);
        p("nums size " + nums.size() + " first " + nums.firstElement() + " last " + nums.lastElement() + " get(2) " + nums.get(2)
          + " elementAt(5) " + nums.elementAt(5));
        int sum = 0;
        for (Enumeration<Integer> en = nums.elements(); en.hasMoreElements();) sum += en.nextElement();
        int sum2 = 0;
        for (int x : nums) sum2 += x;
        p("enumeration sum " + sum + " iterator sum " + sum2);
        Integer[] copy = new Integer[nums.size()];
        nums.copyInto(copy);
        p("copyInto " + copy[0] + " " + copy[copy.length - 1]);
        @SuppressWarnings("unchecked")
        Vector<Integer> cl = (Vector<Integer>) nums.clone();
        cl.removeAllElements();
        p("clone independent " + cl.size() + " " + nums.size() + " empty " + cl.isEmpty());
        try {
            cl.firstElement();
            p("no exception");
        } catch (NoSuchElementException e) {
            p("firstElement of empty: NoSuchElementException");
        }
        try {
            nums.get(-1);
            p("no exception");
        } catch (ArrayIndexOutOfBoundsException e) {
            p("get(-1): ArrayIndexOutOfBoundsException");
        }
        int removed = 0;
        for (int i = nums.size() - 1; i >= 0; i--) {
            if (nums.elementAt(i) % 2 == 0) {
                nums.removeElementAt(i);
                removed++;
            }
        }
        Iterator<Integer> it = nums.iterator();
        int odd = 0;
        while (it.hasNext()) odd += it.next() & 1;
        p("removed " + removed + " left " + nums + " odd " + odd);

        Stack<String> st = new Stack<String>();
        st.push("x");
        st.push("y");
        st.push("z");
        p("stack peek " + st.peek() + " search(x) " + st.search("x") + " search(q) " + st.search("q") + " pop " + st.pop()
          + " " + st.pop() + " empty " + st.empty() + " size " + st.size());
        st.pop();
        try {
            st.pop();
            p("no exception");
        } catch (java.util.EmptyStackException e) {
            p("pop of empty: EmptyStackException");
        }
    }

    // Keys with a chosen hash code, so that several land in one bucket.
    static class Key {
        final int id;
        Key(int id) { this.id = id; }
        public int hashCode() { return id % 3; }
        public boolean equals(Object o) { return o instanceof Key && ((Key) o).id == id; }
        public String toString() { return "K" + id; }
    }

    static void hashtable() {
        Hashtable<Key, String> h = new Hashtable<Key, String>();
        for (int i = 0; i < 9; i++) h.put(new Key(i), "v" + i);
        p("colliding size " + h.size() + " get K4 " + h.get(new Key(4)) + " get K9 " + h.get(new Key(9))
          + " containsKey K8 " + h.containsKey(new Key(8)) + " contains v7 " + h.contains("v7") + " contains v9 " + h.contains("v9"));
        p("put replaces " + h.put(new Key(4), "four") + " -> " + h.get(new Key(4)) + " size " + h.size());
        p("remove K1 " + h.remove(new Key(1)) + " again " + h.remove(new Key(1)) + " K4 " + h.remove(new Key(4))
          + " K7 " + h.get(new Key(7)) + " size " + h.size());
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 9; i++) sb.append(h.get(new Key(i))).append(' ');
        p("after removes " + sb);
        Hashtable<String, Integer> s = new Hashtable<String, Integer>();
        s.put("Aa", 1);
        s.put("BB", 2);
        s.put("AaAa", 3);
        s.put("BBBB", 4);
        s.put("AaBB", 5);
        p("string collisions " + s.get("Aa") + s.get("BB") + s.get("AaAa") + s.get("BBBB") + s.get("AaBB") + s.get("BBAa")
          + " hash " + "AaBB".hashCode() + "=" + "BBAa".hashCode());
        // Integer keys 0..5 sit in distinct buckets; enumeration runs from
        // the highest bucket down.
        Hashtable<Integer, String> small = new Hashtable<Integer, String>();
        for (int i = 0; i < 6; i++) small.put(i, "" + (char) ('a' + i));
        p("small " + small + " size " + small.size());
        StringBuilder keys = new StringBuilder();
        for (Enumeration<Integer> e = small.keys(); e.hasMoreElements();) keys.append(e.nextElement()).append(' ');
        StringBuilder vals = new StringBuilder();
        for (Enumeration<String> e = small.elements(); e.hasMoreElements();) vals.append(e.nextElement()).append(' ');
        p("keys " + keys + "elements " + vals);
        // Growth: 11 -> 23 -> 47 buckets; the keys stay in distinct buckets.
        Hashtable<Integer, Integer> grow = new Hashtable<Integer, Integer>();
        for (int i = 0; i < 20; i++) grow.put(i, i * i);
        StringBuilder g = new StringBuilder();
        for (Enumeration<Integer> e = grow.keys(); e.hasMoreElements();) g.append(e.nextElement()).append(' ');
        p("grown keys " + g + "get 19 " + grow.get(19));
        try {
            s.put(null, 1);
            p("no exception");
        } catch (NullPointerException e) {
            p("null key: NullPointerException");
        }
        try {
            s.put("k", null);
            p("no exception");
        } catch (NullPointerException e) {
            p("null value: NullPointerException");
        }
        s.clear();
        p("cleared " + s.size() + " " + s.isEmpty() + " " + s);
    }

    static void collections() {
        ArrayList<String> list = new ArrayList<String>();
        for (int i = 0; i < 12; i++) list.add("e" + i);
        list.remove(3);
        list.remove("e7");
        list.set(0, "first");
        list.add(1, "inserted");
        p("ArrayList " + list.size() + " " + list.get(0) + " " + list.get(1) + " " + list.get(list.size() - 1)
          + " indexOf(e5) " + list.indexOf("e5") + " contains(e3) " + list.contains("e3"));
        StringBuilder sb = new StringBuilder();
        for (String s : list) sb.append(s.charAt(s.length() - 1));
        p("ArrayList iteration " + sb);
        try {
            list.get(100);
            p("no exception");
        } catch (IndexOutOfBoundsException e) {
            p("ArrayList.get(100): IndexOutOfBoundsException");
        }
        HashMap<Integer, String> map = new HashMap<Integer, String>();
        int[] keys = {30, 5, 17, 3, 16};
        for (int k : keys) map.put(k, "v" + k);
        p("HashMap get " + map.get(17) + " " + map.get(4) + " size " + map.size() + " containsKey(3) " + map.containsKey(3)
          + " remove(5) " + map.remove(5) + " size " + map.size());
        StringBuilder order = new StringBuilder();
        for (Integer k : map.keySet()) order.append(k).append(' ');
        p("HashMap keys by bucket " + order);
        HashMap<String, Integer> counts = new HashMap<String, Integer>();
        String[] words = {"the", "cat", "and", "the", "dog", "and", "the", "bird"};
        for (String w : words) {
            Integer c = counts.get(w);
            counts.put(w, c == null ? 1 : c + 1);
        }
        p("word counts the=" + counts.get("the") + " and=" + counts.get("and") + " cat=" + counts.get("cat") + " fish="
          + counts.get("fish"));
        int[] arr = {5, -3, 9, 0, 2, 2, -8};
        Arrays.sort(arr);
        p("Arrays.sort " + Arrays.toString(arr));
        String[] names = {"pear", "apple", "fig", "banana"};
        Arrays.sort(names);
        p("Arrays.sort strings " + Arrays.toString(names));
        int[] filled = new int[4];
        Arrays.fill(filled, 7);
        int[] longer = Arrays.copyOf(filled, 6);
        p("fill/copyOf " + Arrays.toString(longer) + " equals " + Arrays.equals(filled, new int[] {7, 7, 7, 7}));
        p("Objects " + Objects.equals(null, null) + " " + Objects.equals("a", null) + " " + Objects.equals("a", "a")
          + " hash(null) " + Objects.hashCode(null) + " hash(a) " + Objects.hashCode("a"));
        try {
            Objects.requireNonNull(null);
            p("no exception");
        } catch (NullPointerException e) {
            p("requireNonNull: NullPointerException");
        }
    }

    static void random() {
        Random r = new Random(42);
        StringBuilder sb = new StringBuilder("nextInt:");
        for (int i = 0; i < 10; i++) sb.append(' ').append(r.nextInt());
        p(sb.toString());
        r = new Random(42);
        sb = new StringBuilder("nextDouble bits:");
        for (int i = 0; i < 10; i++) sb.append(' ').append(Double.doubleToRawLongBits(r.nextDouble()));
        p(sb.toString());
        r = new Random(42);
        sb = new StringBuilder("nextInt(n):");
        for (int i = 0; i < 10; i++) sb.append(' ').append(r.nextInt(100)).append('/').append(r.nextInt(64)).append('/')
                                        .append(r.nextInt(1 << 30 | 1));
        p(sb.toString());
        r = new Random(-7);
        p("nextLong " + r.nextLong() + " " + r.nextLong() + " nextBoolean " + r.nextBoolean() + " " + r.nextBoolean()
          + " nextFloat bits " + Float.floatToRawIntBits(r.nextFloat()));
        r.setSeed(42);
        p("setSeed(42) nextInt " + r.nextInt());
        r = new Random(12345);
        p("nextGaussian bits " + Double.doubleToRawLongBits(r.nextGaussian()) + " " + Double.doubleToRawLongBits(r.nextGaussian())
          + " " + Double.doubleToRawLongBits(r.nextGaussian()));
        try {
            r.nextInt(0);
            p("no exception");
        } catch (IllegalArgumentException e) {
            p("nextInt(0): IllegalArgumentException");
        }
        long acc = 0;
        Random big = new Random(2024);
        for (int i = 0; i < 5000; i++) acc += big.nextInt(1000);
        p("5000 draws sum " + acc);
    }

    static void wrappers() {
        Integer a = 127, b = 127, c = 128, d = 128;
        p("Integer cache 127 " + (a == b) + " 128 " + (c == d) + " -128 " + (Integer.valueOf(-128) == Integer.valueOf(-128))
          + " -129 " + (Integer.valueOf(-129) == Integer.valueOf(-129)) + " equals 128 " + c.equals(d));
        p("other caches Long " + (Long.valueOf(127L) == Long.valueOf(127L)) + " Short " + (Short.valueOf((short) -5) == Short.valueOf((short) -5))
          + " Byte " + (Byte.valueOf((byte) 100) == Byte.valueOf((byte) 100)) + " Character "
          + (Character.valueOf('z') == Character.valueOf('z')) + " Boolean " + (Boolean.valueOf(true) == Boolean.TRUE));
        @SuppressWarnings("deprecation")
        Integer fresh = new Integer(5);
        p("new Integer identity " + (fresh == Integer.valueOf(5)) + " equals " + fresh.equals(5));
        p("equals across types " + Integer.valueOf(5).equals(Long.valueOf(5)) + " hashCodes " + Integer.valueOf(-7).hashCode() + " "
          + Long.valueOf(-7L).hashCode() + " " + Long.valueOf(1L << 40).hashCode() + " " + Boolean.TRUE.hashCode() + " "
          + Boolean.FALSE.hashCode() + " " + Character.valueOf('A').hashCode() + " " + Double.valueOf(1.5).hashCode());
        p("compareTo " + Integer.valueOf(3).compareTo(7) + " " + Long.valueOf(9).compareTo(2L) + " compare "
          + Integer.compare(Integer.MIN_VALUE, 1) + " " + Character.compare('b', 'a'));
        Integer boxed = 1000;
        int sum = 0;
        for (Integer i = 0; i < 10; i++) sum += i + boxed;
        p("autoboxing loop " + sum);
        p("toString radix " + Integer.toString(255, 16) + " " + Integer.toString(-255, 2) + " " + Integer.toString(35, 36)
          + " " + Long.toString(-255L, 16) + " " + Long.toString(Long.MIN_VALUE, 36));
        p("hex/binary " + Integer.toHexString(-1) + " " + Integer.toHexString(255) + " " + Integer.toBinaryString(10) + " "
          + Integer.toBinaryString(Integer.MIN_VALUE) + " " + Integer.toHexString(0));
        p("MIN/MAX " + Integer.MIN_VALUE + " " + Integer.MAX_VALUE + " " + Long.MIN_VALUE + " " + Short.MIN_VALUE + " "
          + Byte.MAX_VALUE + " " + (int) Character.MAX_VALUE);
        p("TYPE " + Integer.TYPE.getName() + " " + Double.TYPE.getName() + " " + Boolean.TYPE.getName() + " "
          + Integer.TYPE.isPrimitive() + " " + Integer.class.isPrimitive());
        p("Character " + Character.isDigit('7') + Character.isDigit('x') + " " + Character.isLetter('q') + Character.isLetter('_')
          + " " + Character.isLetterOrDigit('5') + " " + Character.isWhitespace('\t') + Character.isWhitespace('a') + " "
          + Character.isUpperCase('Q') + Character.isLowerCase('Q') + " " + Character.toUpperCase('m') + Character.toLowerCase('M')
          + " " + Character.digit('f', 16) + " " + Character.digit('9', 8) + " " + Character.forDigit(11, 16));
        p("valueOf strings " + Integer.valueOf("-12") + " " + Long.valueOf("123456789012") + " " + Boolean.valueOf("TRUE") + " "
          + Boolean.valueOf("yes") + " " + Double.valueOf("2.5") + " intValue " + Long.valueOf(1L << 33).intValue() + " "
          + Double.valueOf(-3.9).intValue() + " byteValue " + Integer.valueOf(300).byteValue());
    }

    static void parsing() {
        String[] good = {"0", "-0", "+7", "0010", "-2147483648", "2147483647", "00000000000000000000123"};
        StringBuilder sb = new StringBuilder("parseInt ok:");
        for (String s : good) sb.append(' ').append(Integer.parseInt(s));
        p(sb.toString());
        p("radix " + Integer.parseInt("ff", 16) + " " + Integer.parseInt("-zz", 36) + " " + Integer.parseInt("1010", 2) + " "
          + Integer.parseInt("-80000000", 16) + " " + Integer.parseInt("7fffffff", 16) + " " + Integer.parseInt("Z", 36));
        p("parseLong " + Long.parseLong("9223372036854775807") + " " + Long.parseLong("-9223372036854775808") + " "
          + Long.parseLong("-ff", 16));
        String[] bad = {"abc", "", "-", "+", "2147483648", "-2147483649", " 1", "1 ", "1_000", "--1", "99999999999"};
        for (String s : bad) {
            try {
                p("parseInt \"" + s + "\" = " + Integer.parseInt(s));
            } catch (NumberFormatException e) {
                p("parseInt \"" + s + "\": NumberFormatException " + e.getMessage());
            }
        }
        try {
            Integer.parseInt(null);
            p("no exception");
        } catch (NumberFormatException e) {
            p("parseInt null: NumberFormatException");
        }
        String[] badRadix = {"g", "12", "-"};
        int[] radixes = {16, 2, 16};
        for (int i = 0; i < badRadix.length; i++) {
            try {
                p("parseInt radix " + Integer.parseInt(badRadix[i], radixes[i]));
            } catch (NumberFormatException e) {
                p("parseInt \"" + badRadix[i] + "\" radix " + radixes[i] + ": NumberFormatException");
            }
        }
        try {
            Long.parseLong("9223372036854775808");
            p("no exception");
        } catch (NumberFormatException e) {
            p("parseLong overflow: NumberFormatException " + e.getMessage());
        }
    }

    public static void main(String[] args) {
        vector();
        hashtable();
        collections();
        random();
        wrappers();
        parsing();
    }
}
