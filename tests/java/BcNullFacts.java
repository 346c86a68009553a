// Null checks that the bytecode-level analysis must keep: a loop whose first
// block is its header (the back edge must not prove the entry's argument
// non-null), a store into a local while the stack still holds its old value,
// casts of null, and exception handlers that loop.  Each method is warmed up
// with non-null arguments until it is compiled, then called with null.
public class BcNullFacts {
    static class Node {
        int v;
        Node next;
        Node(int v) { this.v = v; }
    }

    static int calls;
    static boolean again() { return (++calls & 3) != 0; }

    // The first block heads the loop: p's dereference at the top proves p
    // only for the later rounds.
    static void bump(Node p) {
        do {
            p.v++;
        } while (again());
    }

    // The first block heads the loop and tests p before the dereference that
    // a later round would rely on.
    static int walk(Node p, int n) {
        do {
            if (p == null)
                return -1;
            n -= p.v;
        } while (n > 0);
        return n;
    }

    static int id(Node n) { return n == null ? -1 : n.v; }

    // x's old value is dereferenced after x has been overwritten with q:
    // that proves nothing about q.
    static int stale(Node x, Node q) {
        x.v = id(x = q);
        if (x == null)
            return -7;
        return x.v;
    }

    // The same through a field store of the old value.
    static int stale2(Node x, Node q) {
        x.next = (x = q);
        if (x != null)
            return x.v;
        return -8;
    }

    // A cast of null succeeds; the value stays null.
    static int cast(Object o) {
        Node n = (Node) o;
        return n.v;
    }

    static boolean castIsNull(Object o) {
        Node n = (Node) o;
        return n == null;
    }

    // A compare with null after a dereference in the same block, and in a
    // later block.
    static int known(Node p) {
        int a = p.v;
        if (p != null)
            a += 10;
        return a;
    }

    static int knownLater(Node p, int k) {
        int a = p.v;
        if (k > 3)
            a++;
        if (p == null)
            return -5;
        return a;
    }

    // A handler that loops: what the handler's loop proves on a later round
    // is not known when the handler is entered.
    static int handler(Node p, Node q) {
        int s = 0;
        try {
            s = p.v;
        } catch (NullPointerException e) {
            int k = 0;
            do {
                s += q.v;
                q = q.next;
                k++;
            } while (k < 2 && q != null);
        }
        return s;
    }

    // Runs case k with a null argument; "NPE" when it threw.
    static String npe(int k) {
        try {
            switch (k) {
            case 0: bump(null); break;
            case 4: cast(null); break;
            case 5: known(null); break;
            case 6: knownLater(null, 5); break;
            default: handler(null, null); break;
            }
            return "ok";
        } catch (NullPointerException e) {
            return "NPE";
        }
    }

    public static void main(String[] args) {
        Node a = new Node(1);
        Node b = new Node(2);
        a.next = b;
        b.next = a;
        long sum = 0;
        for (int i = 0; i < 6000; i++) {
            bump(a);
            sum += walk(a, 2) + stale(a, b) + stale2(new Node(i), b) + cast(b) + known(a) + knownLater(b, i & 7)
                   + handler(a, b) + handler(null, a) + (castIsNull(b) ? 1 : 0);
        }
        System.out.println("warm " + sum + " " + a.v + " " + b.v);
        System.out.println("bump " + npe(0));
        System.out.println("walk " + walk(null, 3));
        System.out.println("stale " + stale(new Node(5), null));
        System.out.println("stale2 " + stale2(new Node(5), null));
        System.out.println("cast " + npe(4));
        System.out.println("castIsNull " + castIsNull(null));
        System.out.println("known " + npe(5));
        System.out.println("knownLater " + npe(6));
        Node lone = new Node(7);
        System.out.println("handler " + handler(null, lone));
        System.out.println("handler " + npe(7));
    }
}
