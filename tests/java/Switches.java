// tableswitch and lookupswitch of every shape: empty, one case, small,
// dense, sparse (compare tree and run-time search), negative keys and the
// extremes of int.
public class Switches {
    static int empty(int k) { switch (k) { default: return -1; } }
    static int one(int k) { switch (k) { case 7: return 70; default: return -1; } }
    static int small(int k) {
        switch (k) { case 1: return 10; case 2: return 20; case 3: return 30; case 4: return 40; default: return -1; }
    }
    static int dense(int k) {
        switch (k) {
        case -3: return 1; case -2: return 2; case -1: return 3; case 0: return 4; case 1: return 5;
        case 2: return 6; case 3: return 7; case 5: return 8; case 6: return 9; case 7: return 10;
        default: return -1;
        }
    }
    static int sparse(int k) {
        switch (k) {
        case -1000: return 1; case -50: return 2; case 0: return 3; case 3: return 4; case 17: return 5;
        case 100: return 6; case 1000: return 7; case 5000: return 8; case 99999: return 9;
        case 1000000: return 10; case 12345678: return 11; case Integer.MAX_VALUE: return 12;
        case Integer.MIN_VALUE: return 13;
        default: return -1;
        }
    }
    static int extremes(int k) {
        switch (k) { case Integer.MIN_VALUE: return 1; case Integer.MAX_VALUE: return 2; default: return 0; }
    }
    static int big(int k) {
        switch (k) {
        case 0: return 0; case 3: return 1; case 6: return 2; case 9: return 3; case 12: return 4;
        case 15: return 5; case 18: return 6; case 21: return 7; case 24: return 8; case 27: return 9;
        case 30: return 10; case 33: return 11; case 36: return 12; case 39: return 13; case 42: return 14;
        case 45: return 15; case 48: return 16; case 51: return 17; case 54: return 18; case 57: return 19;
        case 60: return 20; case 63: return 21; case 66: return 22; case 69: return 23; case 72: return 24;
        default: return -1;
        }
    }
    static int sharedTargets(int k) {
        int r = 0;
        switch (k) {
        case 10: case 11: case 12: r = 1; break;
        case 20: case 21: r = 2; break;
        case 40: r = 3; break;
        case 41: case 42: case 43: case 44: case 45: case 46: r = 4; break;
        default: r = 5;
        }
        return r * 100 + k;
    }
    static String strings(String s) {
        switch (s) { case "a": return "A"; case "bb": return "B"; default: return "?"; }
    }

    public static void main(String[] args) {
        int[] keys = {Integer.MIN_VALUE, -1001, -1000, -50, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
                      12, 17, 20, 21, 24, 40, 43, 46, 47, 72, 73, 100, 1000, 5000, 99999, 1000000, 12345678,
                      Integer.MAX_VALUE - 1, Integer.MAX_VALUE};
        StringBuilder sb = new StringBuilder();
        for (int k : keys) {
            sb.setLength(0);
            sb.append(k).append(':').append(empty(k)).append(' ').append(one(k)).append(' ').append(small(k))
              .append(' ').append(dense(k)).append(' ').append(sparse(k)).append(' ').append(extremes(k))
              .append(' ').append(big(k)).append(' ').append(sharedTargets(k));
            System.out.println(sb);
        }
        System.out.println(strings("a") + strings("bb") + strings("c"));
    }
}
