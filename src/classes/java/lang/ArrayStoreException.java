package java.lang;

public class ArrayStoreException extends RuntimeException {
    public ArrayStoreException() {
        super();
    }

    public ArrayStoreException(String message) {
        super(message);
    }
}
