// A float compare leaves its operands on the x87 stack; one arm of a
// conditional then calls a method (which empties the x87 stack) and the
// other does not, so at the join the calling arm must rebuild the other arm's
// x87 layout, placeholder entries included, under the result.
public class FpJoinHole {
    static double id(double v) { return v; }
    static float idF(float v) { return v; }

    static double callElse(float x) { return (x > 1.0f) ? 7.0 : id(1.25); }
    static double callThen(float x) { return (x > 1.0f) ? id(7.0) : 1.25; }
    static double subtract(float x) { return 3.0 - ((x > 1.0f) ? 7.0 : id(1.25)); }
    static float floats(float x, float y) { return (x < y) ? idF(x * 2) : y; }
    static double nested(float x, double d) {
        return ((x != 0.0f) ? ((d >= 2.0) ? id(d) : d * 3) : id(-d)) + 0.5;
    }
    static double nanCompare(float x) { return 3.0 - (((0.0f / 0.0f) > x) ? 9.0 : id(x * 2.0)); }

    public static void main(String[] args) {
        System.out.println("else " + callElse(0f) + " " + callElse(2f));
        System.out.println("then " + callThen(0f) + " " + callThen(2f));
        System.out.println("subtract " + subtract(0f) + " " + subtract(2f));
        System.out.println("floats " + floats(1f, 5f) + " " + floats(5f, 1f));
        System.out.println("nested " + nested(1f, 4.0) + " " + nested(1f, 1.0) + " " + nested(0f, 4.0));
        System.out.println("nan " + nanCompare(2f));
    }
}
