package java.lang;

public class NoSuchMethodError extends IncompatibleClassChangeError {
    public NoSuchMethodError() {
        super();
    }

    public NoSuchMethodError(String message) {
        super(message);
    }
}
