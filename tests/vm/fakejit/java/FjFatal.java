// Fatal faults: compiled code touching the red zone of its stack area.  The
// VM prints an internal error report and aborts (status 134).
public class FjFatal {
    static int fj_red() { return 0; }

    public static void main(String[] args) {
        System.out.println("before");
        System.out.println(fj_red());
        System.out.println("after");
    }
}
