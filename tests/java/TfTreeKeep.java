// Type flow over bytecode: a branch whose outcome the ranges decide loses
// its compare, but never an operand that can raise or act: arraylength of
// null, a division by zero, an array element out of bounds, a field of
// null, a call that prints.
public class TfTreeKeep {
    byte b = 5;
    static int calls;

    static byte one() { calls++; return 1; }

    static int length(int[] a) {
        int r = 0;
        for (int k = 0; k < 2; k++)
            if (a.length >= 0) r++;
        return r;
    }

    static int divide(int x, int d) {
        int r = 0;
        for (int k = 0; k < 2; k++)
            if ((x / d) % 2 < 2) r++;
        return r;
    }

    static int element(byte[] a, int i) {
        int r = 0;
        for (int k = 0; k < 2; k++)
            if (a[i] < 200) r++;
        return r;
    }

    static int field(TfTreeKeep t) {
        int r = 0;
        for (int k = 0; k < 2; k++)
            if (t.b > -200) r++;
        return r;
    }

    static int call() {
        int r = 0;
        for (int k = 0; k < 2; k++)
            if (one() <= 127) r++;
        return r;
    }

    public static void main(String[] args) {
        int[] ints = new int[3];
        byte[] bytes = new byte[3];
        TfTreeKeep t = new TfTreeKeep();
        long sum = 0;
        for (int i = 0; i < 3000; i++)
            sum += length(ints) + divide(i, 1 + (i & 3)) + element(bytes, i % 3) + field(t) + call();
        System.out.println(sum + " " + calls);
        try { length(null); System.out.println("no exception"); } catch (NullPointerException e) { System.out.println("npe length"); }
        try { divide(5, 0); System.out.println("no exception"); } catch (ArithmeticException e) { System.out.println("arith"); }
        try { element(bytes, 3); System.out.println("no exception"); } catch (ArrayIndexOutOfBoundsException e) { System.out.println("bounds"); }
        try { field(null); System.out.println("no exception"); } catch (NullPointerException e) { System.out.println("npe field"); }
        System.out.println(call() + " " + calls);
    }
}
