// Start-up of the test-double compiler: with it bound, and refused in the
// three ways the compiler refuses a VM; the program's output is the same.
public class FjStart {
    public static void main(String[] args) {
        int sum = 0;
        for (int i = 0; i < 10; i++)
            sum += i;
        System.out.println("sum " + sum);
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 5; i++)
            sb.append(i).append(',');
        System.out.println(sb.toString());
    }
}
