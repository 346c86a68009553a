package java.lang;

public class IllegalAccessError extends IncompatibleClassChangeError {
    public IllegalAccessError() {
        super();
    }

    public IllegalAccessError(String message) {
        super(message);
    }
}
