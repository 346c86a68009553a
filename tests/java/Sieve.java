// Prime sieves: Eratosthenes over a boolean[] and over a packed int[] bit
// set must agree; then prime counts, twin primes, the largest prime gap
// below the limit, and Goldbach partitions of small even numbers.
public class Sieve {
    static boolean[] sieve(int limit) {
        boolean[] composite = new boolean[limit + 1];
        composite[0] = composite[1] = true;
        for (int i = 2; (long) i * i <= limit; i++) {
            if (!composite[i]) {
                for (int j = i * i; j <= limit; j += i) composite[j] = true;
            }
        }
        return composite;
    }

    static int[] bitSieve(int limit) {
        int[] bits = new int[(limit >> 5) + 1];   // bit set = composite
        bits[0] |= 3;
        for (int i = 2; (long) i * i <= limit; i++) {
            if ((bits[i >> 5] & (1 << (i & 31))) == 0) {
                for (int j = i * i; j <= limit; j += i) bits[j >> 5] |= 1 << (j & 31);
            }
        }
        return bits;
    }

    public static void main(String[] args) {
        int limit = 200000;
        boolean[] comp = sieve(limit);
        int[] bits = bitSieve(limit);
        int count = 0, twins = 0, last = 0, prev = 2, maxGap = 0, gapAt = 0, mismatches = 0;
        long sum = 0;
        for (int i = 2; i <= limit; i++) {
            boolean bitComposite = (bits[i >> 5] & (1 << (i & 31))) != 0;
            if (bitComposite != comp[i]) mismatches++;
            if (!comp[i]) {
                count++;
                sum += i;
                if (i - prev == 2) twins++;
                if (i - prev > maxGap) {
                    maxGap = i - prev;
                    gapAt = prev;
                }
                prev = i;
                last = i;
            }
        }
        System.out.println("primes below " + limit + ": " + count + ", sum " + sum + ", largest " + last);
        System.out.println("twin pairs " + twins + ", largest gap " + maxGap + " after " + gapAt + ", mismatches " + mismatches);
        int[] checkpoints = {10, 100, 1000, 10000, 100000};
        StringBuilder pi = new StringBuilder("pi(x):");
        int c = 0, k = 0;
        for (int i = 2; i <= 100000 && k < checkpoints.length; i++) {
            if (!comp[i]) c++;
            if (i == checkpoints[k]) {
                pi.append(' ').append(c);
                k++;
            }
        }
        System.out.println(pi);
        StringBuilder gb = new StringBuilder("goldbach partitions:");
        for (int even = 4; even <= 40; even += 4) {
            int parts = 0;
            for (int p = 2; p <= even / 2; p++) if (!comp[p] && !comp[even - p]) parts++;
            gb.append(' ').append(even).append('=').append(parts);
        }
        System.out.println(gb);
        int bad = 0;
        for (int even = 4; even <= 20000; even += 2) {
            boolean found = false;
            for (int p = 2; p <= even / 2 && !found; p++) found = !comp[p] && !comp[even - p];
            if (!found) bad++;
        }
        System.out.println("even numbers up to 20000 without a partition: " + bad);
    }
}
