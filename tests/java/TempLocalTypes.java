// Operand-stack values the compiler keeps in its own temporary locals, one
// temporary taking values of different types in turn: a float compare leaves
// its operands cached, then a double joins the branches in the same
// temporaries, and a call flushes every register.  An old float copy must not
// be stored over the double (nor an int over a float, and so on).
public class TempLocalTypes {
    static double id(double v) { return v; }
    static float idF(float v) { return v; }
    static long idL(long v) { return v; }
    static int idI(int v) { return v; }

    static double floatThenDouble(float f) {
        double x;
        if (f == 0.0f) x = 2.0; else x = 3.0;
        return x + id(-0.5);
    }
    static double ternaryMax(float f, double d) {
        return Math.max((f == 0.0f) ? d : 1.0, id(-0.9));
    }
    static double doubleThenFloat(double d, float f) {
        float y;
        if (d < 1.0) y = f; else y = -f;
        return y + idF(0.25f);
    }
    static long intThenLong(int i, long l) {
        long y;
        if (i > 3) y = l; else y = l + 1;
        return y + idL(-7L);
    }
    static float longThenFloat(long l, float f) {
        float y;
        if (l > 3) y = f; else y = f * 2;
        return y + idF(1.5f);
    }
    static int doubleThenInt(double d, int i) {
        int y;
        if (d != 0.5) y = i; else y = i * 3;
        return y + idI(40);
    }

    public static void main(String[] args) {
        System.out.println("float/double " + floatThenDouble(7f) + " " + floatThenDouble(0f));
        System.out.println("max " + ternaryMax(7f, 0.0) + " " + ternaryMax(0f, 5.0));
        System.out.println("double/float " + doubleThenFloat(2.0, 3.5f) + " " + doubleThenFloat(0.0, 3.5f));
        System.out.println("int/long " + intThenLong(9, 0x123456789L) + " " + intThenLong(1, -1L));
        System.out.println("long/float " + longThenFloat(9L, 2.5f) + " " + longThenFloat(1L, 2.5f));
        System.out.println("double/int " + doubleThenInt(2.0, 5) + " " + doubleThenInt(0.5, 5));
    }
}
