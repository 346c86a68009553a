// Selectors and compile requests: with threshold T each method is requested
// exactly once, after T interpreted calls; a refused request (skip filter)
// and a failed compile (fr_) are never made again; a method compiled at the
// request runs compiled from then on (counted by the ABI checks).
public class FjSelect {
    static int sel_a_n, fr_c_n, fj_abi_I_n;

    static int sel_a(int x) { sel_a_n++; return x + 1; }
    static int fr_c(int x) { fr_c_n++; return x + 2; }
    static int fj_abi_I(int a) { fj_abi_I_n++; return a * 3 + 1; }

    public static void main(String[] args) {
        long sum = 0;
        for (int i = 0; i < 2100; i++)
            sum += sel_a(i) + fr_c(i) + fj_abi_I(i);
        System.out.println("sum " + sum);
        System.out.println("interpreted " + sel_a_n + " " + fr_c_n + " " + fj_abi_I_n);
    }
}
