// Linkage errors at run time: the classes this program was compiled
// against were changed incompatibly afterwards (tests/jasm/linkage/new
// replaces some of them), so each call, field access or allocation below
// must raise the LinkageError that the JVM specification names, every time
// it is reached, and leave the rest of the program working.
public class Linkage {
    static native int missingNative();

    static String attempt(int which) {
        try {
            switch (which) {
                case 0: { ApiA a = new ImplA(); return "" + a.g(); }
                case 1: { BaseB b = new ImplB(); return "" + b.g(); }
                case 2: { ApiC c = new ImplC(); return "" + c.f(); }
                case 3: return "" + LibD.f();
                case 4: return "" + new LibD().g();
                case 5: return "" + LibD.x;
                case 6: return "" + new LibD().y;
                case 7: { LibE.x = 1; return "stored"; }
                case 8: { new LibE().y = 1; return "stored"; }
                case 9: return "" + new LibF().f();
                case 10: return "" + LibG.h();
                case 11: return "" + new LibG().k();
                case 12: return "" + LibG.gone;
                case 13: return "" + new LibG().goneToo;
                case 14: return "" + LibH.m();
                case 15: return "" + LibH.v;
                case 16: return "" + LibI.f();
                case 17: return "" + missingNative();
                default: return "no case";
            }
        } catch (LinkageError e) {
            return e.getClass().getName();
        } catch (RuntimeException e) {
            return "unexpected " + e.getClass().getName();
        }
    }

    static final String[] WHAT = {
        "interface method missing in the class", "abstract method missing in the class",
        "class no longer implements the interface", "invokestatic of an instance method",
        "invokevirtual of a static method", "getstatic of an instance field", "getfield of a static field",
        "putstatic of a final field", "putfield of a final field", "new of an abstract class",
        "static method removed", "instance method removed", "static field removed", "instance field removed",
        "private method called from outside", "private field read from outside", "class removed",
        "native method without an implementation",
    };

    public static void main(String[] args) {
        for (int round = 1; round <= 2; round++) {
            for (int i = 0; i < WHAT.length; i++) {
                System.out.println(round + " " + WHAT[i] + ": " + attempt(i));
            }
        }
        ApiA a = new ImplA();
        BaseB b = new ImplB();
        System.out.println("still working: " + a.f() + " " + b.f() + " " + new ImplC().f());
    }
}
