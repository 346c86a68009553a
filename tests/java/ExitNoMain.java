// A main class without `public static void main(String[])`: the launcher
// reports NoSuchMethodError on stderr and exits with status 1.  (HotSpot's
// launcher words this differently; the expectation is our launcher's.)
public class ExitNoMain {
    static void main() {
        System.out.println("the wrong main");
    }
}
