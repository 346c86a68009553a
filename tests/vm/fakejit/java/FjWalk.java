// Stack walks through the test double's frame iterator: interpreted main ->
// compiled fj_call_walk -> gate -> interpreted t_walk -> native
// Class.newInstance0 -> vm_call_java -> interpreted constructor, which prints
// its stack trace.  Every Java frame appears once, in order.
public class FjWalk {
    public static class Probe {
        public Probe() {
            new Throwable("walk").printStackTrace(System.out);
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
