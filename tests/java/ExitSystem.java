// System.exit(3): the process status is 3, output buffered without a
// newline is flushed, and neither the rest of main nor a finally block runs.
public class ExitSystem {
    static void leave() {
        try {
            System.out.print("last words without newline");
            System.exit(3);
        } finally {
            System.out.println("finally must not run");
        }
    }

    public static void main(String[] args) {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 5; i++) sb.append(i);
        System.out.println("args " + args.length + " " + sb);
        System.err.println("to stderr before exit");
        leave();
        System.out.println("not reached");
    }
}
