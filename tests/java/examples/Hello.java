// The program `make run` starts: a greeting, a little arithmetic and a
// string built in a loop, so a first run shows the VM doing real work.
public class Hello {
    static long factorial(int n) {
        return n <= 1 ? 1 : n * factorial(n - 1);
    }

    public static void main(String[] args) {
        System.out.println("Hello from Orva!");
        System.out.println("java.version = " + System.getProperty("java.version")
                           + ", os.arch = " + System.getProperty("os.arch"));
        StringBuilder sb = new StringBuilder();
        for (int i = 1; i <= 10; i++) {
            sb.append(i).append("! = ").append(factorial(i));
            if (i < 10) sb.append(", ");
        }
        System.out.println(sb);
        if (args.length > 0) {
            System.out.println("You said: " + args[0]);
        }
    }
}
