// Long arguments in every argument-word position of static, virtual,
// interface and constructor calls: the high word of a long is the earlier
// argument word, so a long in the register words, across the register/stack
// boundary and after it must arrive whole; long results come back in pairs.
public class CallLongWords {
    interface Scale { long scale(long v, int by); }
    static class Times implements Scale {
        final long base;
        Times(long base, int extra) { this.base = base + extra; }
        public long scale(long v, int by) { return v * by + base; }
    }
    static long hi(long c) { return c >>> 32; }
    static long intLong(int a, long c) { return c * 10 + a; }
    static long longInt(long c, int a) { return c * 10 + a; }
    static long intIntLong(int a, int b, long c) { return c * 100 + a * 10 + b; }
    static long pair(long a, long b) { return a * 1000 + b; }
    static long mix(int a, long b, int c, long d) { return ((a * 1000 + b) * 1000 + c) * 1000 + d; }
    long field = 7;
    long virt(long c, int a) { return c * 10 + a + field; }

    public static void main(String[] args) {
        long big = 0x500000003L;
        System.out.println("hi " + hi(big));
        System.out.println("int,long " + intLong(1, big));
        System.out.println("long,int " + longInt(big, 2));
        System.out.println("int,int,long " + intIntLong(1, 2, big));
        System.out.println("long,long " + pair(-3L, 0x100000002L));
        System.out.println("mix " + mix(1, 2L, 3, -4L));
        System.out.println("virtual " + new CallLongWords().virt(0x700000001L, 5));
        Scale s = new Times(0x100000000L, 1);
        System.out.println("interface " + s.scale(-0x200000001L, 3));
        long acc = 0;
        for (int i = 0; i < 3; i++)
            acc = pair(acc, longInt(big + i, i));
        System.out.println("loop " + acc);
    }
}
