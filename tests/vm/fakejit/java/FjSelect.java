// Selectors and compile requests: with threshold T each method is requested
// exactly once, after T interpreted calls; a refused request (skip filter)
// and a failed compile (fr_) are never made again; a method compiled at the
// request runs compiled from then on (counted by the ABI checks).  No request
// is made while a compile is active (sel_nested runs inside the compile
// request of fj_abi_I_incompile) or with less than 64 KB of stack (sel_low called
// under fj_low_lowstack); those calls are interpreted and the method is
// requested at its next call.
public class FjSelect {
    static int sel_a_n, fr_c_n, fj_abi_I_n, sel_nested_n, sel_low_n;

    static int sel_a(int x) { sel_a_n++; return x + 1; }
    static int fr_c(int x) { fr_c_n++; return x + 2; }
    static int fj_abi_I(int a) { fj_abi_I_n++; return a * 3 + 1; }
    static int sel_nested(int x) { sel_nested_n++; return x * 2; }
    static int fj_abi_I_incompile(int a) { return a * 3 + 1; }
    static int sel_low(int x) { sel_low_n++; return x - 1; }
    static int t_lowstack(int x) { return sel_low(x) + 1; }
    static int fj_low_lowstack(int x) { return t_lowstack(x); }

    public static void main(String[] args) {
        long sum = 0;
        for (int i = 0; i < 2100; i++)
            sum += sel_a(i) + fr_c(i) + fj_abi_I(i);
        System.out.println("sum " + sum);
        System.out.println("interpreted " + sel_a_n + " " + fr_c_n + " " + fj_abi_I_n);
        System.out.println("nest " + fj_abi_I_incompile(4) + " " + sel_nested(1));
        System.out.println("low " + fj_low_lowstack(10) + " " + sel_low(10));
        System.out.println("interpreted " + sel_nested_n + " " + sel_low_n);
    }
}
