package java.lang;

/**
 * A static initialiser ended with an exception; the VM constructs it with
 * that exception, which becomes the cause.
 */
public class ExceptionInInitializerError extends LinkageError {
    public ExceptionInInitializerError() {
        super();
    }

    public ExceptionInInitializerError(String message) {
        super(message);
    }

    public ExceptionInInitializerError(Throwable thrown) {
        super(null, thrown);
    }

    public Throwable getException() {
        return getCause();
    }
}
