package java.lang;

public class ClassCastException extends RuntimeException {
    public ClassCastException() {
        super();
    }

    public ClassCastException(String message) {
        super(message);
    }
}
