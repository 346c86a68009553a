package java.lang;

public class IllegalAccessException extends ReflectiveOperationException {
    public IllegalAccessException() {
        super();
    }

    public IllegalAccessException(String message) {
        super(message);
    }
}
