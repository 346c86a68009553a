// Hardware faults taken by compiled code (a null dereference, an integer
// division by zero) after other threads have started and ended, and while
// other threads fault at the same time: the faulting thread must go on as
// itself (its name, its locks, starting and joining more threads, which
// frees the memory of the threads that ended) after each fault.
public class FaultAfterThreads {
    static final Object LOCK = new Object();
    static int counter;
    int field;

    static int load(FaultAfterThreads o) { return o.field; }
    static int div(int a, int b) { return a / b; }

    static int faults(int n) {
        int caught = 0;
        for (int i = 0; i < n; i++) {
            try { load(null); } catch (NullPointerException e) { caught++; }
            try { div(i, 0); } catch (ArithmeticException e) { caught++; }
        }
        return caught;
    }

    static void runAndJoin(String name) throws InterruptedException {
        Thread t = new Thread(name) {
            public void run() {
                synchronized (LOCK) { counter++; }
            }
        };
        t.start();
        t.join();
    }

    public static void main(String[] args) throws Exception {
        for (int round = 0; round < 4; round++) {
            runAndJoin("short" + round);
            int caught = faults(2);
            System.out.println("round " + round + " caught " + caught + " in " + Thread.currentThread().getName());
        }

        // Three threads fault while this one starts and joins others.
        final int[] caught = new int[3];
        Thread[] faulting = new Thread[3];
        for (int k = 0; k < faulting.length; k++) {
            final int slot = k;
            faulting[k] = new Thread("faulting" + k) {
                public void run() {
                    int n = faults(50);
                    if (getName().equals(Thread.currentThread().getName()))
                        caught[slot] = n;
                }
            };
            faulting[k].start();
        }
        for (int i = 0; i < 20; i++)
            runAndJoin("joined" + i);
        for (Thread t : faulting) t.join();
        System.out.println("concurrent caught " + caught[0] + " " + caught[1] + " " + caught[2]);
        System.out.println("counter " + counter + " in " + Thread.currentThread().getName() + " caught " + faults(1));
    }
}
