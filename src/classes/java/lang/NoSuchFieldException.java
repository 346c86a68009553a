package java.lang;

public class NoSuchFieldException extends ReflectiveOperationException {
    public NoSuchFieldException() {
        super();
    }

    public NoSuchFieldException(String message) {
        super(message);
    }
}
