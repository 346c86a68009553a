// Values a compiled method keeps from one read of a field, static or array
// element to the next must be read again wherever something else may have
// written them in between: another thread across a monitor, a called method,
// a store through another reference; and a volatile field is read afresh
// every time.  Each case reads the same place twice with the writer between.
public class KeptValues {
    int x;
    static int s;
    static volatile int flag;
    static final Object lock = new Object();
    static final int[] signal = new int[1];
    static volatile boolean holding;

    static void setX(KeptValues o, int v) { o.x = v; }
    static void bumpS() { s++; }

    interface Writer { void write(KeptValues o); }
    static class Seven implements Writer { public void write(KeptValues o) { o.x = 7; } }

    // The other thread holds the lock and writes o.x once this method has read
    // it (signalled through an array element, which is no field store); the
    // read inside the synchronized block must see that write.
    static int aroundMonitor(KeptValues o) {
        int a = o.x;
        signal[0] = 1;
        int b;
        synchronized (lock) {
            b = o.x;
        }
        return a * 100 + b;
    }

    static int aroundStaticCall(KeptValues o) {
        int a = o.x;
        setX(o, a + 5);
        int b = o.x;
        return a * 100 + b;
    }

    static int aroundInterfaceCall(KeptValues o, Writer w) {
        int a = o.x;
        w.write(o);
        int b = o.x;
        return a * 100 + b;
    }

    static int aroundStaticOfStatic() {
        int a = s;
        bumpS();
        int b = s;
        return a * 100 + b;
    }

    static int throughOtherReference(KeptValues o, KeptValues alias) {
        int a = o.x;
        alias.x = a + 3;
        int b = o.x;
        return a * 100 + b;
    }

    static int throughOtherArray(int[] p, int[] q) {
        int a = p[0];
        q[0] = a + 4;
        int b = p[0];
        return a * 100 + b;
    }

    // Spins until the other thread changes the volatile field.
    static int spinOnVolatile() {
        int first = flag;
        int spins = 0;
        while (flag == first)
            spins++;
        return flag - first;
    }

    public static void main(String[] args) throws Exception {
        final KeptValues o = new KeptValues();
        o.x = 1;
        Thread writer = new Thread() {
            public void run() {
                synchronized (lock) {
                    holding = true;
                    while (signal[0] == 0)
                        Thread.yield();
                    o.x = 2;
                }
            }
        };
        writer.start();
        while (!holding)
            Thread.yield();
        System.out.println("monitor " + aroundMonitor(o));
        writer.join();

        System.out.println("static call " + aroundStaticCall(o));
        System.out.println("interface call " + aroundInterfaceCall(o, new Seven()));
        s = 4;
        System.out.println("static of static " + aroundStaticOfStatic());
        System.out.println("other reference " + throughOtherReference(o, o));
        int[] arr = {5};
        System.out.println("other array " + throughOtherArray(arr, arr));

        Thread setter = new Thread() {
            public void run() {
                try { Thread.sleep(50); } catch (InterruptedException e) { }
                flag = 3;
            }
        };
        setter.start();
        System.out.println("volatile " + spinOnVolatile());
        setter.join();
    }
}
