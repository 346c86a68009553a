// Type flow over bytecode: an increment in a loop may wrap.  Counting up
// from 0x7FFFFFF0 while i > 0 ends when i wraps to MIN_VALUE, after 16 trips;
// a range widened to [0x7FFFFFF0, MAX] would make "i > 0" always true.
public class TfLoopWrap {
    static int up(int start) {
        int n = 0;
        for (int i = start; i > 0; i++)
            n++;
        return n;
    }

    static int down(int start) {
        int n = 0;
        for (int i = start; i < 0; i -= 2)
            n++;
        return n;
    }

    static int fixed() {
        int n = 0;
        for (int i = 0x7FFFFFF0; i > 0; i++)
            n++;
        return n;
    }

    static int counted(int limit) {
        int n = 0;
        for (int i = 0; i < limit; i++)
            if (i >= 0) n++;
        return n;
    }

    public static void main(String[] args) {
        long sum = 0;
        for (int i = 0; i < 3000; i++)
            sum += up(0x7FFFFFF0 + (i & 7)) + down(0x80000000 + 2 * (i & 7) + 1) + counted(i & 15) + fixed();
        System.out.println(sum);
        System.out.println(up(0x7FFFFFF0) + " " + down(0x8000000F) + " " + fixed() + " " + counted(10));
    }
}
