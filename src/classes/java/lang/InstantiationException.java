package java.lang;

public class InstantiationException extends ReflectiveOperationException {
    public InstantiationException() {
        super();
    }

    public InstantiationException(String message) {
        super(message);
    }
}
