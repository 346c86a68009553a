// Loads each class named on the command line with Class.forName (which
// links and initialises it) and prints what happened: "ok" when it loaded,
// else the kind of LinkageError.  The table in gen_bad_classes.py says what
// each malformed class must give.
public class LoadBad {
    static String verdict(String name) {
        try {
            Class<?> c = Class.forName(name);
            return c.getName().equals(name) ? "ok" : "loaded as " + c.getName();
        } catch (VerifyError e) {
            return "VerifyError";
        } catch (ClassCircularityError e) {
            return "ClassCircularityError";
        } catch (ClassFormatError e) {
            // Also UnsupportedClassVersionError, a subclass.
            return "ClassFormatError";
        } catch (LinkageError e) {
            return "LinkageError " + e.getClass().getName();
        } catch (Throwable t) {
            return "unexpected " + t.getClass().getName();
        }
    }

    public static void main(String[] args) {
        for (int i = 0; i < args.length; i++) {
            System.out.println(args[i] + ": " + verdict(args[i]));
        }
    }
}
