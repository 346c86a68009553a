// Exceptions raised by compiled code (the software raiser of fj_athrow)
// crossing interpreter activations: caught by the calling frame with its
// operand stack emptied, not caught by an activation entered through
// vm_call_java (frames popped, monitors released, the call-in landing returns
// the exception pending), and two nested activations.
public class FjExc {
    static final Object lock = new Object();

    static int fj_athrow(Throwable t) throws Throwable { throw t; }
    static int fj_call_nest(int depth) { return t_nest(depth); }

    static int t_nest(int depth) {
        if (depth == 0) {
            try {
                return fj_athrow(new IllegalStateException("inner"));
            } catch (IllegalStateException e) {
                return 10;                      // caught in the inner activation
            } catch (Throwable t) {
                return -1;
            }
        }
        try {
            return fj_athrow(new UnsupportedOperationException("to main"));
        } catch (IllegalStateException e) {
            return -2;                          // does not match: not caught here
        } catch (Throwable t) {
            if (t instanceof UnsupportedOperationException)
                throw (UnsupportedOperationException) t;
            return -3;
        }
    }

    // No handler in this activation: the raise passes it (the monitor of the
    // synchronized method is released) and lands at vm_call_java.
    static synchronized int syncThrow(Throwable t) throws Throwable {
        return fj_athrow(t);
    }

    // The block's catch-any handler catches the raise and releases the lock.
    static int blockThrow(Throwable t) throws Throwable {
        synchronized (lock) {
            return fj_athrow(t);
        }
    }

    public static class Thrower {
        public Thrower() throws Throwable {
            syncThrow(new ArithmeticException("from a constructor"));
        }
    }

    public static void main(String[] args) throws Throwable {
        for (int round = 0; round < 2; round++) {
            int acc = 7;
            try {
                acc = acc * 3 + fj_athrow(new IllegalStateException("direct " + round));
                System.out.println("not thrown");
            } catch (IllegalStateException e) {
                System.out.println("caught " + e.getMessage() + " acc " + acc);
            }
            try {
                fj_athrow(null);
            } catch (NullPointerException e) {
                System.out.println("null throw gives NullPointerException");
            }
            try {
                Thrower.class.newInstance();
                System.out.println("not thrown");
            } catch (ArithmeticException e) {
                System.out.println("caught " + e.getMessage());
            }
            System.out.println("holds lock " + Thread.holdsLock(FjExc.class));
            try {
                blockThrow(new IllegalArgumentException("through a block"));
            } catch (IllegalArgumentException e) {
                System.out.println("caught " + e.getMessage() + ", holds lock " + Thread.holdsLock(lock));
            }
            System.out.println("nest " + fj_call_nest(0));
            try {
                fj_call_nest(1);
                System.out.println("not thrown");
            } catch (UnsupportedOperationException e) {
                System.out.println("caught " + e.getMessage());
            }
        }
    }
}
