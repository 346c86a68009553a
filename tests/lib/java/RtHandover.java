// An interpreted method that calls a method whose compiled body is
// hand-written (the test replaces callee's invoker), and catches what the
// compiled code raises.
public class RtHandover {
    static int callee(int x) {
        return x;
    }

    static int caller(int x) {
        try {
            return callee(x) + 100;
        } catch (ArithmeticException e) {
            return e.getMessage().length() == 9 ? -1 : -2;     // "/ by zero"
        }
    }
}
