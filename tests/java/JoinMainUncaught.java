// As JoinMain, with main ending by an exception nobody catches: the joiner
// is released all the same, and the exit status is 1.
public class JoinMainUncaught {
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
        System.out.println("main throws");
        throw new IllegalStateException("main ends");
    }
}
