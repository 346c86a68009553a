package java.lang;

public class NoSuchMethodException extends ReflectiveOperationException {
    public NoSuchMethodException() {
        super();
    }

    public NoSuchMethodException(String message) {
        super(message);
    }
}
