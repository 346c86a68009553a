import java.util.Hashtable;
import java.util.Random;
import java.util.Vector;

// A bank simulation with an account hierarchy: an abstract base class,
// three kinds of accounts overriding fees and interest, an interface for
// interest-bearing accounts, checked exceptions for refused operations,
// and a deterministic stream of transactions.  Money is in long cents.
public class Bank {
    static class InsufficientFunds extends Exception {
        final long shortBy;
        InsufficientFunds(String who, long shortBy) {
            super(who + " short by " + cents(shortBy));
            this.shortBy = shortBy;
        }
    }

    static class AccountFrozen extends Exception {
        AccountFrozen(String who) { super(who + " is frozen"); }
    }

    interface InterestBearing {
        long interestFor(long balance);
    }

    static abstract class Account {
        private static int nextId = 1000;
        final int id;
        final String owner;
        protected long balance;
        boolean frozen;
        int operations;

        Account(String owner, long opening) {
            this.id = nextId++;
            this.owner = owner;
            this.balance = opening;
        }

        abstract String kind();
        long fee(long amount) { return 0; }
        long limit() { return 0; }

        void deposit(long amount) throws AccountFrozen {
            if (frozen) throw new AccountFrozen(owner);
            if (amount <= 0) throw new IllegalArgumentException("deposit must be positive: " + amount);
            balance += amount;
            operations++;
        }

        void withdraw(long amount) throws InsufficientFunds, AccountFrozen {
            if (frozen) throw new AccountFrozen(owner);
            long total = amount + fee(amount);
            if (balance - total < -limit()) throw new InsufficientFunds(owner, total - balance - limit());
            balance -= total;
            operations++;
        }

        void monthEnd() {
            if (this instanceof InterestBearing) balance += ((InterestBearing) this).interestFor(balance);
        }

        public String toString() {
            return kind() + "#" + id + "(" + owner + ", " + cents(balance) + (frozen ? ", frozen" : "") + ")";
        }
    }

    static class Checking extends Account {
        Checking(String owner, long opening) { super(owner, opening); }
        String kind() { return "Checking"; }
        long fee(long amount) { return amount > 50000 ? 150 : 25; }
        long limit() { return 20000; }
    }

    static class Savings extends Account implements InterestBearing {
        final int basisPoints;
        int withdrawals;
        Savings(String owner, long opening, int basisPoints) {
            super(owner, opening);
            this.basisPoints = basisPoints;
        }
        String kind() { return "Savings"; }
        void withdraw(long amount) throws InsufficientFunds, AccountFrozen {
            super.withdraw(amount);
            withdrawals++;
        }
        long fee(long amount) { return withdrawals >= 3 ? 200 : 0; }
        public long interestFor(long bal) { return bal > 0 ? bal * basisPoints / 120000 : 0; }
    }

    static class Premium extends Savings {
        Premium(String owner, long opening) { super(owner, opening, 450); }
        String kind() { return "Premium"; }
        long fee(long amount) { return 0; }
        long limit() { return 100000; }
        public long interestFor(long bal) { return super.interestFor(bal) + (bal > 1000000 ? 500 : 0); }
    }

    static String cents(long c) {
        long abs = c < 0 ? -c : c;
        String frac = String.valueOf(abs % 100);
        if (frac.length() < 2) frac = "0" + frac;
        return (c < 0 ? "-" : "") + (abs / 100) + "." + frac;
    }

    final Vector<Account> accounts = new Vector<Account>();
    final Hashtable<Integer, Account> byId = new Hashtable<Integer, Account>();
    int refused, frozenHits, invalid;
    long feesCollected;

    Account open(Account a) {
        accounts.addElement(a);
        byId.put(a.id, a);
        return a;
    }

    void transfer(Account from, Account to, long amount) throws InsufficientFunds, AccountFrozen {
        long before = from.balance;
        from.withdraw(amount);
        feesCollected += before - from.balance - amount;
        try {
            to.deposit(amount);
        } catch (AccountFrozen e) {
            from.balance += amount;   // refund the amount, keep the fee
            throw e;
        }
    }

    long total() {
        long t = 0;
        for (int i = 0; i < accounts.size(); i++) t += accounts.elementAt(i).balance;
        return t;
    }

    public static void main(String[] args) {
        Bank bank = new Bank();
        String[] owners = {"ada", "bob", "cy", "dee", "eve", "fay"};
        for (int i = 0; i < owners.length; i++) {
            long opening = 10000L * (i + 1) * (i + 3);
            switch (i % 3) {
                case 0: bank.open(new Checking(owners[i], opening)); break;
                case 1: bank.open(new Savings(owners[i], opening, 300)); break;
                default: bank.open(new Premium(owners[i], opening)); break;
            }
        }
        for (int i = 0; i < bank.accounts.size(); i++) System.out.println("open " + bank.accounts.elementAt(i));
        long start = bank.total();
        Random rnd = new Random(7);
        for (int month = 1; month <= 6; month++) {
            for (int t = 0; t < 60; t++) {
                Account a = bank.accounts.elementAt(rnd.nextInt(bank.accounts.size()));
                Account b = bank.byId.get(1000 + rnd.nextInt(bank.accounts.size()));
                long amount = (rnd.nextInt(2000) - 50) * 25L;
                try {
                    switch (rnd.nextInt(3)) {
                        case 0: a.deposit(amount); break;
                        case 1: {
                            long before = a.balance;
                            a.withdraw(amount);
                            bank.feesCollected += before - a.balance - amount;
                            break;
                        }
                        default: if (a != b) bank.transfer(a, b, amount); break;
                    }
                } catch (InsufficientFunds e) {
                    bank.refused++;
                    if (bank.refused <= 3) System.out.println("refused: " + e.getMessage());
                } catch (AccountFrozen e) {
                    bank.frozenHits++;
                } catch (IllegalArgumentException e) {
                    bank.invalid++;
                }
            }
            if (month == 3) bank.accounts.elementAt(4).frozen = true;
            for (int i = 0; i < bank.accounts.size(); i++) bank.accounts.elementAt(i).monthEnd();
            System.out.println("month " + month + " total " + cents(bank.total()));
        }
        for (int i = 0; i < bank.accounts.size(); i++) {
            Account a = bank.accounts.elementAt(i);
            System.out.println(a + " ops " + a.operations + (a instanceof Savings ? " withdrawals " + ((Savings) a).withdrawals : ""));
        }
        System.out.println("start " + cents(start) + " end " + cents(bank.total()) + " fees " + cents(bank.feesCollected)
                           + " refused " + bank.refused + " frozen " + bank.frozenHits + " invalid " + bank.invalid);
    }
}
