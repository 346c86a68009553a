package java.lang;

/**
 * Class loaders.  The VM has one loader, the bootstrap loader; every class
 * answers null for its loader.  getSystemClassLoader() returns a singleton
 * whose loadClass asks the bootstrap loader.  User subclasses may exist, but
 * defineClass is not provided.
 */
public abstract class ClassLoader {
    private final ClassLoader parent;

    private static ClassLoader systemLoader;

    protected ClassLoader() {
        this(null);
    }

    protected ClassLoader(ClassLoader parent) {
        this.parent = parent;
    }

    /**
     * The loader of the class that called the method that calls this one
     * (null under the single bootstrap loader).  Compiled code replaces the
     * call by the calling method's loader constant.
     */
    static native ClassLoader getCallerClassLoader();

    public final ClassLoader getParent() {
        return parent;
    }

    public static ClassLoader getSystemClassLoader() {
        synchronized (ClassLoader.class) {
            if (systemLoader == null) {
                systemLoader = new SystemLoader();
            }
            return systemLoader;
        }
    }

    public Class<?> loadClass(String name) throws ClassNotFoundException {
        return loadClass(name, false);
    }

    protected Class<?> loadClass(String name, boolean resolve) throws ClassNotFoundException {
        try {
            return Class.forName0(name, false, this);
        } catch (ClassNotFoundException e) {
            return findClass(name);
        }
    }

    protected Class<?> findClass(String name) throws ClassNotFoundException {
        throw new ClassNotFoundException(name);
    }

    /** The system loader: everything comes from the bootstrap path. */
    private static final class SystemLoader extends ClassLoader {
        SystemLoader() {
            super(null);
        }
    }
}
