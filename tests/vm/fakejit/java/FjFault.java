// Hardware faults in compiled code become Java exceptions through the fault
// raiser: null loads and null checks, division by zero, the idiv overflow
// that is repaired when the divisor is in ecx and raised when it is in edx,
// and stack overflow in the yellow zone, twice.
public class FjFault {
    static int fj_load(int[] a) { return a[0]; }
    static int fj_check(Object o) { o.getClass(); return 1; }
    static int fj_div(int a, int b) { return a / b; }
    static int fj_divx(int a, int b) { return a / b; }
    static int fj_overflow() { return fj_overflow() + 1; }

    public static void main(String[] args) {
        for (int round = 0; round < 2; round++) {
            System.out.println("load " + fj_load(new int[] {42}));
            try {
                System.out.println("load " + fj_load(null));
            } catch (NullPointerException e) {
                System.out.println("load null: " + e);
            }
            System.out.println("check " + fj_check("x"));
            try {
                fj_check(null);
            } catch (NullPointerException e) {
                System.out.println("check null: " + e);
            }
            System.out.println("div " + fj_div(7, 2) + " " + fj_div(-7, 2));
            try {
                fj_div(7, 0);
            } catch (ArithmeticException e) {
                System.out.println("div: " + e);
            }
            System.out.println("div min " + fj_div(Integer.MIN_VALUE, -1));
            System.out.println("divx " + fj_divx(-6, -1));
            try {
                fj_divx(Integer.MIN_VALUE, -1);
            } catch (ArithmeticException e) {
                System.out.println("divx min: " + e);
            }
            try {
                fj_overflow();
            } catch (StackOverflowError e) {
                System.out.println("overflow caught: " + e);
            }
        }
    }
}
