// Type flow over bytecode: "x + 1 < 5" says nothing about x when x + 1 may
// wrap: for x = Integer.MAX_VALUE the sum is negative, so the branch is
// taken with x far above 3.
public class TfOffsetWrap {
    static int plus(int x) {
        int r = 0;
        for (int k = 0; k < 2; k++) {
            if (x + 1 < 5) {
                if (x > 100) r += 100; else r += 1;
            } else {
                r += 10;
            }
        }
        return r;
    }

    static int minus(int x) {
        int r = 0;
        for (int k = 0; k < 2; k++) {
            int y = x - 1;
            if (y > 5) {
                if (x < 0) r += 100; else r += 1;
            } else {
                r += 10;
            }
        }
        return r;
    }

    public static void main(String[] args) {
        long sum = 0;
        for (int i = 0; i < 3000; i++)
            sum += plus((i & 1) == 0 ? Integer.MAX_VALUE : i) + minus((i & 1) == 0 ? Integer.MIN_VALUE : i);
        System.out.println(sum);
        System.out.println(plus(Integer.MAX_VALUE) + " " + plus(2) + " " + minus(Integer.MIN_VALUE) + " " + minus(3));
    }
}
