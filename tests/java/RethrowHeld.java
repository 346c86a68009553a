// A handler that keeps its exception in a local, does other work that needs
// registers, then rethrows it: the rethrown object must be the one caught.
public class RethrowHeld {
    static class Frozen extends Exception {
        final int id;
        Frozen(int id) { this.id = id; }
    }

    static class Acc {
        long balance;
        boolean frozen;
        int refusals;
        void withdraw(long a) { balance -= a + 1; }
        void deposit(long a) throws Frozen {
            if (frozen)
                throw new Frozen(++refusals);
            balance += a;
        }
    }

    long fees;

    void transfer(Acc from, Acc to, long amount) throws Frozen {
        long before = from.balance;
        from.withdraw(amount);
        fees += before - from.balance - amount;
        try {
            to.deposit(amount);
        } catch (Frozen e) {
            from.balance += amount;
            throw e;
        }
    }

    // The same with an int local and a second value kept across the handler.
    static int moved(int[] a, int i, Acc to) throws Frozen {
        int x = a[i];
        try {
            to.deposit(x);
        } catch (Frozen e) {
            a[i] = x * 3 + i;
            throw e;
        }
        return x;
    }

    public static void main(String[] args) {
        RethrowHeld b = new RethrowHeld();
        Acc x = new Acc(), y = new Acc();
        x.balance = 100000;
        int[] a = {5, 6, 7};
        int caught = 0;
        long ids = 0;
        for (int i = 0; i < 3000; i++) {
            y.frozen = i % 500 == 499;
            try {
                b.transfer(x, y, 10);
                moved(a, i % 3, y);
            } catch (Frozen e) {
                caught++;
                ids += e.id;
            }
        }
        y.frozen = true;
        try {
            moved(a, 1, y);
        } catch (Frozen e) {
            System.out.println("frozen " + e.id + " " + a[1]);
        }
        System.out.println(caught + " " + ids);
        System.out.println(x.balance + " " + y.balance + " " + b.fees);
    }
}
