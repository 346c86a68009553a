// Type flow over bytecode, the rewrites that must keep the program's
// meaning: a local that holds one value inside a loop becomes a constant,
// a compare implied by an earlier one becomes a jump, a compare of a byte
// with 200 disappears, constant operands fold, shifts and masks carry
// their ranges, a table switch tells each case its value.
public class TfFolds {
    static int constantInLoop(int n) {
        int five = 5, s = 0;
        for (int i = 0; i < n; i++)
            s += five * i + (five > 4 ? 1 : 1000);
        return s;
    }

    static int implied(int x, int n) {
        int s = 0;
        for (int i = 0; i < n; i++) {
            if (x < 10) {
                if (x < 20) s += 1; else s += 1000;
            } else {
                s += 2;
            }
        }
        return s;
    }

    static int narrow(int v, int n) {
        int s = 0;
        for (int i = 0; i < n; i++) {
            byte b = (byte) (v + i);
            if (b > 200) s += 1000;
            char c = (char) (v - i);
            if (c < 0) s += 1000;
            int h = (v + i) >> 24;
            if (h > 127 || h < -128) s += 1000;
            int m = (v ^ i) & 0xFF;
            if (m > 255) s += 1000; else s += m;
            int r = (v + i) % 10;
            if (r >= 10 || r <= -10) s += 1000; else s += r;
            s += 3 + 4;
        }
        return s;
    }

    static int cases(int n) {
        int s = 0;
        for (int i = 0; i < n; i++) {
            int k = i & 3;
            switch (k) {
            case 0: s += k == 0 ? 1 : 1000; break;
            case 2: s += k == 2 ? 2 : 1000; break;
            default: s += k; break;
            }
        }
        return s;
    }

    static int countdown(int n) {
        int s = 0;
        for (int i = n; i >= 0; i--) {
            if (i > n) s += 1000;
            s += i;
        }
        return s;
    }

    public static void main(String[] args) {
        long sum = 0;
        for (int i = 0; i < 3000; i++)
            sum += constantInLoop(i & 7) + implied(i - 1500, 3) + narrow(i * 7919, 4) + cases(i & 15) + countdown(i & 31);
        System.out.println(sum);
        System.out.println(constantInLoop(4) + " " + implied(5, 2) + " " + implied(15, 2) + " " + narrow(-1, 3) + " "
                           + narrow(0x7FFFFFFF, 3) + " " + cases(9) + " " + countdown(5));
    }
}
