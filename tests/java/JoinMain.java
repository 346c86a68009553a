// A thread that joins the main thread goes on once main has returned (the
// main thread ends as a Java thread: not alive, its joiners notified), and
// the VM then waits for that thread before it exits.
public class JoinMain {
    public static void main(String[] args) {
        final Thread main = Thread.currentThread();
        Thread waiter = new Thread() {
            public void run() {
                try {
                    main.join();
                    System.out.println("main has ended: alive=" + main.isAlive());
                } catch (InterruptedException e) {
                    System.out.println("interrupted");
                }
            }
        };
        waiter.start();
        System.out.println("main returns, alive=" + main.isAlive());
    }
}
