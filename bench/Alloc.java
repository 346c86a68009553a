// Kernel: object allocation: short linked lists of small objects, boxed
// Integers outside the cache, and small arrays.  Total allocation stays
// well below the default heap, since the VM may run without a collector.
public class Alloc {
    static final class Node {
        final int value;
        final Node next;
        Node(int value, Node next) { this.value = value; this.next = next; }
    }

    static long run(int n) {
        long acc = 0;
        for (int round = 0; round < n; round++) {
            Node head = null;
            for (int i = 0; i < 50; i++) head = new Node(i + round, head);
            for (Node p = head; p != null; p = p.next) acc += p.value;
            Integer boxed = Integer.valueOf(1000 + (round & 1023));
            acc += boxed.intValue();
            int[] small = new int[4];
            small[round & 3] = round;
            acc += small[0] + small.length;
        }
        return acc;
    }

    public static void main(String[] args) {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 10000;
        long t0 = System.nanoTime();
        long r = run(n);
        long t1 = System.nanoTime();
        System.out.println("checksum " + r);
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
