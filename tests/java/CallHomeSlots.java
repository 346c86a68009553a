// Calls whose arguments all travel in registers, from callers that keep
// values in their frame across the call, into callees that keep their
// parameters live across calls of their own (so the parameters go to their
// home slots in the caller's argument area).  The caller's frame must not be
// those home slots.
public class CallHomeSlots {
    static int inner(int a, int b, int c) { return a - b * c; }
    static int keep(int a, int b, int c) {
        int r = inner(c, b, a);
        r += inner(a, c, b);
        return r + a * 100 + b * 10 + c;
    }
    static Object pick(Object a, Object b) { return a.hashCode() > b.hashCode() ? a : b; }
    String name;
    CallHomeSlots(String name) { this.name = name; }
    String join(CallHomeSlots other, int times) {
        String s = "";
        for (int i = 0; i < times; i++)
            s = s + name + other.name + inner(i, times, 2);
        return s;
    }

    public static void main(String[] args) {
        int x = 3, y = 4, z = 5;
        int total = 0;
        for (int i = 0; i < 4; i++) {
            total += keep(x + i, y, z);
            total += keep(z, x, y + i);
        }
        System.out.println("total " + total + " " + x + " " + y + " " + z);
        Integer p = Integer.valueOf(7), q = Integer.valueOf(9);
        System.out.println("pick " + pick(p, q) + " " + pick(q, p) + " " + p + " " + q);
        CallHomeSlots a = new CallHomeSlots("a"), b = new CallHomeSlots("b");
        System.out.println("join " + a.join(b, 3) + " " + b.join(a, 2) + " " + a.name + b.name);
    }
}
