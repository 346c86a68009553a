// Kernel: string building: StringBuilder appends of strings, ints and
// chars, toString, and String methods over the result (indexOf, charAt,
// substring, equals, hashCode).
public class StringBuild {
    static long run(int n) {
        long acc = 0;
        String[] words = {"alpha", "beta", "gamma", "delta", "epsilon"};
        for (int round = 0; round < n; round++) {
            StringBuilder sb = new StringBuilder();
            for (int i = 0; i < 20; i++) {
                sb.append(words[(i + round) % words.length]).append(i).append(',');
            }
            String s = sb.toString();
            acc += s.length() + s.indexOf("delta") + s.charAt(round % s.length());
            String sub = s.substring(10, 30);
            acc += sub.hashCode() & 0xFFFF;
            if (sub.equals(words[round % 5])) acc++;
        }
        return acc;
    }

    public static void main(String[] args) {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 3000;
        long t0 = System.nanoTime();
        long r = run(n);
        long t1 = System.nanoTime();
        System.out.println("checksum " + r);
        System.out.println("time_ms " + (t1 - t0) / 1000000);
    }
}
