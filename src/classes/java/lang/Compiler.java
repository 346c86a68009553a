package java.lang;

/**
 * Control of the just-in-time compiler.  Each native calls the hook the
 * loaded compiler registered (nothing happens, and the boolean forms
 * answer false, when no compiler is loaded or it registered no hook).
 */
public final class Compiler {
    private Compiler() {}

    /** Compiles the methods of clazz; true on success. */
    public static native boolean compileClass(Class<?> clazz);

    /** Compiles the classes named by string; true on success. */
    public static native boolean compileClasses(String string);

    /** A compiler-specific command; answers null here. */
    public static native Object command(Object any);

    /** Lets the compiler compile again. */
    public static native void enable();

    /** Stops further compiles (compiled code keeps running). */
    public static native void disable();
}
