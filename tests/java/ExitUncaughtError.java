// An Error subclass thrown out of main with a cause: status 1; the first
// stderr line names the error and its message.
public class ExitUncaughtError {
    public static void main(String[] args) {
        System.out.println("args: " + args.length + (args.length > 1 ? " " + args[0] + "," + args[1] : ""));
        Throwable cause = new ArithmeticException("root cause");
        AssertionError e = new AssertionError("invariant broken");
        e.initCause(cause);
        throw e;
    }
}
