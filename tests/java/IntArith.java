// Integer and long arithmetic: the explicit checks the interpreter and the
// compiled code must make (MIN / -1, division by zero), remainder signs,
// shift-count masking, narrowing conversions and long compares that differ
// only in the low word.
public class IntArith {
    static int idiv(int a, int b) { return a / b; }
    static int irem(int a, int b) { return a % b; }
    static long ldiv(long a, long b) { return a / b; }
    static long lrem(long a, long b) { return a % b; }

    static void p(String s) { System.out.println(s); }

    static void divisionChecks() {
        int imin = Integer.MIN_VALUE;
        long lmin = Long.MIN_VALUE;
        int m1 = -1;
        p("MIN/-1 = " + idiv(imin, -1) + " inline " + (imin / m1) + " const " + (imin / -1));
        p("MIN%-1 = " + irem(imin, -1) + " inline " + (imin % m1) + " const " + (imin % -1));
        p("LMIN/-1 = " + ldiv(lmin, -1L) + " inline " + (lmin / m1) + " const " + (lmin / -1L));
        p("LMIN%-1 = " + lrem(lmin, -1L) + " inline " + (lmin % m1) + " const " + (lmin % -1L));

        int zero = 0;
        long lzero = 0;
        int one = 1;
        try { p("no " + idiv(1, 0)); } catch (ArithmeticException e) { p("idiv: " + e.getMessage()); }
        try { p("no " + irem(1, 0)); } catch (ArithmeticException e) { p("irem: " + e.getMessage()); }
        try { p("no " + ldiv(1, 0)); } catch (ArithmeticException e) { p("ldiv: " + e.getMessage()); }
        try { p("no " + lrem(1, 0)); } catch (ArithmeticException e) { p("lrem: " + e.getMessage()); }
        try { p("no " + (one / 0)); } catch (ArithmeticException e) { p("idiv const: " + e); }
        try { p("no " + (one % 0)); } catch (ArithmeticException e) { p("irem const: " + e); }
        try { p("no " + (lzero / 0L)); } catch (ArithmeticException e) { p("ldiv const: " + e); }
        try { p("no " + (lzero % 0L)); } catch (ArithmeticException e) { p("lrem const: " + e); }
        try { p("no " + (imin / zero)); } catch (ArithmeticException e) { p("MIN/0: " + e.getMessage()); }
        try { p("no " + (lmin % lzero)); } catch (ArithmeticException e) { p("LMIN%0: " + e.getMessage()); }
        // The quotient is never stored when the division throws.
        int q = 17;
        try { q = one / zero; } catch (ArithmeticException e) { p("q still " + q); }
    }

    static void remainders() {
        int[] as = {7, -7, 7, -7, 0, 1, -1, 5, Integer.MAX_VALUE, Integer.MIN_VALUE, Integer.MIN_VALUE, 123456789};
        int[] bs = {3, 3, -3, -3, 5, Integer.MIN_VALUE, Integer.MIN_VALUE, 5, -2, 2, Integer.MAX_VALUE, -10};
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < as.length; i++) {
            sb.setLength(0);
            sb.append(as[i]).append(" / ").append(bs[i]).append(" = ").append(as[i] / bs[i]);
            sb.append(", % = ").append(as[i] % bs[i]);
            p(sb.toString());
        }
        long[] la = {7L, -7L, 7L, -7L, 0x123456789AL, -0x123456789AL, Long.MAX_VALUE, Long.MIN_VALUE, 1L << 40};
        long[] lb = {3L, 3L, -3L, -3L, 0x10000L, 0x10001L, -2L, 3L, -(1L << 33)};
        for (int i = 0; i < la.length; i++) {
            p(la[i] + " / " + lb[i] + " = " + (la[i] / lb[i]) + ", % = " + (la[i] % lb[i]));
        }
        // Constant divisors (the compiler may strength-reduce these).
        int[] xs = {-9, -8, -7, -1, 0, 1, 7, 8, 9, 1000001, -1000001, Integer.MIN_VALUE, Integer.MAX_VALUE};
        for (int i = 0; i < xs.length; i++) {
            int x = xs[i];
            p(x + ": /2 " + (x / 2) + " %2 " + (x % 2) + " /8 " + (x / 8) + " %8 " + (x % 8)
              + " /7 " + (x / 7) + " %7 " + (x % 7) + " /-4 " + (x / -4) + " %-4 " + (x % -4)
              + " /1 " + (x / 1) + " /-1 " + (x / -1));
        }
    }

    static void shifts() {
        int[] counts = {0, 1, 31, 32, 33, -1, 63, 64, 65, -33};
        int[] vals = {1, -1, 0x80000000, 0x12345678, 0x7FFFFFFF};
        for (int v : vals) {
            StringBuilder sb = new StringBuilder();
            sb.append("int ").append(v).append(':');
            for (int c : counts) {
                sb.append(' ').append(v << c).append('/').append(v >> c).append('/').append(v >>> c);
            }
            p(sb.toString());
        }
        long[] lvals = {1L, -1L, 0x8000000000000000L, 0x123456789ABCDEF0L, 0x00000000FFFFFFFFL};
        for (long v : lvals) {
            StringBuilder sb = new StringBuilder();
            sb.append("long ").append(v).append(':');
            for (int c : counts) {
                sb.append(' ').append(v << c).append('/').append(v >> c).append('/').append(v >>> c);
            }
            p(sb.toString());
        }
        // Constant shift counts.
        int v = 0x87654321;
        long lv = 0x876543210FEDCBA9L;
        p("const int: " + (v << 0) + " " + (v >> 31) + " " + (v >>> 31) + " " + (v << 32) + " " + (v >>> 33) + " " + (v >> -1));
        p("const long: " + (lv << 0) + " " + (lv >> 63) + " " + (lv >>> 63) + " " + (lv << 64) + " " + (lv >>> 65)
          + " " + (lv >> 32) + " " + (lv >>> 32) + " " + (lv << 32) + " " + (lv >> 31) + " " + (lv << 33));
    }

    static void conversions() {
        int[] cv = {0x80, 0xFF, 0x8000, 0xFFFF, 0x7F, 0x7FFF, 0x12345678, -1, 0x10080, -129};
        for (int x : cv) {
            byte b = (byte) x;
            char c = (char) x;
            short s = (short) x;
            p("i2b/i2c/i2s " + x + " -> " + b + " " + (int) c + " " + s);
        }
        long[] lv = {0x123456789L, -0x123456789L, 0xFFFFFFFFL, 0x80000000L, Long.MIN_VALUE, -1L};
        for (long l : lv) {
            p("l2i " + l + " -> " + (int) l + " i2l back " + (long) (int) l);
        }
        char ch = 'A';
        ch += 0xFFFF;
        p("char wrap " + (int) ch);
        byte by = 127;
        by++;
        p("byte wrap " + by);
        short sh = -32768;
        sh--;
        p("short wrap " + sh);
        char c2 = (char) -1;
        p("char -1 " + (int) c2 + " as int compare " + (c2 > 0));
    }

    static void compares() {
        long[][] pairs = {
            {0x100000001L, 0x100000002L},
            {0x180000000L, 0x17FFFFFFFL},
            {0xFFFFFFFF00000001L, 0xFFFFFFFF80000000L},
            {0x7FFFFFFF00000000L, 0x7FFFFFFFFFFFFFFFL},
            {-1L, 0xFFFFFFFFL},
            {0x0000000080000000L, 0x000000007FFFFFFFL},
            {5L, 5L},
        };
        for (long[] pr : pairs) {
            long a = pr[0], b = pr[1];
            p(a + " vs " + b + ": lt " + (a < b) + " le " + (a <= b) + " gt " + (a > b) + " ge " + (a >= b)
              + " eq " + (a == b) + " ne " + (a != b) + " cmp " + Long.compare(a, b));
        }
        int[][] ip = {{Integer.MIN_VALUE, Integer.MAX_VALUE}, {-1, 0}, {0, -1}, {3, 3}};
        for (int[] pr : ip) {
            int a = pr[0], b = pr[1];
            p(a + " vs " + b + ": lt " + (a < b) + " gt " + (a > b) + " eq " + (a == b) + " cmp " + Integer.compare(a, b));
        }
    }

    static void overflowAndMisc() {
        int max = Integer.MAX_VALUE, min = Integer.MIN_VALUE;
        p("MAX+1 " + (max + 1) + " MIN-1 " + (min - 1) + " MAX*2 " + (max * 2) + " -MIN " + (-min)
          + " abs(MIN) " + Math.abs(min) + " MIN*-1 " + (min * -1));
        long lmax = Long.MAX_VALUE, lmin = Long.MIN_VALUE;
        p("LMAX+1 " + (lmax + 1) + " LMIN-1 " + (lmin - 1) + " LMAX*3 " + (lmax * 3) + " -LMIN " + (-lmin)
          + " abs(LMIN) " + Math.abs(lmin));
        long a = 0x12345678L, b = 0x9ABCDEF0L;
        p("long mul " + (a * b) + " " + (a * -b) + " " + (0xFFFFFFFFL * 0xFFFFFFFFL) + " " + (-1L * 0x7FFFFFFFFFFFFFFFL));
        p("int mul " + (0x12345 * 0x6789A) + " " + (-46341 * 46341) + " " + (65536 * 65536));
        p("bitops " + (0xF0F0F0F0 & 0x0FF00FF0) + " " + (0xF0F0F0F0 | 0x0F) + " " + (0xF0F0F0F0 ^ -1) + " " + (~0x1234));
        p("lbitops " + (0xF0F0F0F0F0F0F0F0L & 0x00FF00FF00FF00FFL) + " " + (0xF0L | 0x0F00000000000000L)
          + " " + (0x5555555555555555L ^ -1L) + " " + (~0x123456789L));
        int i = 0;
        i += 1000000;
        i -= 70000;
        int j = 5;
        j += 200;      // wide iinc
        j += -30000;
        p("iinc " + i + " " + j);
        p("min/max " + Math.min(-3, 7) + " " + Math.max(-3, 7) + " " + Math.min(lmin, 0L) + " " + Math.max(lmin, 0L));
    }

    // A mixing loop: every operator over many values, folded into a checksum.
    static void checksums() {
        int h = 0x2545F491;
        long lh = 0x9E3779B97F4A7C15L;
        for (int i = 1; i <= 3000; i++) {
            int x = h ^ (h >>> 13);
            x *= 0x5BD1E995;
            x += i / 7 - i % 13;
            x ^= x << 5;
            h = x + (x >> 3) - (i & 0xFF) * 3;
            long y = lh ^ (lh >>> 29);
            y *= 0xBF58476D1CE4E5B9L;
            y += (long) i * i / 11 - (long) h % 97;
            y ^= y << 17;
            lh = y + (y >> 7) - (y >>> 41);
        }
        p("checksum int " + h + " long " + lh);
    }

    public static void main(String[] args) {
        divisionChecks();
        remainders();
        shifts();
        conversions();
        compares();
        overflowAndMisc();
        checksums();
    }
}
