// Stack walks through the test double's frame iterator: interpreted main ->
// compiled fj_call_walk -> gate -> interpreted t_walk -> native
// Class.newInstance0 -> vm_call_java -> interpreted constructor, which prints
// its stack trace.  Every Java frame appears once, in order.
public class FjWalk {
    public static class Probe {
        public Probe() {
            java.io.StringWriter text = new java.io.StringWriter();
            new Throwable("walk").printStackTrace(new java.io.PrintWriter(text, true));
            // Line numbers of class-library frames are not this test's business.
            String[] lines = text.toString().split("\n");
            for (String line : lines) {
                int colon = line.indexOf(".java:");
                if (line.startsWith("\tat java.") && colon >= 0)
                    line = line.substring(0, colon + 5) + ")";
                System.out.println(line);
            }
        }
    }

    static int t_walk(int x) throws Exception {
        Probe.class.newInstance();
        return x + 1;
    }

    static int fj_call_walk(int x) throws Exception { return t_walk(x); }

    public static void main(String[] args) throws Exception {
        System.out.println("result " + fj_call_walk(41));
    }
}
