// Type flow over bytecode: a compare of a local with a byte value v that
// fails "x < v" leaves x >= v >= -128, so x may still be -128 on the
// fall-through edge; a later test of x == -128 must stay.
public class TfNarrowCompare {
    static byte[] bytes = { -128, 127, 0 };

    static int ge(int x, int k) {
        int r = 0;
        for (int j = 0; j < 2; j++) {
            if (x >= bytes[k]) {
                if (x == -128) r += 100; else r += 10;
            } else {
                r += 1;
            }
        }
        return r;
    }

    static int gt(int x, int k) {
        int r = 0;
        for (int j = 0; j < 2; j++) {
            if (x > bytes[k]) {
                if (x == -127) r += 100; else r += 10;
            } else {
                if (x == 127) r += 1000; else r += 1;
            }
        }
        return r;
    }

    public static void main(String[] args) {
        long sum = 0;
        for (int i = 0; i < 3000; i++)
            sum += ge(-128 + (i & 1), i % 3) + gt(-127 + (i % 3), i % 3) + gt(127, 1);
        System.out.println(sum);
        System.out.println(ge(-128, 0) + " " + gt(-127, 0) + " " + gt(127, 1));
    }
}
