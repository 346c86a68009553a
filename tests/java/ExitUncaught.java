// An exception that nobody catches: the launcher prints it on stderr
// ("Exception in thread "main" ...", then the stack) and exits with status 1;
// output written before it is flushed, and finally blocks on the way out run.
public class ExitUncaught {
    static void fail(int depth) {
        if (depth == 0) throw new IllegalStateException("boom");
        try {
            fail(depth - 1);
        } finally {
            System.out.println("unwinding " + depth);
        }
    }

    public static void main(String[] args) {
        System.out.println("before");
        System.out.print("no newline yet ");
        fail(3);
        System.out.println("not reached");
    }
}
